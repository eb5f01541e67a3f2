#include "formats/loop_export.h"

#include "audio/chip.h"
#include "edit/intro_loop.h"
#include "edit/loop_facts.h"
#include "edit/optimize.h"
#include "formats/ym.h"
#include "song/song.h"

namespace {

constexpr int STATE_REGS = REG_ENV_COARSE + 1;  // registers 0..12

// Registers 0..12 as the dump's writes leave them before frame f.
void regs_before(const RegisterDump& dump, uint32_t f, uint8_t regs[STATE_REGS])
{
    std::fill(regs, regs + STATE_REGS, uint8_t{0});
    for (uint32_t i = 0; i < dump.begin(f); ++i)
        if (dump.writes[i].reg < STATE_REGS)
            regs[dump.writes[i].reg] = dump.writes[i].value & reg_mask[dump.writes[i].reg];
}

// Frames 0 .. start + period - 1 of the dump, the loop frame setting what
// the end of the pass leaves otherwise.
RegisterDump intro_and_pass(RegisterDump dump, uint32_t start, uint32_t period)
{
    const uint32_t end = start + period;
    dump.writes.resize(dump.begin(end));
    dump.starts.resize(end + 1);
    uint8_t at_start[STATE_REGS], at_end[STATE_REGS];
    regs_before(dump, start, at_start);
    regs_before(dump, end, at_end);
    bool written[STATE_REGS] = {};
    for (uint32_t i = dump.begin(start); i < dump.end(start); ++i)
        if (dump.writes[i].reg < STATE_REGS)
            written[dump.writes[i].reg] = true;
    std::vector<RegWrite> extra;
    for (int r = 0; r < STATE_REGS; ++r)
        if (!written[r] && at_start[r] != at_end[r])
            extra.push_back(RegWrite{static_cast<uint8_t>(r), at_start[r]});
    dump.writes.insert(dump.writes.begin() + dump.begin(start), extra.begin(), extra.end());
    for (uint32_t f = start + 1; f < dump.starts.size(); ++f)
        dump.starts[f] += static_cast<uint32_t>(extra.size());
    return dump;
}

// The whole song without a loop point, and the note why.
SongExport whole(const QByteArray& note)
{
    SongExport out;
    out.dump = optimized_dump();
    out.notes.append(note);
    return out;
}

QByteArray without(const QByteArray& why)
{
    return "written without a loop: " + why;
}

}  // namespace

SongExport export_with_loop(uint32_t start, uint32_t period)
{
    if (period == 0)
        return whole(without("no loop chosen"));
    if (!loop_chains(start, period))
        return whole(without("the song does not repeat exactly with period " + QByteArray::number(period)
                             + " from frame " + QByteArray::number(start)));
    const LoopFacts facts = loop_facts(start, start, period);
    if (!facts.to_end)
        return whole(without("the loop does not run to the song's end; " + left_out_text(facts)));
    SongExport out;
    out.dump = intro_and_pass(optimized_dump(), start, period);
    out.has_loop = true;
    out.loop_frame = start;
    return out;
}

SongExport export_with_auto_loop()
{
    const std::vector<LoopCandidate> loops = find_loops(LOOP_MIN_FRAMES);
    uint32_t start = 0;
    const int k = default_loop(loops, &start);
    if (loops.empty())
        return whole(without("the song does not repeat itself for 5 s or more"));
    if (k < 0 && loops.front().to_end)
        return whole(without("the song never repeats exactly enough for an intro and a loop that chain"));
    if (k < 0)
        return whole(no_loop_text(loops) + "; written without a loop");
    return export_with_loop(start, loops[k].period);
}

QByteArray export_bytes(const SongExport& song, DumpInfo info, bool ym, VgmChip chip)
{
    info.frame_rate = FRAME_RATE;
    info.has_loop = song.has_loop;
    info.loop_frame = song.loop_frame;
    return ym ? ym_write(song.dump, info) : vgm_write(song.dump, info, chip);
}
