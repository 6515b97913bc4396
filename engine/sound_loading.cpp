#include "sound_loading.h"

#include "ascii_text.h"
#include "sequence.h"
#include "user_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <optional>
#include <signal.h>
#include <vector>

namespace tremlo {
namespace {

namespace fs = std::filesystem;

std::string title() {
    return userText("Engine", "トレモロ");
}

// Why a read failed, in the words the system the program was designed on
// gives for the same failure, in the windows' language whatever the locale
// the program runs under: a line in another language among the boxes reads
// as a fault.
std::string systemErrorText(int cause) {
    switch (cause) {
    case ENOENT:
        return userText("Engine", "指定されたファイルが見つかりません。");
    case ENOTDIR:
        return userText("Engine", "指定されたパスが見つかりません。");
    case EACCES:
    case EPERM:
    case EISDIR:
        return userText("Engine", "アクセスが拒否されました。");
    case ENOMEM:
        return userText("Engine", "このコマンドを実行するのに十分な記憶域がありません。");
    case EMFILE:
    case ENFILE:
        return userText("Engine", "システムはファイルを開くことができません。");
    case ENAMETOOLONG:
        return userText("Engine", "ファイル名または拡張子が長すぎます。");
    case ELOOP:
        return userText("Engine", "ファイル名を解決できませんでした。");
    case EFBIG:
    case EOVERFLOW:
        return userText("Engine",
                        "ファイル サイズが、このシステムでサポートされている上限を超えているた"
                        "め、操作を完了できません。");
    case EIO:
        return userText("Engine",
                        "I/O デバイス エラーが発生したため、要求を実行できませんでした。");
    default:
        return fillIn(userText("Engine", "不明なエラーが発生しました。(エラー番号 %1)"),
                      {std::to_string(cause)});
    }
}
const char* const kMelodyEndings[] = {".mid", ".sgt", ".wav",  ".mp3",
                                      ".ogg", ".oga", ".opus", ".flac"};
const char* const kMusicEndings[] = {".mid", ".sgt"};

bool isContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Byte offset where the character `count` characters before the end starts.
std::size_t startOfLastCharacters(const std::string& text, std::size_t count) {
    std::size_t start = text.size();
    while (count > 0 && start > 0) {
        --start;
        if (!isContinuationByte(text[start]))
            --count;
    }
    return start;
}

std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (char c : text)
        count += isContinuationByte(c) ? 0 : 1;
    return count;
}

std::string firstCharacters(const std::string& text, std::size_t count) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size(); ++end) {
        if (!isContinuationByte(text[end]) && seen++ == count)
            break;
    }
    return text.substr(0, end);
}

// Digits with a comma between thousands, as the "#,##0" pictures write them.
std::string groupThousands(std::int64_t value) {
    const std::string digits = std::to_string(value);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0)
            grouped += ',';
        grouped += digits[i];
    }
    return grouped;
}

template <std::size_t N> bool isOneOf(const std::string& ending, const char* const (&endings)[N]) {
    for (const char* known : endings)
        if (ending == known)
            return true;
    return false;
}

bool isMelodyEnding(const std::string& ending) {
    return isOneOf(ending, kMelodyEndings);
}

// From the file name's last dot, in lower case: ".opus" and ".flac" are five
// characters, where the endings the program began with were four.
std::string typeEndingOf(const std::string& path) {
    const std::string name = fileNameOf(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : asciiLower(name.substr(dot));
}

} // namespace

std::string endingOf(const std::string& path) {
    return asciiLower(path.substr(startOfLastCharacters(path, 4)));
}

bool isMelodyPath(const std::string& path) {
    return isMelodyEnding(typeEndingOf(path));
}

bool isSampledSoundPath(const std::string& path) {
    const std::string ending = typeEndingOf(path);
    return isMelodyEnding(ending) && !isOneOf(ending, kMusicEndings);
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string shortNameOf(const std::string& fileName) {
    if (characterCount(fileName) <= 24)
        return fileName;
    return firstCharacters(fileName, 20) + " ... " + endingOf(fileName);
}

std::string formatSeconds(std::int64_t ms) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms % 1000));
    return fillIn(userText("Engine", "%1 秒"), {groupThousands(ms / 1000) + fraction});
}

std::string formatWaveInfo(std::int64_t ms, int samplesPerSecond, int bitsPerSample, int channels,
                           const std::string& codec) {
    // "###,###" and "##" leave out a zero altogether.
    const std::string rate = samplesPerSecond != 0 ? groupThousands(samplesPerSecond) : "";
    const std::string bits = bitsPerSample != 0 ? std::to_string(bitsPerSample) : "";
    const std::string channelName = channels == 1   ? userText("Engine", "モノラル")
                                    : channels == 2 ? userText("Engine", "ステレオ")
                                                    : "";
    // A compressed file's bits are the decoder's, not the file's: the codec
    // says more.
    const std::string depth =
        codec.empty() ? fillIn(userText("Engine", "%1 ビット"), {bits}) : codec;
    return formatSeconds(ms) + ", " + rate + " Hz, " + depth + ", " + channelName;
}

