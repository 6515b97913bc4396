// Writes a DirectMusic segment (.sgt) from a standard MIDI file:
//
//   make_segment [options] INPUT.mid OUTPUT.sgt
//
//   --header-bytes N       segment header size: 24, 40, 56 or 64 (64)
//   --curve-bytes N        curve record size: 28 or 32 (32)
//   --instrument-bytes N   instrument record size: 40 or 44 (44)
//   --channel-offset N     added to every MIDI channel (0)
//   --curves               controllers as curves instead of sequence items
//   --older-band-header    band times in the older one-time header
//   --bare-time-signature  the time signature without its LIST

#include "segment_maker.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

namespace {

int usage() {
    std::cerr << "usage: make_segment [--header-bytes N] [--curve-bytes N] [--instrument-bytes N]\n"
                 "                    [--channel-offset N] [--curves] [--older-band-header]\n"
                 "                    [--bare-time-signature] INPUT.mid OUTPUT.sgt\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    using namespace tremlo::tools;
    segment::Options options;
    std::string paths[2];
    int pathCount = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&](std::uint32_t& field) {
            if (i + 1 >= argc)
                return false;
            field = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
            return true;
        };
        bool ok = true;
        if (arg == "--header-bytes")
            ok = number(options.headerBytes);
        else if (arg == "--curve-bytes")
            ok = number(options.curveBytes);
        else if (arg == "--instrument-bytes")
            ok = number(options.instrumentBytes);
        else if (arg == "--channel-offset")
            ok = number(options.channelOffset);
        else if (arg == "--curves")
            options.controllersAsCurves = true;
        else if (arg == "--older-band-header")
            options.olderBandHeader = true;
        else if (arg == "--bare-time-signature")
            options.bareTimeSignature = true;
        else if (arg.starts_with("--") || pathCount == 2)
            ok = false;
        else
            paths[pathCount++] = arg;
        if (!ok)
            return usage();
    }
    if (pathCount != 2)
        return usage();

    std::ifstream in(paths[0], std::ios::binary);
    const std::vector<std::uint8_t> midi{std::istreambuf_iterator<char>(in), {}};
    if (!in.eof() && in.fail()) {
        std::cerr << "make_segment: cannot read " << paths[0] << '\n';
        return 1;
    }
    std::string error;
    const auto segment = segment::fromMidi(midi, options, error);
    if (!segment) {
        std::cerr << "make_segment: " << paths[0] << ": " << error << '\n';
        return 1;
    }
    std::ofstream out(paths[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(segment->data()),
              static_cast<std::streamsize>(segment->size()));
    if (!out.flush()) {
        std::cerr << "make_segment: cannot write " << paths[1] << '\n';
        return 1;
    }
    return 0;
}
