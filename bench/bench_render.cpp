// Rendering a five-minute song (15,000 frames) through the playback step
// and the chip model, as the application's clock and the render command do.
#include "audio/chip.h"
#include "audio/playback.h"
#include "song/psg_read.h"
#include "song/song.h"

#include <QTemporaryFile>
#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t SONG_FRAMES = 5 * 60 * FRAME_RATE;

void put(QByteArray& s, int reg, uint32_t value)
{
    s.append(static_cast<char>(reg));
    s.append(static_cast<char>(value & 0xFF));
}

// Three moving tones, noise on channel C every fourth frame and an envelope
// restarted every sixteenth: about ten writes a frame.
bool load_song()
{
    QByteArray s("PSG\x1a", 4);
    s.append(12, '\0');
    for (uint32_t f = 0; f < SONG_FRAMES; ++f) {
        for (int c = 0; c < 3; ++c) {
            const uint32_t period = 60 + (f * (c + 3) % 400);
            put(s, 2 * c, period);
            put(s, 2 * c + 1, period >> 8);
            put(s, 8 + c, c == 1 ? 0x10 : 8 + f % 8);
        }
        if (f % 4 == 0) {
            put(s, 6, f % 32);
            put(s, 7, f % 8 == 0 ? 0x18 : 0x38);
        }
        if (f % 16 == 0) {
            put(s, 11, f % 200);
            put(s, 12, 0);
            put(s, 13, 8 + f / 16 % 8);
        }
        s.append('\xff');
    }
    QTemporaryFile file;
    if (!file.open() || file.write(s) != s.size() || !file.flush())
        return false;
    return psg_read(file.fileName().toUtf8().constData(), 0, true) == READ_COMPLETE &&
           frame_count == SONG_FRAMES;
}

void move_play_slider(uint32_t p)
{
    seek_play(p);
}

void render_five_minutes(benchmark::State& state)
{
    if (!load_song()) {
        state.SkipWithError("the song did not load");
        return;
    }
    uint64_t checksum = 0;
    for (auto _ : state) {
        chip_reset();
        play_pos = 0;
        play_event = frames[0].first_event;
        playing = 1;
        uint32_t rendered = 0;
        while (play_tick(move_play_slider)) {
            ++rendered;
            checksum += frame_buf[rendered % FRAME_BYTES];
        }
        if (rendered != SONG_FRAMES) {
            state.SkipWithError("wrong number of frames");
            break;
        }
    }
    benchmark::DoNotOptimize(checksum);
    const double seconds_of_sound = SONG_FRAMES / static_cast<double>(FRAME_RATE);
    state.counters["frames_per_s"] = benchmark::Counter(
        static_cast<double>(SONG_FRAMES) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
    state.counters["x_realtime"] = benchmark::Counter(
        seconds_of_sound * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(render_five_minutes)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
