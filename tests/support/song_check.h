// Checks and captures for tests of the core.
#pragma once

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

// Records what the core reports instead of showing it.
struct Reports {
    QStringList errors;
    QByteArray diagnostics;  // what the file layer printed
    int song_reads = 0;
};
// Installs recording front-end hooks and returns the record (cleared).
Reports& capture_reports();
