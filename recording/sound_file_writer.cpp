#include "sound_file_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sndfile.h>
#include <string_view>
#include <unistd.h>

namespace tremlo::recording {
namespace {

SNDFILE* handleOf(void* file) {
    return static_cast<SNDFILE*>(file);
}

// The RIFF header counts the file's bytes in 32 bits; the rest of the
// header is far smaller than this margin.
constexpr std::int64_t kLargestRiffBytes = 0xFFFFFFFFLL - 65536;
constexpr std::int64_t kBytesPerFrame = 2 * sizeof(float);

int formatFor(const std::string& path, std::int64_t expectedFrames) {
    if (!SoundFileWriter::isWavePath(path))
        return SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    const bool fitsRiff = expectedFrames != SoundFileWriter::kLengthUnknown &&
                          expectedFrames <= kLargestRiffBytes / kBytesPerFrame;
    return (fitsRiff ? SF_FORMAT_WAV : SF_FORMAT_RF64) | SF_FORMAT_FLOAT;
}

} // namespace

bool SoundFileWriter::isWavePath(const std::string& path) {
    if (path.size() < 4)
        return false;
    std::string ending = path.substr(path.size() - 4);
    for (char& c : ending)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return ending == ".wav";
}

std::variant<std::unique_ptr<SoundFileWriter>, std::string>
SoundFileWriter::create(const std::string& path, int rate, std::int64_t expectedFrames) {
    // sf_open would truncate a file already there.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return path + ": " + std::strerror(errno);
    return open(fd, path, path, rate, expectedFrames);
}

std::variant<std::unique_ptr<SoundFileWriter>, std::string>
SoundFileWriter::createUnnamed(const std::string& path, const std::string& fallbackPath, int rate,
                               std::int64_t expectedFrames) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
        auto made = open(fd, path, {}, rate, expectedFrames);
        if (auto* writer = std::get_if<std::unique_ptr<SoundFileWriter>>(&made))
            (*writer)->m_linkPath = fallbackPath;
        return made;
    }
    // File systems without unnamed files (FAT, some network and FUSE ones)
    // say so in one of these.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        return path + ": " + std::strerror(errno);
    auto made = create(fallbackPath, rate, expectedFrames);
    if (auto* writer = std::get_if<std::unique_ptr<SoundFileWriter>>(&made))
        (*writer)->m_path = path;
    return made;
}