SoundLoader::SoundLoader(PlaybackState& state, sound::SoundLibrary& library, LoaderViews views,
                         std::string workFolder, long processNumber)
    : m_state(state), m_library(library), m_views(views), m_workFolder(std::move(workFolder)),
      m_processNumber(processNumber), m_sampleMemoryLimit(sound::sampleMemoryLimit()) {}

std::string SoundLoader::temporaryCopyPath(const std::string& ending) const {
    return m_workFolder + "/~tremlo" + std::to_string(m_processNumber) + ending;
}

bool SoundLoader::pastMemoryLimit(const std::string& path) const {
    // No codec keeps fewer than half as many bytes of samples as its file
    // holds (64-bit floats become 32-bit ones), so a file past twice the
    // limit is refused before it is copied or read. A MIDI or segment file
    // past what its reader takes would be copied only to be refused.
    std::error_code error;
    const auto size = fs::file_size(path, error);
    const bool music = isOneOf(typeEndingOf(path), kMusicEndings);
    return !error &&
           (size / 2 > m_sampleMemoryLimit || (music && size > sound::kMaxSequenceFileBytes));
}

sound::DecodeResult SoundLoader::readSound(const std::string& path) {
    std::error_code error;
    if (!fs::exists(path, error)) // a missing sound is no error
        return {};
    if (m_prefetch)
        if (auto samples = m_prefetch->take(path))
            return {std::move(samples), false};
    if (pastMemoryLimit(path))
        return {nullptr, true};
    errno = 0;
    const auto size = fs::file_size(path, error);
    // The whole file, in one read: the ambience alone is megabytes, and
    // start-up waits for it. Failures are told in the system's words.
    std::vector<std::uint8_t> bytes;
    try {
        bytes.resize(error ? 0 : static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return {nullptr, true};
    }
    std::ifstream in(path, std::ios::binary);
    if (!error && in)
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (error || !in) {
        const int cause = error ? error.value() : errno != 0 ? errno : EIO;
        m_views.feedback.showMessage(systemErrorText(cause), title(), MessageIcon::Warning);
        return {};
    }
    if (bytes.empty()) {
        // An empty file ends the read before it has begun; the system's own
        // words for that.
        m_views.feedback.showMessage(userText("Engine", "ファイルの終わりに到達しました。"),
                                     title(), MessageIcon::Warning);
        return {};
    }
    return sound::decodeSound(bytes, m_sampleMemoryLimit);
}

sound::SoundHandle SoundLoader::LoadSoundBuffer(const std::string& path, int) {
    return m_library.createBuffer(readSound(path).samples);
}

void SoundLoader::LoadSoundFile(const std::string& path) {
    // The last guard against running out of memory: a window's event
    // handler or start-up must never see an allocation failure.
    try {
        loadMelody(path);
    } catch (const std::bad_alloc&) {
        showLoadFailure(path);
    }
}

void SoundLoader::loadMelody(const std::string& path) {
    m_views.feedback.setWaitCursor(true);
    const std::string ending = typeEndingOf(path);
    const bool music = isOneOf(ending, kMusicEndings);
    // Only a melody gets a copy; any other ending would load nothing, and
    // would make a strange name in the work folder.
    const std::string copy = isMelodyEnding(ending) ? temporaryCopyPath(ending) : std::string();
    auto makeCopy = [&] {
        std::error_code error;
        return !copy.empty() &&
               fs::copy_file(path, copy, fs::copy_options::overwrite_existing, error);
    };
    // A sampled melody is decoded before the old one is let go: one too
    // long for memory is refused while the melody the user had stays
    // loaded, where letting go first would leave nothing to play.
    sound::DecodeResult decoded;
    if (!copy.empty() && pastMemoryLimit(path)) {
        showLoadFailure(path);
        return;
    }
    if (!music && makeCopy()) {
        decoded = readSound(copy);
        deleteTemporaryCopies(copy);
        if (decoded.tooLarge) {
            showLoadFailure(path);
            return;
        }
    }
    releaseMelody();
    // The SoundFont may still be loading; a MIDI or segment melody waits for
    // the synthesizer, since one that never comes would load a melody that
    // lights the lamp and sounds nothing.
    if (!m_library.dsInitMusic() || (music && !m_library.waitForMusic())) {
        m_views.feedback.setWaitCursor(false);
        m_views.feedback.showMessage(userText("Engine", "DirectMusicが使えません。"), title(),
                                     MessageIcon::None);
        return;
    }
    if (music && makeCopy())
        m_state.MelodySegment = m_library.dsLoadMusicSegment(copy, 32);
    else if (decoded.samples)
        m_state.MelodyBuffer = m_library.createBuffer(std::move(decoded.samples));
    deleteTemporaryCopies(copy);
    // Nothing sounds now, and nothing is started.
    m_views.switchView.setOnPicture(OnPicture::imgOnA);
    m_views.switchView.setOffPicture(OffPicture::imgOffA);
    m_state.OnButtonDown = false;
    m_state.OnSwitchState = SwitchPosition::Off;
    m_state.OffButtonDown = false;
    if (m_state.MelodySegment || m_state.MelodyBuffer)
        showLoadedMelody(path, music);
    else
        showLoadFailure(path);
}

void SoundLoader::releaseMelody() {
    m_state.RunOutActive = false; // a run-out in progress ends without stopping anything
    m_library.dsStopMusicSegment(m_state.MelodySegment);
    m_library.dsStop(m_state.MelodyBuffer);
    m_library.dsSetMasterVolume(m_state.level(VolumeSound::Melody));
    m_library.dsSetVolume(m_state.MelodyBuffer, m_state.level(VolumeSound::Melody));
    m_library.dsFreeMusicSegment(m_state.MelodySegment);
    m_library.dsFree(m_state.MelodyBuffer);
    m_library.dsQuitMusic();
    m_state.MelodyPath.clear();
    // Whatever sounded, or was running out, has stopped.
    m_views.lamps.setStatusLED(Lamp::Melody, false);
}

void SoundLoader::deleteTemporaryCopies(const std::string& madeCopy) {
    std::error_code ignored;
    for (const char* ending : kMelodyEndings)
        fs::remove(temporaryCopyPath(ending), ignored);
    if (!madeCopy.empty())
        fs::remove(madeCopy, ignored);
}

namespace {

// The process number in a temporary copy's name ("~tremlo1234.wav" gives
// 1234); nothing for any other name.
std::optional<long> copyOwnerOf(const std::string& name) {
    const std::string prefix = "~tremlo";
    const auto dot = name.rfind('.');
    if (!name.starts_with(prefix) || dot == std::string::npos || !isMelodyEnding(name.substr(dot)))
        return std::nullopt;
    const std::string digits = name.substr(prefix.size(), dot - prefix.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stol(digits);
}

// A process of another user answers EPERM: it runs, and its copies stay.
bool processRuns(long number) {
    return number > 0 && (::kill(static_cast<pid_t>(number), 0) == 0 || errno == EPERM);
}

} // namespace

void SoundLoader::deleteCopiesOfEndedRuns() {
    // A run that ended in the middle of a load left its copy behind, and a
    // copy of a long melody is gigabytes. The copies of another run that is
    // still going are its own; one under this run's number is from an
    // earlier run that had the same number.
    std::vector<fs::path> stale;
    std::error_code error;
    for (fs::directory_iterator it(m_workFolder, error), end; !error && it != end;
         it.increment(error)) {
        const auto owner = copyOwnerOf(it->path().filename().string());
        if (owner && (*owner == m_processNumber || !processRuns(*owner)))
            stale.push_back(it->path());
    }
    for (const auto& path : stale)
        fs::remove(path, error);
}

void SoundLoader::showLoadedMelody(const std::string& path, bool music) {
    m_views.feedback.addRecentDocument(path);
    m_state.MelodyPath = path;
    const std::string name = fileNameOf(path);
    const std::string caption = fillIn(userText("Engine", "%1 - トレモロ"), {name});
    m_views.mainWindow.setCaption(caption);
    m_views.status.setFileInfo(shortNameOf(name));
    if (!music) {
        sound::WaveFormat format;
        m_library.dsGetFormat(m_state.MelodyBuffer, format);
        m_views.status.ShowStatusMessage(
            formatWaveInfo(m_library.dsGetBufferMSec(m_state.MelodyBuffer), format.samplesPerSecond,
                           format.bitsPerSample, format.channels, format.codec),
            true);
    } else {
        m_views.status.ShowStatusMessage(
            formatSeconds(m_library.dsGetLengthMSec(m_state.MelodySegment)), true);
    }
    m_views.mainWindow.setTitleBarToolTip(caption);
    m_views.mainWindow.BringToFront();
    m_views.feedback.setWaitCursor(false);
}

void SoundLoader::showLoadFailure(const std::string& path) {
    m_views.feedback.setWaitCursor(false);
    m_views.feedback.showMessage(
        fillIn(userText("Engine", "指定されたファイル '%1' が読み込めませんでした。\r\n\r\n"
                                  "サポートされている形式か確認してください。"),
               {path}),
        userText("Engine", "トレモロ エラー"), MessageIcon::Error);
}

} // namespace tremlo
