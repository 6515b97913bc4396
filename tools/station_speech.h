#pragma once

// Spoken announcements for the station sounds: speech that espeak-ng made at
// build time, brought to the station sounds' rate and level.
//
// Single-threaded; used only by the build-time generator and its tests.

#include "station_sounds.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace tremlo::tools {

// The announcements and the words espeak-ng speaks for them. The words are
// in kana with spaces between phrases: espeak-ng's Japanese voice reads kana
// well, but spells kanji out as foreign letters.
struct Announcement {
    const char* fileName;
    const char* words;
};

inline constexpr Announcement kAnnouncements[] = {
    // ドアが閉まります。ご注意ください。
    {"door.wav", "ドアが しまります。 ごちゅうい ください。"},
    // 駆け込み乗車は危険です。おやめください。
    {"Door/駆け込み乗車.wav", "かけこみ じょうしゃは きけんです。 おやめ ください。"},
};

// Reads a WAVE file of speech, resamples it to kStationRate, levels its peak
// to -3 dBFS and gives it a soft start and end. Nothing on failure, with the
// reason in error.
std::optional<StationSound> announcementFrom(const std::filesystem::path& speech,
                                             const std::string& fileName, std::string& error);

// Has espeak-ng speak each announcement and writes it under folder, brought
// to the station sounds' form by announcementFrom. False, with the reason in
// error, when espeak-ng is missing or fails.
bool writeAnnouncements(const std::filesystem::path& folder,
                        std::span<const Announcement> announcements, std::string& error);

} // namespace tremlo::tools
