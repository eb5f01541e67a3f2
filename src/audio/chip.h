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

// The sixteen registers. R14 and R15 are the chip's I/O ports: the model
// ignores writes to them.
enum ChipReg : uint8_t {
    REG_TONE_A_FINE, REG_TONE_A_COARSE,  // tone period of A: coarse * 256 + fine
    REG_TONE_B_FINE, REG_TONE_B_COARSE,
    REG_TONE_C_FINE, REG_TONE_C_COARSE,
    REG_NOISE_PERIOD,
    REG_MIXER,  // bits 0-2: tone off for A, B, C; bits 3-5: noise off
    REG_AMP_A, REG_AMP_B, REG_AMP_C,  // bit 4: follow the envelope; else level 0-15
    REG_ENV_FINE, REG_ENV_COARSE,  // envelope period: coarse * 256 + fine
    REG_ENV_SHAPE,  // continue, attack, alternate, hold (bits 3..0)
    REG_PORT_A, REG_PORT_B,
    REG_COUNT
};
// What a register keeps of a value written to it.
extern const uint8_t reg_mask[REG_COUNT];

constexpr uint8_t tone_fine_reg(int channel) { return static_cast<uint8_t>(REG_TONE_A_FINE + 2 * channel); }
constexpr uint8_t amp_reg(int channel) { return static_cast<uint8_t>(REG_AMP_A + channel); }

extern uint8_t chip_regs[REG_COUNT];
extern const uint16_t volume_table[16];

// One rendered frame: 882 interleaved left/right signed 16-bit little-endian
// samples.
extern uint8_t frame_buf[FRAME_BYTES];

// Period in samples for a period value: floor(x * 318 / 800), 32-bit.
uint32_t period_samples(uint32_t value);

void chip_write(uint8_t reg, uint8_t value);
// Applies the queued writes, renders one frame into frame_buf and empties
// the queue.
void chip_render_frame();

// Puts every register, counter, flag and the noise generator back to the
// state at process start (offline renders and tests; playback never does).
// The register queue is left alone: pairs queued before the call are still
// applied by the next render.
void chip_reset();

// What the model keeps besides the registers.
struct Envelope {
    uint32_t period;  // in samples
    uint32_t count;
    uint8_t level;
    bool rising;
    bool stopped;
    bool cont, attack, alternate, hold;
};

struct Chip {
    uint32_t tone_period[3];  // in samples
    uint32_t tone_count[3];
    bool tone_out[3];
    bool tone_off[3];
    bool noise_off[3];
    uint32_t noise_period;
    uint32_t noise_count;  // one count serves the three channels
    uint32_t noise_value[3];
    Envelope env;
};

// Everything the model holds between two frames: for putting it back after
// offline work, and for comparing two states.
struct ChipSnapshot {
    Chip chip;
    uint8_t regs[REG_COUNT];
    uint32_t noise_seed;
};
ChipSnapshot chip_save();
void chip_restore(const ChipSnapshot& snapshot);

// Moves every counter, the envelope and the noise generator on by n samples
// exactly as rendering them with the current registers would, without
// rendering: in constant time for any n.
void chip_advance(uint64_t n);

// Amplitude samples of channel 0..2 (A, B, C) of the last rendered frame;
// null for any other channel number.
const uint16_t* chip_channel(int channel);
