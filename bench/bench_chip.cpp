// Cost of one rendered frame of the chip model and of one playback tick
// (queue a song frame, seek the slider, render), which the 20 ms clock must
// fit into with plenty of room.
#include "audio/chip.h"
#include "audio/fifo.h"
#include "audio/playback.h"
#include "song/song.h"

#include <benchmark/benchmark.h>
#include <cstring>

namespace {

// Everything switched on: three tones, noise drawn at every sample and a
// fast triangle envelope on A and C.
void queue_busy_frame(uint32_t f)
{
    const uint8_t regs[14] = {static_cast<uint8_t>(100 + f % 50), 0, 211, 1, 57, 0, 1, 0x00, 0x10, 15, 0x10, 3, 0, 14};
    for (uint8_t r = 0; r < 14; ++r)
        reg_queue_push(r, regs[r]);
}

void BM_chip_render_frame(benchmark::State& state)
{
    chip_reset();
    uint32_t f = 0;
    for (auto _ : state) {
        queue_busy_frame(f++);
        chip_render_frame();
        benchmark::DoNotOptimize(frame_buf);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_chip_render_frame);

void BM_chip_render_frame_no_writes(benchmark::State& state)
{
    chip_reset();
    queue_busy_frame(0);
    chip_render_frame();
    for (auto _ : state) {
        chip_render_frame();
        benchmark::DoNotOptimize(frame_buf);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_chip_render_frame_no_writes);

// A generated song of 3000 frames: every frame moves the three tones and the
// amplitudes, every 16th also writes the envelope. The frame records hold
// the register image at each frame's start, as the reader builds them.
constexpr uint32_t SONG_FRAMES = 3000;

void make_song()
{
    uint8_t image[16] = {};
    event_count = 0;
    for (uint32_t f = 0; f < SONG_FRAMES; ++f) {
        std::memcpy(frames[f].regs, image, sizeof image);
        frames[f].first_event = music + event_count;
        const uint8_t writes[][2] = {
            {0, static_cast<uint8_t>(f * 7)},
            {1, static_cast<uint8_t>(f % 3)},
            {2, static_cast<uint8_t>(f * 13)},
            {3, 1},
            {4, static_cast<uint8_t>(f * 3)},
            {5, 0},
            {6, static_cast<uint8_t>(f % 32)},
            {7, static_cast<uint8_t>(f % 2 ? 0x30 : 0x00)},
            {8, 0x10},
            {9, static_cast<uint8_t>(f % 16)},
            {10, 12},
            {11, static_cast<uint8_t>(f % 40)},
            {12, 0},
            {13, 10},
        };
        const uint32_t n = f % 16 == 0 ? 14 : 11;
        for (uint32_t k = 0; k < n; ++k) {
            music[event_count++] = MusicEvent{writes[k][0], writes[k][1], f};
            image[writes[k][0]] = writes[k][1];
        }
    }
    std::memcpy(frames[SONG_FRAMES].regs, image, sizeof image);
    frames[SONG_FRAMES].first_event = music + event_count;
    frame_count = SONG_FRAMES;
}

void rewind_song()
{
    play_pos = 0;
    play_event = music;
    playing = 1;
}

void slider_moved(uint32_t p)
{
    seek_play(p);
}

void BM_play_tick(benchmark::State& state)
{
    make_song();
    chip_reset();
    reg_queue_len = 0;
    rewind_song();
    for (auto _ : state) {
        if (!play_tick(slider_moved)) {
            rewind_song();
            play_tick(slider_moved);
        }
        benchmark::DoNotOptimize(frame_buf);
        benchmark::ClobberMemory();
    }
    playing = 0;
}
BENCHMARK(BM_play_tick);

// The tick as the application runs it, with the frame handed to the audio
// FIFO and taken out again as the audio device would.
void BM_play_tick_with_fifo(benchmark::State& state)
{
    static uint8_t pulled[FRAME_BYTES];
    make_song();
    chip_reset();
    reg_queue_len = 0;
    fifo_clear();
    rewind_song();
    for (auto _ : state) {
        if (!play_tick(slider_moved)) {
            rewind_song();
            play_tick(slider_moved);
        }
        fifo_push_block(frame_buf, FRAME_BYTES);
        fifo_read(pulled, FRAME_BYTES);
        benchmark::DoNotOptimize(pulled);
        benchmark::ClobberMemory();
    }
    playing = 0;
    fifo_clear();
}
BENCHMARK(BM_play_tick_with_fifo);

}  // namespace

BENCHMARK_MAIN();
