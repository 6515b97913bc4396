#pragma once

// The sound library: WAVE buffers and music segments played on one output device.
//
// How the parts talk: the user-interface thread calls the ds* operations below.
// They change voices and segments held by the Mixer under its lock for a few
// assignments at a time; decoding, file reading and every allocation happen
// before the lock is taken. The output device's thread calls Mixer::render once
// per audio period; it mixes the WAVE voices (resampling where the rate differs
// from the device's) and asks the Sequencer to play the current segment into
// the FluidSynth synthesizer. Playing flags and positions are atomics that the
// audio thread updates and the queries read at once.
//
// Handles are 32-bit; 0 means none. Every operation accepts 0, an unknown or a
// stale handle and does nothing; queries then return 0.
//
// Units: volume in hundredths of a decibel (0 full, -10000 silent); pan as a
// balance from -10000 (right silent) to 10000 (left silent); frequency in
// samples per second (0 restores the buffer's own rate); times in milliseconds
// of the buffer's own rate.
//
// Thread: every operation is called from the one thread that owns the library.

#include "output_device.h"
#include "output_tap.h"
#include "sample_data.h"
#include "sound_handle.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tremlo::sound {

// Filled by dsGetFormat: the buffer's channels (1 or 2), bits per sample and
// samples per second, as its file gave them.
struct WaveFormat {
    std::int32_t channels = 0;
    std::int32_t bitsPerSample = 0;
    std::int32_t samplesPerSecond = 0;
    std::string codec; // a compressed file's codec, shown in place of the bits
};

struct SoundLibraryOptions {
    // SoundFont for MIDI and segments; empty picks the best General MIDI
    // SoundFont installed.
    std::string soundFontPath;
    // Load the SoundFont on the calling thread instead of in the background
    // (tests that render music at once use it).
    bool loadSoundFontNow = false;
    // The background load waits for releaseSoundFont() or waitForMusic(): a
    // program holds it until music is first wanted, so that the load neither
    // competes with the window for the processor nor takes memory for music
    // that never plays.
    bool holdSoundFont = false;
};

class Mixer;
class MusicPart;
class Voice;

class SoundLibrary {
public:
    explicit SoundLibrary(std::unique_ptr<OutputDevice> device, SoundLibraryOptions options = {});
    ~SoundLibrary();
    SoundLibrary(const SoundLibrary&) = delete;
    SoundLibrary& operator=(const SoundLibrary&) = delete;

    // Opens the output device. Non-zero on success, 0 when no output can be opened.
    std::int32_t dsInit2(std::intptr_t window, std::int32_t flags);
    // Non-zero while music can work: the synthesizer is ready, or its
    // SoundFont is still loading in the background (the first call starts
    // that load; later calls cost next to nothing). 0 when there is no
    // SoundFont or the synthesizer could not be made from it (a damaged
    // SoundFont, FluidSynth missing); that outcome is final.
    std::int32_t dsInitMusic();
    // Stops every segment; segments stay loaded and the SoundFont stays in memory.
    void dsQuitMusic();
    // Stops everything, frees every buffer and segment and closes the device.
    void dsQuit();
    // Sound always goes on whichever window has the focus; kept for callers.
    void dsSetGlobalFocus(std::int32_t focus);

    // Decodes a whole WAVE file held in memory; the library keeps its own copy
    // of the samples. 0 for what it cannot decode.
    SoundHandle dsCreateDSB(const void* waveFile, std::size_t bytes, std::int32_t flags);
    void dsFree(SoundHandle& handle);
    // A buffer of samples decoded ahead (decodeWave), as dsCreateDSB would
    // make of their file. Not one of the program's operations.
    SoundHandle createBuffer(std::shared_ptr<const SampleData> samples);
    void dsPlay(SoundHandle handle);
    void dsPlayEx(SoundHandle handle, std::int32_t volume, std::int32_t unused1,
                  std::int32_t unused2);
    void dsPlayLooping(SoundHandle handle);
    void dsStop(SoundHandle handle);
    std::int32_t dsIsPlaying(SoundHandle handle) const;
    void dsSetVolume(SoundHandle handle, std::int32_t volume);
    void dsSetPan(SoundHandle handle, std::int32_t pan);
    void dsSetFrequency(SoundHandle handle, std::int32_t samplesPerSecond);
    void dsSetPositionMSec(SoundHandle handle, std::int32_t ms);
    std::int32_t dsGetPositionMSec(SoundHandle handle) const;
    std::int32_t dsGetBufferMSec(SoundHandle handle) const;
    void dsGetFormat(SoundHandle handle, WaveFormat& format) const;

