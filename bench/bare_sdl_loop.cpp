// The baseline of the loop benchmark: the least an SDL program does to loop a
// 16-bit WAVE file on the sound server, with the program's own output format,
// period and server buffering, and its resampler where the file's rate is not
// the server's.
//
//     bare_sdl_loop FILE.wav
//
// Runs until it is ended with a signal.

#include <SDL.h>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <samplerate.h>
#include <vector>

namespace {

struct Loop {
    std::vector<std::int16_t> samples;
    int channels = 0;
    int rate = 0;
    std::size_t frames = 0;
    std::size_t position = 0;
    std::vector<float> input;
    std::vector<float> resampled; // sized for the longest period before the start
    SRC_STATE* resampler = nullptr;
};

std::uint32_t little(const char* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

// The plain RIFF form only: fmt with 16-bit PCM, then data.
bool readWave(const char* path, Loop& loop) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = little(&bytes[at + 4], 4);
        const char* body = &bytes[at + 8];
        if (std::memcmp(&bytes[at], "fmt ", 4) == 0) {
            loop.channels = static_cast<int>(little(body + 2, 2));
            loop.rate = static_cast<int>(little(body + 4, 4));
            if (little(body, 2) != 1 || little(body + 14, 2) != 16)
                return false;
        } else if (std::memcmp(&bytes[at], "data", 4) == 0) {
            const std::size_t count = std::min<std::size_t>(size, bytes.size() - at - 8) / 2;
            loop.samples.resize(count);
            std::memcpy(loop.samples.data(), body, count * 2);
        }
        at += 8 + size + (size & 1);
    }
    loop.frames = loop.channels > 0 ? loop.samples.size() / loop.channels : 0;
    return loop.frames > 0 && loop.channels <= 2;
}

long feed(void* data, float** out) {
    auto& loop = *static_cast<Loop*>(data);
    const std::size_t n = std::min<std::size_t>(1024, loop.frames - loop.position);
    for (std::size_t i = 0; i < n * loop.channels; ++i)
        loop.input[i] = loop.samples[loop.position * loop.channels + i] * (1.0f / 32768.0f);
    loop.position = (loop.position + n) % loop.frames;
    *out = loop.input.data();
    return static_cast<long>(n);
}

void render(void* data, Uint8* stream, int bytes) {
    auto& loop = *static_cast<Loop*>(data);
    auto* out = reinterpret_cast<float*>(stream);
    const long frames = bytes / static_cast<long>(2 * sizeof(float));
    std::vector<float>& resampled = loop.resampled;
    const long got =
        src_callback_read(loop.resampler, 48000.0 / loop.rate, frames, resampled.data());
    for (long i = 0; i < frames; ++i) {
        const float left = i < got ? resampled[i * loop.channels] : 0.0f;
        const float right = i < got ? resampled[i * loop.channels + loop.channels - 1] : 0.0f;
        out[i * 2] = left;
        out[i * 2 + 1] = right;
    }
}

volatile std::sig_atomic_t ended = 0;

} // namespace

int main(int argc, char* argv[]) {
    Loop loop;
    if (argc != 2 || !readWave(argv[1], loop)) {
        std::fprintf(stderr, "usage: bare_sdl_loop FILE.wav (16-bit PCM, mono or stereo)\n");
        return 2;
    }
    loop.input.resize(1024 * 2);
    loop.resampled.resize(8192 * 2);
    int error = 0;
    loop.resampler = src_callback_new(&feed, SRC_SINC_FASTEST, loop.channels, &error, &loop);
    std::signal(SIGTERM, [](int) { ended = 1; });
    std::signal(SIGINT, [](int) { ended = 1; });
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (!loop.resampler || SDL_Init(SDL_INIT_AUDIO) != 0)
        return 1;
    SDL_AudioSpec want{};
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 256;
    want.callback = &render;
    want.userdata = &loop;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0)
        return 1;
    SDL_PauseAudioDevice(device, 0);
    while (!ended)
        SDL_Delay(100);
    SDL_CloseAudioDevice(device);
    src_delete(loop.resampler);
    SDL_Quit();
    return 0;
}
