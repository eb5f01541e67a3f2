// Loading the largest song the program holds: FRAMES_MAX_LEN - 1 frame
// ends with 15 writes each, 13,499,985 writes in a file of about 28 MB.
#include "song/psg_read.h"
#include "song/song.h"

#include <QTemporaryFile>
#include <benchmark/benchmark.h>

namespace {

constexpr uint32_t WRITES_PER_FRAME = MUSIC_MAX_LEN / FRAMES_MAX_LEN;  // 15

// Made once, removed at exit.
QTemporaryFile& max_song()
{
    static QTemporaryFile file;
    if (!file.isOpen() && file.open()) {
        QByteArray bytes("PSG\x1a", 4);
        bytes.append(12, '\0');
        for (uint32_t frame = 0; frame < FRAMES_MAX_LEN - 1; ++frame) {
            for (uint32_t k = 0; k < WRITES_PER_FRAME; ++k) {
                bytes.append(static_cast<char>(k % 14));
                bytes.append(static_cast<char>((frame + k) & 0xFF));
            }
            bytes.append('\xff');
        }
        file.write(bytes);
        file.flush();
    }
    return file;
}

void load_max_song(benchmark::State& state)
{
    QTemporaryFile& file = max_song();
    const QByteArray path = file.fileName().toUtf8();
    for (auto _ : state) {
        if (psg_read(path.constData(), 0, true) != READ_COMPLETE ||
            frame_count != FRAMES_MAX_LEN - 1 ||
            event_count != (FRAMES_MAX_LEN - 1) * WRITES_PER_FRAME) {
            state.SkipWithError("the song did not load whole");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * file.size());
    state.counters["writes"] = event_count;
    state.counters["writes_per_s"] = benchmark::Counter(
        static_cast<double>(event_count) * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(load_max_song)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
