// Software model of a three-channel AY-3-8910 / YM2149 sound chip. It counts
// whole output samples: every period is converted to samples when its
// registers are written. All state is process-wide, zero at start, except
// the noise generator, which starts at 1.
#pragma once

#include <cstdint>

constexpr uint32_t SAMPLE_RATE = 44100;
constexpr uint32_t SAMPLES_PER_FRAME = 882;                // 44100 / 50
constexpr uint32_t FRAME_BYTES = SAMPLES_PER_FRAME * 2 * 2;  // 3528
constexpr int REG_QUEUE_MAX = 1000;
constexpr uint32_t PERIOD_MUL = 318;
constexpr uint32_t PERIOD_DIV = 800;

// Register writes waiting for the next rendered frame: pair i is byte 2i
// (register) and byte 2i + 1 (value). An append to a full queue is dropped.
extern uint8_t reg_queue[REG_QUEUE_MAX * 2];
extern int32_t reg_queue_len;
void reg_queue_push(uint8_t reg, uint8_t value);

extern uint8_t chip_regs[16];
extern const uint16_t volume_table[16];

// One rendered frame: 882 interleaved left/right signed 16-bit little-endian
// samples.
extern uint8_t frame_buf[FRAME_BYTES];

// Period in samples for a period value: floor(x * 318 / 800), 32-bit.
uint32_t period_samples(uint32_t value);

void chip_write(uint8_t reg, uint8_t value);
void envelope_step();
// Applies the queued writes, renders one frame into frame_buf and empties
// the queue.
void chip_render_frame();

// Puts every register, counter, flag and the noise generator back to the
// state at process start (offline renders and tests; playback never does).
// The register queue is left alone: pairs queued before the call are still
// applied by the next render.
void chip_reset();

// Read access to the derived state, for tests and diagnostics.
struct ChipState {
    uint32_t tone_period[3];
    uint32_t noise_period;
    uint32_t env_period;
    uint8_t env_level;
    bool env_rising;
    bool env_stopped;
    bool env_continue, env_attack, env_alternate, env_hold;
    bool tone_off[3];
    bool noise_off[3];
};
ChipState chip_state();

// Amplitude samples of channel 0..2 (A, B, C) of the last rendered frame;
// null for any other channel number.
const uint16_t* chip_channel(int channel);
