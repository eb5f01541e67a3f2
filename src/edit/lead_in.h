// What a piece cut out of the song begins with so that it plays like the
// song does there.
#pragma once

#include "song/psg_write.h"

#include <cstdint>

// The writes put in front of the own writes of frame `frame` when the frames
// from there on are written as a piece of their own:
//   - registers 0..12 that hold something else than 0 at the start of the
//     frame (a piece starts on a reset chip) and that the frame does not
//     write itself;
//   - the envelope shape, when the envelope sounds there: the song's last
//     shape, which restarts the envelope at the cut (a file cannot carry the
//     envelope's phase). Of the two triangles the one whose start lies
//     nearer the envelope's phase is taken. An envelope that has come to rest
//     at level 0 is left alone: a reset chip's envelope rests there too.
//   - a shape 8..15 first when only such a write can carry the alternate and
//     hold flags that the shapes 0..7 take from the shape written before them.
// Nothing for frame 0. The playing chip is left alone.
LeadIn piece_lead_in(uint32_t frame);
