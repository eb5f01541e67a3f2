// Songs put straight into the song tables, for tests and benchmarks.
#pragma once

#include <cstdint>
#include <vector>

struct SongWrite {
    uint8_t reg;
    uint8_t value;
    uint32_t frame;
};

// Replaces the song with writes, whose frame numbers must not decrease and
// must not exceed last_frame (writes of frame last_frame come after the last
// frame end). Fills music, event_count, frames (register images and first
// writes) and frame_count as a load would. Returns false, leaving the song
// alone, when the writes do not make a valid song.
bool set_song(const std::vector<SongWrite>& writes, uint32_t last_frame);

// Writes with the given registers and values, per_frame writes to a frame
// from frame 0 on, the first of them in frame first_frame.
std::vector<SongWrite> spread(const std::vector<uint16_t>& keys, uint32_t per_frame, uint32_t first_frame = 0);

// Replaces the song with keys (reg << 8 | value) spread per_frame to a frame,
// all before the song's last frame end.
bool set_song_keys(const std::vector<uint16_t>& keys, uint32_t per_frame);

// Deterministic random keys: registers 0..15, any value.
std::vector<uint16_t> random_keys(uint32_t count, uint64_t seed);
