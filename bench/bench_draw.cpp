// Drawing the song view: what a song change costs (the per-frame sketch of
// the channels) and a redraw of the whole largest song at the window's
// width, which must fit well within one 20 ms tick of the playback clock;
// a zoomed redraw, as the view does when it follows playback.
#include "draw/song_picture.h"
#include "song/psg_read.h"
#include "song/song.h"

#include "max_song.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace {

bool load_largest()
{
    static bool loaded = psg_read(max_song().fileName().toUtf8().constData(), 0, true) == READ_COMPLETE;
    return loaded;
}

SongSketch& sketch()
{
    static SongSketch s;
    if (s.frames() != frame_count)
        s.build();
    return s;
}

void sketch_largest_song(benchmark::State& state)
{
    if (!load_largest())
        state.SkipWithError("the song did not load");
    SongSketch s;
    for (auto _ : state)
        s.build();
    state.counters["frames"] = s.frames();
}

// span 0: the whole song.
void redraw(benchmark::State& state, uint32_t span)
{
    if (!load_largest())
        state.SkipWithError("the song did not load");
    const SongSketch& s = sketch();
    const int width = 1200, height = 220;
    QImage image(width, height, QImage::Format_RGB32);
    FrameScale scale;
    scale.left = 10;
    scale.width = width - 20;
    scale.span = span ? span : frame_count;
    scale.first = span ? frame_count / 2 : 0;
    PictureContent content;
    LoopCandidate loop{1000, 5000, frame_count - 6000, true};
    content.loop = &loop;
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter p(&image);
        draw_song(p, image.rect(), view_layout(height, 10), scale, s, content);
    }
}

void redraw_whole_largest_song(benchmark::State& state)
{
    redraw(state, 0);
}

void redraw_zoomed_to_8_px_a_frame(benchmark::State& state)
{
    redraw(state, 1180 / 8);
}

}  // namespace

BENCHMARK(sketch_largest_song)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(redraw_whole_largest_song)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(redraw_zoomed_to_8_px_a_frame)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qt_argc = 1;
    char name[] = "bench_draw";
    char* qt_argv[] = {name, nullptr};
    QGuiApplication app(qt_argc, qt_argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
