#include "support/song_build.h"

#include "song/song.h"

#include <cstring>

bool set_song(const std::vector<SongWrite>& writes, uint32_t last_frame)
{
    if (writes.size() > MUSIC_MAX_LEN || last_frame >= FRAMES_MAX_LEN)
        return false;
    uint32_t previous = 0;
    for (const SongWrite& w : writes) {
        if (w.frame < previous || w.frame > last_frame || w.reg > 15)
            return false;
        previous = w.frame;
    }

    const uint32_t n = static_cast<uint32_t>(writes.size());
    for (uint32_t k = 0; k < n; ++k)
        music[k] = MusicEvent{writes[k].reg, writes[k].value, writes[k].frame};
    event_count = n;
    frame_count = last_frame;
    uint8_t regs[16] = {};
    uint32_t k = 0;
    for (uint32_t f = 0; f <= last_frame; ++f) {
        std::memcpy(frames[f].regs, regs, sizeof regs);
        frames[f].first_event = music + k;
        for (; k < n && music[k].frame == f; ++k)
            regs[music[k].reg] = music[k].value;
    }
    return true;
}

std::vector<SongWrite> spread(const std::vector<uint16_t>& keys, uint32_t per_frame, uint32_t first_frame)
{
    std::vector<SongWrite> writes(keys.size());
    for (size_t k = 0; k < keys.size(); ++k)
        writes[k] = SongWrite{static_cast<uint8_t>(keys[k] >> 8), static_cast<uint8_t>(keys[k]),
                              static_cast<uint32_t>(first_frame + k / per_frame)};
    return writes;
}

bool set_song_keys(const std::vector<uint16_t>& keys, uint32_t per_frame)
{
    std::vector<SongWrite> writes = spread(keys, per_frame);
    uint32_t last = writes.empty() ? 0 : writes.back().frame + 1;
    return set_song(writes, last);
}

std::vector<uint16_t> random_keys(uint32_t count, uint64_t seed)
{
    std::vector<uint16_t> keys(count);
    uint64_t s = seed * 0x9E3779B97F4A7C15ull + 1;
    for (uint16_t& key : keys) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        key = static_cast<uint16_t>((s >> 20) & 0x0FFF);
    }
    return keys;
}
