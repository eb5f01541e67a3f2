// Checks and captures for tests of the core.
#pragma once

#include "audio/chip.h"
#include "io/report.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

struct Write {
    int reg;
    int value;
    unsigned frame;
    bool operator==(const Write& o) const { return reg == o.reg && value == o.value && frame == o.frame; }
};

// The song's valid writes, in order.
std::vector<Write> song_writes();
// The writes of frame f, walked by the frame rule.
std::vector<Write> frame_writes(unsigned f);
// Empty when the song model's invariants hold, otherwise what is wrong.
QString song_invariant_violation();

// The song played from frame `from` to its end, as render does; playback
// is off afterwards.
QByteArray rendered(uint32_t from = 0);

// The chip after playing frames 0 .. frame - 1 from a reset chip, one tick
// at a time as playback does (the frame's writes, then the next image), with
// nothing skipped: what a seek must reach.
ChipState replayed_state(uint32_t frame);
// Empty when the two states are the same, otherwise the first difference.
QString chip_difference(const ChipState& a, const ChipState& b);

// Records what the core reports instead of showing it.
struct Reports {
    QStringList errors;             // the error boxes' texts
    std::vector<Failure> failures;  // and what each was about
    QByteArray diagnostics;         // what the file layer printed
    int song_reads = 0;
};
// Installs recording front-end hooks and returns the record (cleared).
Reports& capture_reports();
