// loops: where the recording plays part of itself again.
#include "cli/cli.h"

#include "cli/json.h"
#include "edit/loop_facts.h"
#include "edit/loops.h"
#include "song/song.h"
#include "song/song_time.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint32_t DEFAULT_MIN_MS = 5000;
constexpr uint32_t MS_PER_FRAME = 1000 / FRAME_RATE;

QByteArray frame_and_time(uint32_t frame)
{
    char time[16];
    return QByteArray::number(frame) + " (" + format_time(frame, time) + ")";
}

}  // namespace

uint32_t min_loop_frames(const Arguments& args)
{
    const uint32_t ms = args.min_ms.value_or(DEFAULT_MIN_MS);
    return static_cast<uint32_t>((uint64_t{ms} + MS_PER_FRAME - 1) / MS_PER_FRAME);  // no wrap near the largest
}

int run_loops(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    std::vector<LoopCandidate> loops = find_loops(min_loop_frames(args));
    if (args.to_end)
        loops.erase(std::remove_if(loops.begin(), loops.end(), [](const LoopCandidate& c) { return !c.to_end; }),
                    loops.end());
    if (args.json) {
        QList<QByteArray> items;
        for (const LoopCandidate& c : loops)
            items.append(JsonObject()
                             .add("start", c.start)
                             .add("period", c.period)
                             .add("repeat", c.start + c.period)
                             .add("to_end", c.to_end)
                             .add_raw("seconds", json_seconds(c.length))
                             .add_raw("repeat_seconds", json_seconds(c.length))
                             .text());
        print_line(json_array(items, true));
    } else if (loops.empty()) {
        print_line("Not found!");
    }
    for (const LoopCandidate& c : args.json ? std::vector<LoopCandidate>() : loops) {
        char length[16];
        print_line("start " + frame_and_time(c.start) + ", period " + frame_and_time(c.period) + ", repeat "
                   + frame_and_time(c.start + c.period) + ", for " + QByteArray::number(c.length)
                   + (c.length == 1 ? " frame (" : " frames (") + format_time(c.length, length) + ")"
                   + (c.to_end ? " " : ", ") + candidate_reach_text(c));
    }
    return loops.empty() ? EXIT_NOT_FOUND : 0;
}
