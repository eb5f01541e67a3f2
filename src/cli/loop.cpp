// loop: an intro and a loop that chain exactly, cut out of a recording.
#include "cli/cli.h"

#include "cli/json.h"
#include "edit/intro_loop.h"
#include "edit/loop_facts.h"
#include "edit/names.h"
#include "song/song.h"
#include "song/song_time.h"

#include <cstdio>

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
    const uint32_t named_start = *args.start, named_period = *args.period;
    if (named_start > frame_count)
        return past_the_end("--start", named_start);
    if (named_period > frame_count - named_start)
        return past_the_end("--start + --period", uint64_t{named_start} + named_period);
    const QByteArray refused = loop_refusal_text(named_start, named_period);
    if (!refused.isEmpty())
        return not_exact(args.files.first() + ": " + refused);
    *start = named_start;
    *period = named_period;
    return 0;
}

// The loop: by default the best candidate that runs to the song's end,
// --pick N the N-th candidate; or 0 with start, period and the candidate's
// start set.
int candidate_loop(const Arguments& args, uint32_t* candidate, uint32_t* start, uint32_t* period)
{
    const uint32_t min_frames = min_loop_frames(args);
    const std::vector<LoopCandidate> loops = find_loops(min_frames);
    if (loops.empty())
        return not_exact(args.files.first() + ": the song does not repeat itself for " + json_seconds(min_frames)
                         + " s or more");
    if (args.pick && *args.pick > loops.size()) {
        const QByteArray text = "--pick " + QByteArray::number(*args.pick) + ": the song has "
            + QByteArray::number(static_cast<qulonglong>(loops.size()))
            + (loops.size() == 1 ? " loop candidate" : " loop candidates");
        return usage_error(text.constData());
    }
    int k = 0;
    if (args.pick) {
        k = static_cast<int>(*args.pick) - 1;
        if (!exact_start(loops[k], start))
            k = -1;
    } else {
        k = default_loop(loops, start);
        if (k < 0 && !loops.front().to_end)
            return not_exact(args.files.first() + ": " + no_loop_text(loops));
    }
    if (k < 0)
        return not_exact(args.files.first() + ": "
                         + (args.pick ? "loop " + QByteArray::number(*args.pick) : QByteArray("the song"))
                         + " never repeats exactly enough for an intro and a loop that chain");
    *candidate = loops[k].start;
    *period = loops[k].period;
    return 0;
}

}  // namespace

int run_loop(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    uint32_t candidate = 0, start = 0, period = 0;
    if (const int status
        = args.start ? named_loop(args, &start, &period) : candidate_loop(args, &candidate, &start, &period))
        return status;
    if (args.start)
        candidate = start;
    const LoopFacts facts = loop_facts(candidate, start, period);
    const QByteArray head = head_name(args.output);
    if (!save_intro_and_loop(args.output, start, period))
        return EXIT_ERROR;
    if (!facts.to_end)
        fprintf(stderr, "trelvane-cli: warning: %s: the loop does not run to the song's end; %s\n",
                args.files.first().constData(), left_out_text(facts).constData());
    if (args.json) {
        print_line(
            JsonObject()
                .add_string("intro", intro_name(head))
                .add_string("loop", loop_name(head))
                .add("start", start)
                .add("period", period)
                .add_raw("seconds", json_seconds(period))
                .add_raw("period_seconds", json_seconds(period))
                .add("to_end", facts.to_end)
                .add("candidate_start", facts.candidate_start)
                .add("moved_by", start - facts.candidate_start)
                .add_raw("reason",
                         start > facts.candidate_start ? json_string(start_moved_text(facts)) : QByteArray("null"))
                .add("loop_alone_exact", facts.alone_exact)
                .text());
        return 0;
    }
    print_line(intro_name(head));
    print_line(loop_name(head));
    print_line("start " + frame_and_time(start) + ", period " + frame_and_time(period));
    if (start > facts.candidate_start)
        print_line(start_moved_text(facts));
    print_line(alone_text(facts));
    return 0;
}
