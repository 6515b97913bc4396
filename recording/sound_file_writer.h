#pragma once

// A stereo sound file being written through libsndfile: FLAC (24-bit, the
// closest FLAC comes to the output's float samples, at its fastest
// compression) unless the name ends in ".wav", which gives 32-bit float
// WAVE, the output's samples bit for bit. A WAVE whose sizes would pass the
// 4 GiB its header can count is written as RF64 instead.
//
// A file already there is never opened: two recordings named to the same
// second cannot write over each other. A WAVE header is brought up to date
// with every write, and FLAC is written in whole blocks, so a file cut off
// by a crash still plays up to its last write. close() finishes the header
// and reads the file back: one that does not hold every frame written (a
// disk that filled under the last block) is removed and called failed.
//
// Thread: one thread at a time (the recorder's writer thread, or the render).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

namespace tremlo::recording {

class SoundFileWriter {
public:
    // A file whose length is not known when it starts (a recording).
    static constexpr std::int64_t kLengthUnknown = -1;

    // The writer, or why the file cannot be made. `expectedFrames` chooses
    // the header of a WAVE: plain RIFF when that many frames fit it, RF64
    // when they do not, and for an unknown length RF64 that is made plain
    // RIFF at close when the file stayed small enough.
    static std::variant<std::unique_ptr<SoundFileWriter>, std::string>
    create(const std::string& path, int rate, std::int64_t expectedFrames = kLengthUnknown);
    // A file without a name, in `path`'s folder, until publish() gives it
    // that name: a process that ends before, however it ends, leaves
    // nothing. Where the file system cannot make one, the file is
    // `fallbackPath` until then, and an unnamed one passes through that
    // name for a moment. It should be a name of this process's own.
    static std::variant<std::unique_ptr<SoundFileWriter>, std::string>
    createUnnamed(const std::string& path, const std::string& fallbackPath, int rate,
                  std::int64_t expectedFrames);
    ~SoundFileWriter();
    SoundFileWriter(const SoundFileWriter&) = delete;
    SoundFileWriter& operator=(const SoundFileWriter&) = delete;

    // Interleaved stereo frames; false when the disk refused them, with
    // error() saying why. After a failure nothing more is written.
    bool write(const float* stereo, std::size_t frames);
    // Finishes the file; false, with the file removed, when it does not
    // hold every frame written.
    bool close();
    // After a close() that succeeded, a file made by createUnnamed() takes
    // its name, replacing a file there; false, with error(), when it cannot.
    bool publish();
    const std::string& error() const { return m_error; }
    const std::string& path() const { return m_path; }

    // Whether the name asks for WAVE (".wav" in any letter case).
    static bool isWavePath(const std::string& path);

private:
    static std::variant<std::unique_ptr<SoundFileWriter>, std::string>
    open(int fd, const std::string& path, const std::string& namePath, int rate,
         std::int64_t expectedFrames);
    SoundFileWriter(void* file, int fd, std::string path, std::string namePath);
    bool fail();
    bool holdsEveryFrame() const;
    void clearPeakTime();
    std::string readPath() const;

    void* m_file; // SNDFILE*
    int m_fd;
    std::string m_path;     // the name the file has, or will have once published
    std::string m_namePath; // the name it has now; empty while it has none
    std::string m_linkPath; // an unnamed file's name on its way to m_path
    std::string m_error;
    std::int64_t m_frames = 0; // taken by the library without an error
    bool m_timelessPeak = false;
};

} // namespace tremlo::recording
