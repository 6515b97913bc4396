#include "recorder.h"

#include <chrono>

namespace tremlo::recording {

Recorder::Recorder(sound::SoundLibrary& library) : m_library(library) {}

Recorder::~Recorder() {
    stop();
}

std::optional<std::string> Recorder::start(const std::string& path) {
    if (recording())
        return "a recording is already running: " + m_path;
    const int rate = m_library.outputRate();
    if (rate <= 0)
        return path + ": there is no sound output to record";
    auto made = SoundFileWriter::create(path, rate);
    if (auto* reason = std::get_if<std::string>(&made))
        return *reason;
    m_writer = std::move(std::get<std::unique_ptr<SoundFileWriter>>(made));
    m_path = path;
    m_rate = rate;
    // Made here, never on the audio thread.
    m_ring = std::make_unique<SampleRing>(static_cast<std::size_t>(rate) * kRingSeconds);
    m_chunkFrames = m_ring->capacityFrames();
    m_chunk = std::make_unique<float[]>(m_chunkFrames * 2);
    m_failed.store(false, std::memory_order_release);
    m_stopping = false;
    m_thread = std::thread([this] { writeLoop(); });
    m_library.setOutputTap(this);
    return std::nullopt;
}

std::optional<std::string> Recorder::stop() {
    if (!recording())
        return std::nullopt;
    // After this the audio thread no longer reaches the ring.
    m_library.setOutputTap(nullptr);
    {
        const std::lock_guard guard(m_stopLock);
        m_stopping = true;
    }
    m_stopAsked.notify_one();
    m_thread.join();
    std::optional<std::string> problem;
    if (!m_writer->close() || failed())
        problem = m_writer->error();
    m_writer.reset();
    return problem;
}

std::int64_t Recorder::heardFrames() const {
    return m_ring ? static_cast<std::int64_t>(m_ring->pushedFrames() + m_ring->droppedFrames()) : 0;
}

std::uint64_t Recorder::droppedFrames() const {
    return m_ring ? m_ring->droppedFrames() : 0;
}

void Recorder::deliver(const float* stereo, std::size_t frames) noexcept {
    // Once the disk has failed nothing drains the ring; the frames are not
    // counted as lost to a slow disk.
    if (!m_failed.load(std::memory_order_relaxed))
        m_ring->push(stereo, frames);
}

// Whatever the ring holds goes to the file; false when the disk refused it.
bool Recorder::drain() {
    for (;;) {
        const std::size_t n = m_ring->pop(m_chunk.get(), m_chunkFrames);
        if (n == 0)
            return true;
        if (!m_writer->write(m_chunk.get(), n))
            return false;
    }
}

void Recorder::writeLoop() {
    std::unique_lock lock(m_stopLock);
    for (;;) {
        const bool stopping = m_stopAsked.wait_for(lock, std::chrono::milliseconds(kWriterPauseMs),
                                                   [this] { return m_stopping; });
        lock.unlock();
        if (!drain()) {
            m_failed.store(true, std::memory_order_release);
            return;
        }
        if (stopping)
            return;
        lock.lock();
    }
}

} // namespace tremlo::recording
