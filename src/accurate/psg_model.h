// A model of the AY-3-8910 / YM2149 itself, for renders that should sound
// like the chip: the counters run at clock / 8 and every change of a
// channel's output is placed at its exact time and drawn band-limited.
// Each object has its own state; nothing is shared between them.
#pragma once

#include "accurate/band_limit.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

enum class PsgType { AY, YM };

// How the three channels reach the two sides.
enum class PsgPan {
    DEFAULT,  // as the default model: A left, B both, C right, each halved
    ABC,      // every channel on both sides, A left, B centre, C right
    ACB,      // the same with C in the centre and B on the right
    MONO,     // the three channels alike on both sides
};

// A value in sample units as a 16-bit sample: rounded to the nearest step
// (halves upwards) and held at full scale. Plus 32768.5 the value is
// positive, so truncation rounds it.
inline int16_t to_sample(double v)
{
    return static_cast<int16_t>(static_cast<int32_t>(std::clamp(v, -32768.0, 32767.0) + 32768.5) - 32768);
}

struct PsgSetup {
    PsgType type = PsgType::AY;
    uint32_t clock = 1773400;  // Hz
    uint32_t rate = 44100;     // output samples per second
    PsgPan pan = PsgPan::DEFAULT;
    double gain_db = 0;  // on top of the headroom every render keeps
};

class PsgModel {
public:
    explicit PsgModel(const PsgSetup& setup);

    // Applies one register write at the present time; 14 and up are ignored.
    void write(uint8_t reg, uint8_t value);
    // Lets the chip run until tick `until` (in clock / 8 cycles from the
    // start; not before the present tick).
    void run_to(uint64_t until);
    uint64_t now() const { return tick; }

    // Appends the stereo samples (left, right, ...) that the time run so far
    // has settled, from the first not yet taken, and returns how many pairs.
    // Sample n is the sound at n / rate seconds.
    size_t take(std::vector<int16_t>& out);
    // The first sample that take() has not handed out.
    int64_t taken() const { return next_out; }

    // Fast-forward: time goes on to tick `until` with every counter, the
    // envelope and the noise generator, in constant time, but no sound is
    // drawn, neither here nor by writes, until settle().
    void skip_to(uint64_t until);
    // Lets go of the sound so far: from the present tick on the output is
    // as if every channel had always stood at its present level (nothing
    // left ringing, the DC filter at rest); the counters keep their phases.
    // Two chips with the same registers and counters, however they got
    // there (played or fast-forwarded), are alike after it.
    void settle();

private:
    static constexpr uint64_t NEVER = ~uint64_t{0};

    // A counter that fires every `period` ticks; `edge` is the tick it last
    // fired (or was started at), `next` its next event while it is watched.
    struct Counter {
        uint64_t edge = 0;
        uint64_t period = 1;
        uint64_t next = NEVER;
        // The tick at which set_period last moved `edge`, and edge before.
        uint64_t moved_at = NEVER;
        uint64_t edge_before = 0;
    };

    uint64_t due(const Counter& c, uint64_t at) const;
    void set_period(Counter& c, uint64_t period);
    void sync_tone(int ch);
    void sync_noise();
    void sync_envelope();
    void watch();
    void step_noise(uint64_t steps);
    static uint32_t noise_jump(uint32_t state, uint64_t steps);
    void set_envelope_pos(uint64_t pos);
    void update(int ch, uint64_t at);
    void add_step(int ch, uint64_t at, float delta);

    PsgSetup setup;
    StepKernel kernel;
    float dac_table[32];
    int env_max;            // the last of the envelope's 32 steps
    uint64_t env_tick_mul;  // ticks per envelope step and unit of period
    float gain[2][3];

    uint8_t regs[16] = {};
    uint64_t tick = 0;

    Counter tone[3];
    bool tone_bit[3] = {};
    Counter noise;
    uint32_t lfsr = 1;
    Counter env;
    uint64_t env_pos = 0;  // steps since the shape was written
    int env_level = 0;
    bool env_done = false;

    float level[3] = {};  // what each channel puts out now
    bool quiet = false;   // fast-forwarding: no steps drawn

    // Differences of the output per channel, d[k] for sample base + k;
    // none at or after diff_end.
    std::vector<float> diff[3];
    size_t diff_end = 0;
    int64_t base;
    // Where the ticks from ref_tick on fall among the samples: ref_tick is
    // at ref_sample + ref_rest / clock.
    uint64_t ref_tick = 0;
    int64_t ref_sample = 0;
    uint64_t ref_rest = 0;
    double per_clock;
    int64_t next_out = 0;
    double sum[3] = {};
    // DC blocker: a second-order Butterworth high-pass per side.
    double hp_b[3], hp_a[2];
    double hp_state[2][4] = {};  // x[n-1], x[n-2], y[n-1], y[n-2]
    double scale;                // full scale 1 to sample units, with the headroom and gain
};
