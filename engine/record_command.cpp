#include "record_command.h"

#include "user_text.h"

#include <cstdio>
#include <filesystem>

namespace tremlo {
namespace {

constexpr int kLookIntervalMs = 500;
// Far more recordings than anyone starts in one second.
constexpr int kMostTakes = 1000;

} // namespace

std::string recordingPathIn(const std::string& musicFolder, std::time_t now, int take) {
    std::tm local{};
    ::localtime_r(&now, &local);
    char name[32];
    std::strftime(name, sizeof name, "%Y-%m-%d %H-%M-%S", &local);
    const std::string number = take > 1 ? " (" + std::to_string(take) + ")" : "";
    return musicFolder + "/トレモロ/" + name + number + ".flac";
}

RecordCommand::RecordCommand(recording::Recorder& recorder, TimerFactory& timers,
                             RecordingLamp& lamp, StatusDisplay& status,
                             std::function<std::string(int take)> defaultPath)
    : m_recorder(recorder), m_lamp(lamp), m_status(status), m_defaultPath(std::move(defaultPath)),
      m_timer(timers.createTimer("tmrRecording")) {
    m_timer->setInterval(kLookIntervalMs);
    m_timer->onTick([this] { look(); });
}

void RecordCommand::toggle() {
    if (recording()) {
        stop();
        return;
    }
    // Named to the second: a recording started again within it, or by a
    // second program, takes the next number. The file's creation decides,
    // so two programs cannot both take one name.
    for (int take = 1;; ++take) {
        const std::string path = m_defaultPath(take);
        const auto refused = begin(path);
        if (!refused)
            return;
        std::error_code error;
        if (take == kMostTakes ||
            !std::filesystem::exists(std::filesystem::symlink_status(path, error))) {
            refuse(*refused);
            return;
        }
    }
}

bool RecordCommand::start(const std::string& path) {
    const auto refused = begin(path);
    if (refused)
        refuse(*refused);
    return !refused;
}

void RecordCommand::refuse(const std::string& reason) {
    tell(fillIn(userText("Engine", "録音できません。%1"), {reason}), "cannot record: " + reason);
}

std::optional<std::string> RecordCommand::begin(const std::string& path) {
    std::error_code ignored;
    const auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ignored);
    if (auto refused = m_recorder.start(path))
        return refused;
    m_toldLostFrames = 0;
    m_timer->setEnabled(true);
    m_lamp.showRecording(true, 0, 0);
    tell(fillIn(userText("Engine", "録音中: %1"), {path}), "recording to " + path);
    return std::nullopt;
}

void RecordCommand::stop() {
    if (!recording())
        return;
    const std::string path = m_recorder.path();
    const std::int64_t elapsedMs = msOf(m_recorder.heardFrames());
    const auto problem = m_recorder.stop();
    m_timer->setEnabled(false);
    m_lamp.showRecording(false, elapsedMs, 0);
    if (problem)
        tell(fillIn(userText("Engine", "録音を止めました。%1"), {*problem}),
             "recording stopped: " + *problem);
    else
        tell(fillIn(userText("Engine", "録音を保存しました: %1"), {path}), "recorded " + path);
}

void RecordCommand::look() {
    if (!recording()) {
        m_timer->setEnabled(false);
        return;
    }
    // The disk refused a write: the recording ends, and the part of it on
    // the disk goes, as it could not hold it whole.
    if (m_recorder.failed()) {
        stop();
        return;
    }
    const std::uint64_t lost = m_recorder.droppedFrames();
    m_lamp.showRecording(true, msOf(m_recorder.heardFrames()),
                         msOf(static_cast<std::int64_t>(lost)));
    if (lost > m_toldLostFrames) {
        m_toldLostFrames = lost;
        const std::string ms = std::to_string(msOf(static_cast<std::int64_t>(lost)));
        tell(fillIn(userText("Engine", "ディスクが追いつかず、録音が %1 ミリ秒抜けました。"), {ms}),
             "the disk fell behind: " + ms + " ms of the recording lost so far");
    }
}

void RecordCommand::tell(const std::string& panelText, const std::string& logText) {
    std::fprintf(stderr, "tremolo: %s\n", logText.c_str());
    m_status.ShowStatusMessage(panelText, false);
}

std::int64_t RecordCommand::msOf(std::int64_t frames) const {
    const int rate = m_recorder.rate();
    return rate > 0 ? frames * 1000 / rate : 0;
}

} // namespace tremlo
