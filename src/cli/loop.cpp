// loop: an intro and a loop that chain exactly, cut out of a recording.
#include "cli/cli.h"

#include "cli/json.h"
#include "edit/intro_loop.h"
#include "edit/names.h"
#include "song/frontend.h"
#include "song/song.h"

namespace {

QByteArray frame_and_time(uint32_t frame)
{
    char time[16];
    return QByteArray::number(frame) + " (" + format_time(frame, time) + ")";
}

int not_exact(const QByteArray& text)
{
    fail(text);
    return EXIT_NOT_FOUND;
}

// The loop the command line names, checked; or 0 with start and period set.
int named_loop(const Arguments& args, uint32_t* start, uint32_t* period)
{
    if (args.start > frame_count)
        return past_the_end("--start", args.start);
    if (args.period > frame_count - args.start)
        return past_the_end("--start + --period", uint64_t{args.start} + args.period);
    uint32_t better = UINT32_MAX;
    if (!loop_chains(args.start, args.period, &better)) {
        QByteArray text = args.files.first() + ": the song does not repeat exactly with period " +
                          QByteArray::number(args.period) + " from frame " + QByteArray::number(args.start);
        if (better != UINT32_MAX)
            text += "; it does from frame " + frame_and_time(better) + " on";
        return not_exact(text);
    }
    *start = args.start;
    *period = args.period;
    return 0;
}

}  // namespace

int run_loop(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    uint32_t start = 0, period = 0;
    if (args.has_start) {
        if (const int status = named_loop(args, &start, &period))
            return status;
    } else {
        const uint32_t min_frames = min_loop_frames(args);
        const std::vector<LoopCandidate> loops = find_loops(min_frames);
        if (loops.empty())
            return not_exact(args.files.first() + ": the song does not repeat itself for " +
                             json_seconds(min_frames) + " s or more");
        if (args.has_pick && args.pick > loops.size()) {
            const QByteArray text = "--pick " + QByteArray::number(args.pick) + ": the song has " +
                                    QByteArray::number(static_cast<qulonglong>(loops.size())) +
                                    (loops.size() == 1 ? " loop candidate" : " loop candidates");
            return usage_error(text.constData());
        }
        if (!choose_loop(args.has_pick ? static_cast<int>(args.pick) : 0, &start, &period, min_frames))
            return not_exact(args.files.first() + ": " +
                             (args.has_pick ? "loop " + QByteArray::number(args.pick) : QByteArray("the song")) +
                             " never repeats exactly enough for an intro and a loop that chain");
    }
    const QByteArray head = head_name(args.output);
    if (!save_intro_and_loop(args.output, start, period))
        return EXIT_ERROR;
    if (args.json) {
        print_line(JsonObject()
                       .add_string("intro", intro_name(head))
                       .add_string("loop", loop_name(head))
                       .add("start", start)
                       .add("period", period)
                       .add_raw("seconds", json_seconds(period))
                       .text());
        return 0;
    }
    print_line(intro_name(head));
    print_line(loop_name(head));
    print_line("start " + frame_and_time(start) + ", period " + frame_and_time(period));
    return 0;
}