    // Volume of segment playback.
    void dsSetMasterVolume(std::int32_t volume);

    // Reads a MIDI file (path in the file system's encoding). 0 on failure.
    SoundHandle dsLoadMusicSegment(const std::string& path, std::int32_t flags);
    // Plays the segment from its start, pass after pass, until stopped. One
    // segment sounds at a time: playing another one replaces it.
    void dsPlayMusicSegment(SoundHandle handle, std::int32_t repeats);
    void dsStopMusicSegment(SoundHandle handle);
    void dsFreeMusicSegment(SoundHandle& handle);
    std::int32_t dsIsPlayingMusicSegment(SoundHandle handle) const;
    std::int32_t dsGetLengthMSec(SoundHandle handle) const;
    std::int32_t dsGetSeekMSec(SoundHandle handle) const;

    // Not part of the operations the program uses: the device rate and period
    // (0 while closed), and whether the SoundFont has finished loading.
    int outputRate() const;
    int periodFrames() const;
    bool musicReady() const;
    // Waits until the synthesizer is made or has failed, ending a hold on the
    // SoundFont (a melody loaded now needs it now). True when it is ready.
    bool waitForMusic();
    // The rate a buffer plays at now (dsSetFrequency, or its own rate), in
    // samples per second.
    std::int32_t playbackFrequency(SoundHandle handle) const;
    // Where the current pass of a segment ends, in the segment's milliseconds:
    // the end of its loop when it marks one (every pass ends there), else
    // its length.
    std::int32_t passEndMSec(SoundHandle handle) const;
    // Periods the audio thread gave up as silence because a command held the
    // mixer lock too long.
    std::uint64_t missedPeriods() const;
    // Mixer blocks in which a WAVE buffer played at a rate other than the
    // output's, so went through the resampler.
    std::uint64_t resampledBlocks() const;
    // Hands the output, period by period, to `tap` (null ends it; see
    // Mixer::setOutputTap), and wakes a device resting in quiet so that the
    // tap hears the quiet too.
    void setOutputTap(OutputTap* tap);
    // Lets a held SoundFont load begin (see SoundLibraryOptions).
    void releaseSoundFont();

    // What one operation of the program starts reaches the output together.
    // Between holdStarts() and releaseStarts() a buffer or segment that is
    // started waits unrendered, and a device resting in quiet is not woken;
    // at the release all of them begin in the same period, from where the
    // steps between left them (a position, a pan, a volume). Otherwise a
    // device that writes a start at once would write it before the
    // operation's later steps. Stops and changes to what already sounds act
    // at once, and queries answer at once, as without a hold.
    // holdStarts() is false when a hold is already on, which is then left
    // to whoever began it. Not one of the program's operations.
    bool holdStarts();
    void releaseStarts();

private:
    // Wakes the device for a start, unless starts are held.
    void started();
    void changeVoice(Voice* voice, void (*change)(Voice&, std::int64_t), std::int64_t value);

    std::unique_ptr<OutputDevice> m_device;
    std::unique_ptr<Mixer> m_mixer;
    std::unique_ptr<MusicPart> m_music;
    SoundLibraryOptions m_options;
    int m_rate = 0;
    bool m_holdingStarts = false;
    bool m_changedWhileHolding = false;
};

// Holds the starts of one operation for as long as it lives (see
// SoundLibrary::holdStarts); one made while another holds leaves the release
// to that one.
class StartsTogether {
public:
    explicit StartsTogether(SoundLibrary& library)
        : m_library(library), m_began(library.holdStarts()) {}
    ~StartsTogether() {
        if (m_began)
            m_library.releaseStarts();
    }
    StartsTogether(const StartsTogether&) = delete;
    StartsTogether& operator=(const StartsTogether&) = delete;

private:
    SoundLibrary& m_library;
    bool m_began;
};

} // namespace tremlo::sound
