#include "edit/silence.h"

#include "audio/chip.h"
#include "audio/playback.h"
#include "song/song.h"

namespace {

bool frame_is_silent(const ChipFrame& frame)
{
    const uint8_t* s = frame.bytes;
    // Pairs of left and right samples, four bytes a pair.
    for (uint32_t i = 1; i < SAMPLES_PER_FRAME; ++i)
        for (int b = 0; b < 4; ++b)
            if (s[4 * i + b] != s[b])
                return false;
    return true;
}

}  // namespace

std::vector<bool> silent_frames(void (*progress)(int percent))
{
    std::vector<bool> silent;
    silent.reserve(frame_count);
    ChipState chip;  // frame 0: a reset chip
    ChipFrame out;
    for (uint32_t f = 0; f < frame_count; ++f) {
        play_frame(chip, f, out);
        silent.push_back(frame_is_silent(out));
        if (progress && silent.size() % 1000 == 0)
            progress(static_cast<int>(uint64_t{silent.size()} * 100 / frame_count));
    }
    return silent;
}

std::vector<FrameRange> sounding_parts(const std::vector<bool>& silent, uint32_t min_silent)
{
    std::vector<FrameRange> parts;
    bool open = false;
    FrameRange part{0, 0};
    uint32_t quiet = 0;  // silent frames since the last sounding one
    for (uint32_t f = 0; f < silent.size(); ++f) {
        if (!silent[f]) {
            if (!open)
                part.from = f;
            open = true;
            part.to = f + 1;
            quiet = 0;
        } else if (++quiet >= min_silent && open) {
            parts.push_back(part);
            open = false;
        }
    }
    if (open)
        parts.push_back(part);
    return parts;
}
