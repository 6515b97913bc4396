#pragma once

// The recorder: writes what the program gives the sound output into a sound
// file, the same samples at the output's rate.
//
// How the parts talk: the recorder is the sound library's output tap. The
// audio thread copies each period into a SampleRing and returns; it never
// waits, allocates or touches the file. A writer thread of the recorder's
// own takes the frames out every tenth of a second and writes them through
// SoundFileWriter. A full ring (the disk fell behind) loses the period and
// counts it; a disk that refuses a write (full, removed) ends the writing,
// and the user-interface thread, which polls failed(), stops the recording
// and tells why. stop() drains the ring and finishes the file's header; a
// file that does not hold the whole recording is removed.
//
// Thread: start(), stop() and the queries on the user-interface thread;
// deliver() on the audio thread.

#include "output_tap.h"
#include "sample_ring.h"
#include "sound_file_writer.h"
#include "sound_library.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace tremlo::recording {

// How long the writer thread sleeps between two looks at the ring, and how
// much the ring holds: seconds of disk stall it rides out without a gap.
inline constexpr int kWriterPauseMs = 100;
inline constexpr int kRingSeconds = 4;

class Recorder final : public sound::OutputTap {
public:
    explicit Recorder(sound::SoundLibrary& library);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Starts writing to `path` (FLAC, or WAVE by its ending); nullopt when
    // it runs, else why it could not start. A recording already running
    // goes on and this one is refused.
    std::optional<std::string> start(const std::string& path);
    // Stops and finishes the file; nullopt when the whole recording is in
    // it, else what went wrong (also a disk that failed earlier).
    std::optional<std::string> stop();

    bool recording() const { return m_writer != nullptr; }
    const std::string& path() const { return m_path; }
    int rate() const { return m_rate; }
    // Frames heard since start, written or lost.
    std::int64_t heardFrames() const;
    // Frames lost because the ring was full.
    std::uint64_t droppedFrames() const;
    // The disk refused a write; the writer thread has given up.
    bool failed() const { return m_failed.load(std::memory_order_acquire); }

    void deliver(const float* stereo, std::size_t frames) noexcept override;

private:
    void writeLoop();
    bool drain();

    sound::SoundLibrary& m_library;
    std::unique_ptr<SampleRing> m_ring;
    std::unique_ptr<SoundFileWriter> m_writer;
    std::unique_ptr<float[]> m_chunk;
    std::size_t m_chunkFrames = 0;
    std::string m_path;
    int m_rate = 0;
    std::thread m_thread;
    std::mutex m_stopLock;
    std::condition_variable m_stopAsked;
    bool m_stopping = false;
    std::atomic<bool> m_failed{false};
};

} // namespace tremlo::recording
