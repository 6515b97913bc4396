#include "sound_prefetch.h"

#include "wave_loader.h"

#include <fstream>
#include <new>

namespace tremlo {

SoundPrefetch::SoundPrefetch(std::vector<std::string> paths) {
    for (auto& path : paths)
        m_entries.push_back({std::move(path), {}, nullptr});
    m_worker = std::thread([this] { readAll(); });
}

SoundPrefetch::~SoundPrefetch() {
    if (m_worker.joinable())
        m_worker.join();
}

std::optional<SoundPrefetch::FileStamp> SoundPrefetch::stampOf(const std::string& path) {
    std::error_code error;
    FileStamp stamp;
    stamp.size = std::filesystem::file_size(path, error);
    if (error)
        return std::nullopt;
    stamp.modified = std::filesystem::last_write_time(path, error);
    if (error)
        return std::nullopt;
    return stamp;
}

void SoundPrefetch::readAll() {
    for (Entry& entry : m_entries) {
        // Stamped before the read: a change during it shows at take().
        const auto stamp = stampOf(entry.path);
        if (!stamp || stamp->size == 0)
            continue;
        // A failure here would end the program from this thread; a sound
        // that does not fit is read again by the loader, which refuses it.
        try {
            std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stamp->size));
            std::ifstream in(entry.path, std::ios::binary);
            if (!in.read(reinterpret_cast<char*>(bytes.data()),
                         static_cast<std::streamsize>(bytes.size())))
                continue;
            entry.stamp = *stamp;
            entry.samples = sound::decodeWave(bytes);
        } catch (const std::bad_alloc&) {
            continue;
        }
    }
}

std::shared_ptr<const sound::SampleData> SoundPrefetch::take(const std::string& path) {
    if (m_worker.joinable())
        m_worker.join();
    for (Entry& entry : m_entries) {
        if (entry.path != path || !entry.samples)
            continue;
        auto samples = std::move(entry.samples);
        const auto now = stampOf(path);
        return now && *now == entry.stamp ? samples : nullptr;
    }
    return nullptr;
}

} // namespace tremlo
