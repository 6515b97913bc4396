#pragma once

// Loading sounds: one WAVE file into a library buffer (LoadSoundBuffer), and
// a new melody in place of the old one (LoadSoundFile).
//
// A melody is read through a temporary copy in the work folder named by the
// process ("~tremlo1234.mid"), so the file the user chose is never held open
// by the library. What was loaded is shown in the main window's caption and on
// the status panel; failures are told in message boxes.
//
// Thread: the user-interface thread.

#include "playback_state.h"
#include "sound_library.h"
#include "sound_prefetch.h"
#include "views.h"
#include "wave_loader.h"

#include <string>

namespace tremlo {

struct LoaderViews {
    SwitchView& switchView;
    MainWindowView& mainWindow;
    StatusDisplay& status;
    UserFeedback& feedback;
    StatusLamps& lamps;
};

class SoundLoader {
public:
    // `workFolder` holds the temporary copies: the program folder, or the
    // user's cache folder when the program folder is not writable.
    SoundLoader(PlaybackState& state, sound::SoundLibrary& library, LoaderViews views,
                std::string workFolder, long processNumber);

    sound::SoundHandle LoadSoundBuffer(const std::string& path, int flags);
    // Sounds read ahead, which LoadSoundBuffer takes instead of reading their
    // files again; null for none.
    void usePrefetched(SoundPrefetch* prefetch) { m_prefetch = prefetch; }
    // Never throws: a melody too long for memory, or an allocation that
    // fails, is refused with the load-failure box.
    void LoadSoundFile(const std::string& path);
    // The most memory a sound's decoded samples may take
    // (sound::sampleMemoryLimit() unless told).
    void limitSampleMemory(std::size_t bytes) { m_sampleMemoryLimit = bytes; }

    // The temporary copy for a lower-case ending such as ".mid".
    std::string temporaryCopyPath(const std::string& ending) const;
    const std::string& workFolder() const { return m_workFolder; }
    // Removes the temporary copies ("~tremlo" and a number) left in the work
    // folder by runs of the program that have ended.
    void deleteCopiesOfEndedRuns();

private:
    bool pastMemoryLimit(const std::string& path) const;
    sound::DecodeResult readSound(const std::string& path);
    void loadMelody(const std::string& path);
    void releaseMelody();
    void deleteTemporaryCopies(const std::string& madeCopy);
    void showLoadedMelody(const std::string& path, bool music);
    void showLoadFailure(const std::string& path);

    PlaybackState& m_state;
    sound::SoundLibrary& m_library;
    LoaderViews m_views;
    std::string m_workFolder;
    long m_processNumber;
    SoundPrefetch* m_prefetch = nullptr;
    std::size_t m_sampleMemoryLimit;
};

// The last four characters of a path, in lower case: what decides its kind.
std::string endingOf(const std::string& path);
// Whether a path names a melody: its ending (any letter case) is ".wav",
// ".mid", ".sgt", or one of the compressed files' ".mp3", ".ogg", ".oga",
// ".opus", ".flac". The windows take only these from a drop.
bool isMelodyPath(const std::string& path);
// A melody decoded into a sound buffer: WAVE or compressed, not MIDI or a
// segment. The door and ambience folders list these.
bool isSampledSoundPath(const std::string& path);
// The part after the last "/", or the whole path when it has none.
std::string fileNameOf(const std::string& path);
// The file name, or for more than 24 characters its first 20, " ... " and the
// lower-case ending.
std::string shortNameOf(const std::string& fileName);
// "4.500 秒": milliseconds as seconds with three decimals and grouped thousands.
std::string formatSeconds(std::int64_t ms);
// "4.500 秒, 44,100 Hz, 16 ビット, ステレオ"; with a codec, "4.500 秒, 44,100 Hz,
// MP3, ステレオ".
std::string formatWaveInfo(std::int64_t ms, int samplesPerSecond, int bitsPerSample, int channels,
                           const std::string& codec = {});

} // namespace tremlo