std::variant<std::unique_ptr<SoundFileWriter>, std::string>
SoundFileWriter::open(int fd, const std::string& path, const std::string& namePath, int rate,
                      std::int64_t expectedFrames) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = formatFor(path, expectedFrames);
    errno = 0;
    SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file) {
        const char* reason = sf_strerror(nullptr);
        ::close(fd);
        if (!namePath.empty())
            std::remove(namePath.c_str());
        return path + ": " + (reason && *reason ? reason : "cannot be written");
    }
    // A recording's length is not known; most stay far below 4 GiB and are
    // written as plain WAVE, which more programs read than RF64.
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64 && expectedFrames == kLengthUnknown)
        sf_command(file, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
    // The mix is already limited to full scale; should a sample reach it,
    // it is held there rather than wrapped round.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // FLAC's fastest setting: a recording encodes beside the sound output
    // for as long as it runs, and the higher ones save only a few percent.
    double compression = 0.0;
    sf_command(file, SFC_SET_COMPRESSION_LEVEL, &compression, sizeof compression);
    if (isWavePath(path)) {
        sf_command(file, SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
        // The peak chunk carries the time of writing: two renders of one
        // script would differ in it. libsndfile keeps it in RF64 whatever
        // is asked, so only renders past 4 GiB differ there.
        sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    }
    auto writer = std::unique_ptr<SoundFileWriter>(new SoundFileWriter(file, fd, path, namePath));
    writer->m_timelessPeak =
        (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_RF64 && expectedFrames != kLengthUnknown;
    return writer;
}

SoundFileWriter::SoundFileWriter(void* file, int fd, std::string path, std::string namePath)
    : m_file(file), m_fd(fd), m_path(std::move(path)), m_namePath(std::move(namePath)) {}

SoundFileWriter::~SoundFileWriter() {
    close();
    ::close(m_fd);
}

bool SoundFileWriter::fail() {
    if (m_error.empty()) {
        const char* reason = sf_strerror(handleOf(m_file));
        m_error = m_path + ": " + (reason && *reason ? reason : "the disk refused the sound");
        if (errno != 0 && m_error.find(std::strerror(errno)) == std::string::npos)
            m_error += std::string(" (") + std::strerror(errno) + ")";
    }
    return false;
}

bool SoundFileWriter::write(const float* stereo, std::size_t frames) {
    if (!m_file || !m_error.empty())
        return false;
    errno = 0;
    const auto wanted = static_cast<sf_count_t>(frames);
    if (sf_writef_float(handleOf(m_file), stereo, wanted) != wanted ||
        sf_error(handleOf(m_file)) != SF_ERR_NO_ERROR)
        return fail();
    m_frames += wanted;
    return true;
}

bool SoundFileWriter::close() {
    if (!m_file)
        return m_error.empty();
    errno = 0;
    sf_write_sync(handleOf(m_file));
    const bool failedBefore = sf_error(handleOf(m_file)) != SF_ERR_NO_ERROR;
    if (failedBefore)
        fail();
    const int closed = sf_close(handleOf(m_file));
    if (closed != 0 && m_error.empty())
        m_error = m_path + ": " + sf_error_number(closed);
    m_file = nullptr;
    // libsndfile closes a FLAC file without a word when the disk refused its
    // last block, and the file then has neither that block nor a length.
    if (m_error.empty() && m_timelessPeak)
        clearPeakTime();
    if (m_error.empty() && !holdsEveryFrame())
        m_error = m_path + ": the end of the sound did not reach the disk (is it full?)";
    if (!m_error.empty() && !m_namePath.empty())
        std::remove(m_namePath.c_str());
    return m_error.empty();
}

bool SoundFileWriter::publish() {
    if (m_file || !m_error.empty())
        return false;
    if (m_namePath == m_path)
        return true;
    // A link of its own first, as a link cannot replace a file: the output
    // is then replaced whole, by renaming.
    if (m_namePath.empty()) {
        std::remove(m_linkPath.c_str());
        if (::linkat(AT_FDCWD, readPath().c_str(), AT_FDCWD, m_linkPath.c_str(),
                     AT_SYMLINK_FOLLOW) != 0) {
            m_error = m_path + ": " + std::strerror(errno);
            return false;
        }
        m_namePath = m_linkPath;
    }
    if (std::rename(m_namePath.c_str(), m_path.c_str()) != 0) {
        m_error = m_path + ": " + std::strerror(errno);
        std::remove(m_namePath.c_str());
        return false;
    }
    m_namePath = m_path;
    return true;
}

// An unnamed file is reached through its descriptor's entry in /proc.
std::string SoundFileWriter::readPath() const {
    return m_namePath.empty() ? "/proc/self/fd/" + std::to_string(m_fd) : m_namePath;
}

// The time in the peak chunk, which RF64 cannot leave out, is made 0, so
// that a render made again gives the same bytes. The chunk is "PEAK", its
// size, a version and then the time, within the header's first bytes.
void SoundFileWriter::clearPeakTime() {
    char header[4096];
    const ssize_t got = ::pread(m_fd, header, sizeof header, 0);
    if (got <= 0)
        return;
    const std::string_view bytes(header, static_cast<std::size_t>(got));
    const std::size_t peak = bytes.find("PEAK");
    constexpr std::size_t kTimeOffset = 12;
    if (peak == std::string_view::npos || peak + kTimeOffset + 4 > bytes.size())
        return;
    const char zero[4] = {};
    if (::pwrite(m_fd, zero, sizeof zero, static_cast<off_t>(peak + kTimeOffset)) !=
        static_cast<ssize_t>(sizeof zero))
        m_error = m_path + ": " + std::strerror(errno);
}

// Read back: the header's length, and the last frame where it says.
bool SoundFileWriter::holdsEveryFrame() const {
    SF_INFO info{};
    SNDFILE* file = sf_open(readPath().c_str(), SFM_READ, &info);
    if (!file)
        return false;
    bool whole = info.frames == m_frames;
    if (whole && m_frames > 0) {
        float last[2];
        whole = sf_seek(file, m_frames - 1, SEEK_SET) == m_frames - 1 &&
                sf_readf_float(file, last, 1) == 1;
    }
    sf_close(file);
    return whole;
}

} // namespace tremlo::recording
