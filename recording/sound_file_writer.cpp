#include "sound_file_writer.h"

#include <cerrno>
#include <cstring>
#include <sndfile.h>

namespace tremlo::recording {
namespace {

SNDFILE* handleOf(void* file) {
    return static_cast<SNDFILE*>(file);
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
SoundFileWriter::create(const std::string& path, int rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format =
        isWavePath(path) ? (SF_FORMAT_WAV | SF_FORMAT_FLOAT) : (SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
    errno = 0;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) {
        const char* reason = sf_strerror(nullptr);
        return path + ": " + (reason && *reason ? reason : "cannot be written");
    }
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
        // script would differ in it.
        sf_command(file, SFC_SET_ADD_PEAK_CHUNK, nullptr, SF_FALSE);
    }
    return std::unique_ptr<SoundFileWriter>(new SoundFileWriter(file, path));
}

SoundFileWriter::SoundFileWriter(void* file, std::string path)
    : m_file(file), m_path(std::move(path)) {}

SoundFileWriter::~SoundFileWriter() {
    close();
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
    return m_error.empty();
}

} // namespace tremlo::recording
