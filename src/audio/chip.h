// Software model of a three-channel AY-3-8910 / YM2149 sound chip. It counts
// whole output samples: every period is converted to samples when its
// registers are written. A chip's whole state is a ChipState value, zero at
// start except the noise generator, which starts at 1; the functions that
// take a state work on that state alone. Playback plays one process-wide
// chip: the functions without a state, chip_regs, reg_queue and frame_buf
// are that chip's.
#pragma once

#include "song/registers.h"

#include <cstdint>

constexpr uint32_t SAMPLE_RATE = 44100;
constexpr uint32_t SAMPLES_PER_FRAME = 882;                  // 44100 / 50
constexpr uint32_t FRAME_BYTES = SAMPLES_PER_FRAME * 2 * 2;  // 3528
constexpr int REG_QUEUE_MAX = 1000;
constexpr uint32_t PERIOD_MUL = 318;
constexpr uint32_t PERIOD_DIV = 800;

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

// Everything the model holds between two frames. A state made with ChipState{}
// (or declared without initializer) is a reset chip.
struct ChipState {
    Chip chip{};
    uint8_t regs[REG_COUNT]{};
    uint32_t noise_seed = 1;
};

// Register writes waiting for the next rendered frame: pair i is byte 2i
// (register) and byte 2i + 1 (value). An append to a full queue is dropped.
struct RegQueue {
    uint8_t pairs[REG_QUEUE_MAX * 2]{};
    int32_t len = 0;
    void push(uint8_t reg, uint8_t value);
};

// One rendered frame: 882 interleaved left/right signed 16-bit little-endian
// samples, and the amplitude samples of each channel (A, B, C).
struct ChipFrame {
    uint8_t bytes[FRAME_BYTES];
    uint16_t channel[3][SAMPLES_PER_FRAME];
};

extern const uint16_t volume_table[16];

// Period in samples for a period value: floor(x * 318 / 800), 32-bit.
uint32_t period_samples(uint32_t value);

void chip_write(ChipState& chip, uint8_t reg, uint8_t value);
// Applies the queued writes (the first REG_QUEUE_MAX), renders one frame
// into out and empties the queue.
void chip_render_frame(ChipState& chip, RegQueue& queue, ChipFrame& out);
// Moves every counter, the envelope and the noise generator on by n samples
// exactly as rendering them with the current registers would, without
// rendering: in constant time for any n.
void chip_advance(ChipState& chip, uint64_t n);

// The chip that playback plays and its parts.
extern uint8_t (&reg_queue)[REG_QUEUE_MAX * 2];
extern int32_t& reg_queue_len;
void reg_queue_push(uint8_t reg, uint8_t value);
extern uint8_t (&chip_regs)[REG_COUNT];
extern uint8_t (&frame_buf)[FRAME_BYTES];

void chip_write(uint8_t reg, uint8_t value);
// Applies the queued writes, renders one frame into frame_buf and empties
// the queue.
void chip_render_frame();
void chip_advance(uint64_t n);

// Puts every register, counter, flag and the noise generator back to the
// state at process start (tests; playback never does). The register queue
// is left alone: pairs queued before the call are still applied by the next
// render.
void chip_reset();

// The playing chip's state as a value, and back: for tests that compare it.
ChipState chip_save();
void chip_restore(const ChipState& state);

// Amplitude samples of channel 0..2 (A, B, C) of the last frame the playing
// chip rendered; null for any other channel number.
const uint16_t* chip_channel(int channel);
