// Loading the largest song the program holds: FRAMES_MAX_LEN - 1 frame
// ends with 15 writes each, 13,499,985 writes in a file of about 28 MB.
#include "song/psg_read.h"
#include "song/song.h"

#include "max_song.h"

#include <benchmark/benchmark.h>

namespace {

void load_max_song(benchmark::State& state)
{
    QTemporaryFile& file = max_song();
    const QByteArray path = file.fileName().toUtf8();
    for (auto _ : state) {
        if (psg_read(path.constData(), 0, true) != READ_COMPLETE || frame_count != FRAMES_MAX_LEN - 1
            || event_count != (FRAMES_MAX_LEN - 1) * WRITES_PER_FRAME) {
            state.SkipWithError("the song did not load whole");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * file.size());
    state.counters["writes"] = event_count;
    state.counters["writes_per_s"]
        = benchmark::Counter(static_cast<double>(event_count) * static_cast<double>(state.iterations()),
                             benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(load_max_song)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
