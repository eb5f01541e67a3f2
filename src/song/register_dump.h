// A song as the chip receives it, frame by frame: what the PSG, YM and VGM
// files share, and the one encoder of the PSG byte form.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

struct RegWrite {
    uint8_t reg;
    uint8_t value;
};

// Register writes in frames, numbered as in a PSG file: frame f holds
// writes[starts[f] .. starts[f + 1]) and the last frame, number frames(),
// holds the writes after the last frame end (usually none).
struct RegisterDump {
    std::vector<RegWrite> writes;
    std::vector<uint32_t> starts{0};

    uint32_t frames() const { return static_cast<uint32_t>(starts.size() - 1); }
    uint32_t begin(uint32_t f) const { return starts[f]; }
    uint32_t end(uint32_t f) const
    {
        return f + 1 < starts.size() ? starts[f + 1] : static_cast<uint32_t>(writes.size());
    }
    void write(uint8_t reg, uint8_t value) { writes.push_back(RegWrite{reg, value}); }
    void end_frame() { starts.push_back(static_cast<uint32_t>(writes.size())); }
};

// The dump as a PSG file: the header, then every frame's writes, with each
// run of frame ends in the fewest bytes (waits and single frame ends).
QByteArray psg_encode(const RegisterDump& dump);
