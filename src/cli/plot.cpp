// plot: a picture of the song. For each channel its notes over time (the
// tone period as pitch, stronger where louder), its level, where it uses
// noise and the envelope; a time axis in seconds, marks at chosen frames
// and the loop `loop` takes. The drawing is src/draw's, which the window's
// song view shares; this is the side of it that only trelvane-cli-draw, the
// helper trelvane-cli runs for plot, links (see plot_launch.cpp).
#include "cli/cli.h"

#include "draw/song_picture.h"
#include "edit/intro_loop.h"
#include "edit/loops.h"
#include "io/save.h"
#include "song/song.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <vector>

namespace {

constexpr uint32_t DEFAULT_WIDTH = 1200;

// Qt's own notes, on standard error, but for the one about a missing
// runtime folder, which a picture does not need.
void print_qt_message(QtMsgType, const QMessageLogContext&, const QString& text)
{
    if (text.startsWith(QLatin1String("QStandardPaths:")))
        return;
    fail(text.toLocal8Bit());
}

// The platform plugin draws text; without a display the offscreen one does.
QGuiApplication& gui()
{
    qInstallMessageHandler(print_qt_message);
    static int argc = 1;
    static char name[] = "trelvane-cli";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
    return app;
}

}  // namespace

int run_plot(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    for (uint32_t mark : args.marks)
        if (mark > frame_count)
            return past_the_end("--mark", mark);
    gui();

    // The loop of `loop`: the best candidate that runs to the end, from
    // where its registers repeat too.
    const std::vector<LoopCandidate> loops = find_loops(min_loop_frames(args));
    uint32_t start = 0;
    const int best = default_loop(loops, &start);
    LoopCandidate loop{};
    if (best >= 0)
        loop = LoopCandidate{start, loops[best].period, frame_count - start - loops[best].period, true};
    PictureContent content;
    content.title = args.files.first();
    content.marks.assign(args.marks.begin(), args.marks.end());
    content.loop = best >= 0 ? &loop : nullptr;
    SongSketch sketch;
    sketch.build();
    const QImage image = plot_picture(static_cast<int>(args.width.value_or(DEFAULT_WIDTH)), sketch, content);

    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!image.save(&png, "PNG"))
        return fail("can't make the picture");
    QString reason;
    if (!save_file(args.output, png.data(), &reason))
        return fail("can't write " + args.output + ": " + reason.toLocal8Bit());
    return 0;
}
