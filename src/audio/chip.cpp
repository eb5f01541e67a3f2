// Placeholder until the chip model lands.
#include "audio/chip.h"

#include <cstring>

uint8_t reg_queue[REG_QUEUE_MAX * 2];
int32_t reg_queue_len;
uint8_t chip_regs[16];
const uint16_t volume_table[16] = {0, 418, 606, 886, 1309, 1937, 2698, 4411,
                                   5196, 8353, 11669, 14646, 18484, 23210, 27597, 32767};
uint8_t frame_buf[FRAME_BYTES];

void reg_queue_push(uint8_t reg, uint8_t value)
{
    if (reg_queue_len >= REG_QUEUE_MAX)
        return;
    reg_queue[2 * reg_queue_len] = reg;
    reg_queue[2 * reg_queue_len + 1] = value;
    ++reg_queue_len;
}

uint32_t period_samples(uint32_t value) { return value * PERIOD_MUL / PERIOD_DIV; }
void chip_write(uint8_t, uint8_t) {}
void envelope_step() {}
void chip_render_frame() { reg_queue_len = 0; }
void chip_reset() {}
ChipState chip_state() { return ChipState{}; }
const uint16_t* chip_channel(int) { static uint16_t z[SAMPLES_PER_FRAME]; return z; }
