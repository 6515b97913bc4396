#pragma once

// A stereo sound file being written through libsndfile: FLAC (24-bit, the
// closest FLAC comes to the output's float samples, at its fastest
// compression) unless the name ends in ".wav", which gives 32-bit float
// WAVE, the output's samples bit for bit.
//
// A WAVE header is brought up to date with every write, and FLAC is written
// in whole blocks, so a file cut off by a crash still plays up to its last
// write. close() finishes the header.
//
// Thread: one thread at a time (the recorder's writer thread, or the render).

#include <cstddef>
#include <memory>
#include <string>
#include <variant>

namespace tremlo::recording {

class SoundFileWriter {
public:
    // The writer, or why the file cannot be made.
    static std::variant<std::unique_ptr<SoundFileWriter>, std::string>
    create(const std::string& path, int rate);
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    // Interleaved stereo frames; false when the disk refused them, with
    // error() saying why. After a failure nothing more is written.
    bool write(const float* stereo, std::size_t frames);
    // Finishes the file; false when its end could not be written.
    bool close();
    const std::string& error() const { return m_error; }
    const std::string& path() const { return m_path; }

    // Whether the name asks for WAVE (".wav" in any letter case).
    static bool isWavePath(const std::string& path);

private:
    SoundFileWriter(void* file, std::string path);
    bool fail();

    void* m_file; // SNDFILE*
    std::string m_path;
    std::string m_error;
};

} // namespace tremlo::recording
