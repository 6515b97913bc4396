#pragma once

// The fixed sounds, read and decoded on a worker thread while the program
// connects to the display, so that the start-up step that loads them finds
// them ready. A sound is handed over only while its file is still the one the
// worker read (same size and modification time); anything else, and every
// failure, is left to the usual load with its usual messages.
//
// Thread: made and asked on the user-interface thread; the worker only reads
// and decodes.

#include "sample_data.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tremlo {

class SoundPrefetch {
public:
    explicit SoundPrefetch(std::vector<std::string> paths);
    ~SoundPrefetch();
    SoundPrefetch(const SoundPrefetch&) = delete;
    SoundPrefetch& operator=(const SoundPrefetch&) = delete;

    // The decoded sound of `path`, once; null when it was not asked for, could
    // not be read or decoded, or its file has changed since. Waits for the
    // worker.
    std::shared_ptr<const sound::SampleData> take(const std::string& path);

private:
    struct FileStamp {
        std::uintmax_t size = 0;
        std::filesystem::file_time_type modified;
        bool operator==(const FileStamp&) const = default;
    };
    struct Entry {
        std::string path;
        FileStamp stamp;
        std::shared_ptr<const sound::SampleData> samples;
    };

    static std::optional<FileStamp> stampOf(const std::string& path);
    void readAll();

    std::vector<Entry> m_entries;
    std::thread m_worker;
};

} // namespace tremlo
