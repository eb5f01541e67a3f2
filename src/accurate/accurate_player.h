// The accurate model frame by frame, for playback and for renders alike:
// a frame sounds the same whether the player played its way there from
// frame 0 or was sent there directly, so a seek, a render from a frame and
// the whole song's render agree sample for sample.
//
// How: the song is played in segments of SEGMENT frames. PREROLL frames
// before a segment begins, a copy of the chip lets go of its sound
// (PsgModel::settle) and plays on beside it; from the segment's first frame
// on the copy is heard. What a segment sounds like thus depends only on the
// registers and counters at its pre-roll, which a fast-forward that draws
// no sound reaches in a fraction of the time playing takes. The copy has
// settled to the played chip's sound long before it is heard (the DC
// filter's slowest part has fallen by 10^-14 in the pre-roll).
#pragma once

#include "accurate/accurate_render.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct PsgWrite {
    uint8_t reg;
    uint8_t value;
};

// Appends the register writes of frame f, in order, to `out`; nothing for a
// frame past the end.
using FrameWrites = std::function<void(uint32_t f, std::vector<PsgWrite>& out)>;

// The writes of the song in memory.
FrameWrites song_frame_writes();

class AccuratePlayer {
public:
    static constexpr uint32_t SEGMENT = 150;  // 3 s
    static constexpr uint32_t PREROLL = 25;   // 0.5 s

    AccuratePlayer(const AccurateSetup& setup, FrameWrites writes);

    // The next frame rendered is `frame`, with the chip in the state that
    // playing from frame 0 reaches there.
    void seek(uint32_t frame);
    uint32_t frame() const { return out_frame; }
    const AccurateSetup& setup() const { return config; }

    // Appends the interleaved stereo pairs of the frame and moves on to the
    // next one; returns the number of pairs.
    size_t render_frame(std::vector<int16_t>& out);

private:
    // Samples taken from a chip and not handed out yet; first is the
    // number of the first of them.
    struct Taken {
        std::vector<int16_t> pairs;
        uint64_t first = 0;
        uint64_t end() const { return first + pairs.size() / 2; }
    };

    void feed();
    void take(PsgModel& chip, Taken& into);

    AccurateSetup config;
    FrameWrites writes;
    PsgModel reset;                // a chip just switched on (its tables take a while to make)
    std::optional<PsgModel> chip;  // heard
    std::optional<PsgModel> next;  // settled for the next segment
    uint32_t next_from = 0;        // the first frame of that segment
    Taken heard, coming;
    static constexpr uint32_t NONE = ~uint32_t{0};
    uint32_t settled_at = NONE;  // where a seek settled `chip` itself
    uint32_t fed = 0;            // the next frame whose writes the chips get
    uint32_t out_frame = 0;      // the next frame handed out
    std::vector<PsgWrite> frame_writes;
    std::vector<int16_t> scratch;
};
