#include "audio/heard.h"

#include "audio/chip.h"

namespace {

constexpr uint64_t BYTES_PER_SECOND = uint64_t{SAMPLE_RATE} * 4;

}  // namespace

uint64_t sink_unplayed_bytes(uint64_t taken_bytes, int64_t played_usecs)
{
    if (played_usecs < 0)
        played_usecs = 0;
    // Whole stereo pairs.
    const uint64_t played = uint64_t(played_usecs) * BYTES_PER_SECOND / 1000000 / 4 * 4;
    return taken_bytes > played ? taken_bytes - played : 0;
}

uint32_t heard_frame(uint32_t next_frame, uint32_t from_frame, uint64_t queued_bytes)
{
    // The last queued_bytes are the ends of the frames before next_frame: the
    // frame heard is the one the oldest of them belongs to.
    const uint64_t behind = (queued_bytes + FRAME_BYTES - 1) / FRAME_BYTES;
    uint32_t frame = behind >= next_frame ? 0 : next_frame - static_cast<uint32_t>(behind);
    if (frame < from_frame)
        frame = from_frame;
    if (frame > next_frame)
        frame = next_frame;
    return frame;
}
