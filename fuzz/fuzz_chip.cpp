// The chip model on any register writes.
//   1. The command bytes as (register, value) pairs, any register number,
//      queued and rendered (4 times header byte 4 pairs a frame, so the
//      queue can overflow; at most 8 frames): no undefined behaviour,
//      registers masked, every channel sample from the volume table, and
//      each side the sum of its channels' halves.
//   2. The bytes as a song of at most 16 frames: the chip state at frame F
//      (header byte 5 modulo the frames + 1) reached by chip_seek is the one
//      that playing frames 0 .. F - 1 from a reset chip reaches.
#include "common.h"

#include "audio/chip.h"
#include "audio/seek.h"
#include "support/song_check.h"

#include <algorithm>

namespace {

void check_frame()
{
    check(reg_queue_len == 0, "queue not emptied");
    for (int r = 0; r < REG_COUNT; ++r)
        check((chip_regs[r] & ~reg_mask[r]) == 0, "register not masked");
    const uint16_t* a = chip_channel(0);
    const uint16_t* b = chip_channel(1);
    const uint16_t* c = chip_channel(2);
    for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i) {
        for (const uint16_t* ch : {a, b, c})
            check(std::find(volume_table, volume_table + 16, ch[i]) != volume_table + 16, "channel level");
        const int left = static_cast<int16_t>(frame_buf[4 * i] | frame_buf[4 * i + 1] << 8);
        const int right = static_cast<int16_t>(frame_buf[4 * i + 2] | frame_buf[4 * i + 3] << 8);
        check(left == a[i] / 2 + b[i] / 2 && right == c[i] / 2 + b[i] / 2, "stereo mix");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz_init();
    const Expected e = describe(data, size);
    if (e.ends > 16)
        return -1;

    chip_reset();
    reg_queue_len = 0;
    const size_t per_frame = 4u * param(data, size, 0);
    size_t p = PSG_HEADER_LEN;
    for (int f = 0; f < 8 && p + 1 < size; ++f) {
        for (size_t k = 0; k < per_frame && p + 1 < size; ++k, p += 2)
            reg_queue_push(data[p], data[p + 1]);
        chip_render_frame();
        check_frame();
    }

    read_bytes(data, size, true);
    const uint32_t frame = param(data, size, 1) % (frame_count + 1);
    const ChipState replayed = replayed_state(frame);
    chip_reset();
    chip_seek(frame);
    check(reg_queue_len == 0, "seek left writes queued");
    check(chip_difference(chip_save(), replayed).isEmpty(), "chip_seek differs from playing the frames");
    return 0;
}
