// Cutting the largest song the program holds in memory: the frames after
// the cut go to a temporary file and are read back as the song.
#include "edit/editing.h"
#include "song/psg_read.h"
#include "song/song.h"

#include <QTemporaryFile>
#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t WRITES_PER_FRAME = MUSIC_MAX_LEN / FRAMES_MAX_LEN;  // 15

// FRAMES_MAX_LEN - 1 frame ends with 15 writes each.
QByteArray max_song_path()
{
    static QTemporaryFile file;
    if (!file.isOpen() && file.open()) {
        QByteArray bytes("PSG\x1a", 4);
        bytes.append(12, '\0');
        for (uint32_t frame = 0; frame < FRAMES_MAX_LEN - 1; ++frame) {
            for (uint32_t k = 0; k < WRITES_PER_FRAME; ++k) {
                bytes.append(static_cast<char>(k % 14));
                bytes.append(static_cast<char>((frame * 7 + k) & 0xFF));
            }
            bytes.append('\xff');
        }
        file.write(bytes);
        file.flush();
    }
    return file.fileName().toUtf8();
}

// Cut at frame 1: all but one frame is written and read back.
void cut_max_song(benchmark::State& state)
{
    const QByteArray path = max_song_path();
    for (auto _ : state) {
        state.PauseTiming();
        const bool loaded = psg_read(path.constData(), 0, true) == READ_COMPLETE;
        cut_pos = 1;
        state.ResumeTiming();
        if (!loaded || !cut_song() || frame_count != FRAMES_MAX_LEN - 2 ||
            event_count != (FRAMES_MAX_LEN - 2) * WRITES_PER_FRAME) {
            state.SkipWithError("the cut did not give the expected song");
            break;
        }
    }
    state.counters["writes"] = event_count;
}

}  // namespace

BENCHMARK(cut_max_song)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
