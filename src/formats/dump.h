// A song as the chip receives it, frame by frame: the common ground of the
// PSG, YM and VGM files.
#pragma once

#include <QByteArray>
#include <QList>

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

// What a YM or VGM file says besides its writes.
struct DumpInfo {
    uint32_t clock = 0;       // Hz
    uint32_t frame_rate = 0;  // frames a second
    bool has_loop = false;
    uint32_t loop_frame = 0;
    QByteArray title;        // UTF-8
    QList<QByteArray> notes;  // what the reader could not carry over, one line each
};

// The chip clock a song is exported at unless told otherwise.
constexpr uint32_t DEFAULT_CLOCK = 1773400;

// Frames 0 .. frame_count - 1 of the song in memory as they sound: the
// writes that make a difference (see optimized_psg), so that each frame's
// register image and envelope restarts are exactly what playback gives the
// chip.
RegisterDump song_dump();

// The dump as a PSG file: every frame's writes, runs of frame ends as waits
// where that is shorter.
QByteArray dump_to_psg(const RegisterDump& dump);
