// Three-channel sound chip model. Periods are converted into whole output
// samples when their registers are written; the generators then count
// samples. One call of chip_render_frame produces 882 stereo samples.
#include "audio/chip.h"

#include <cstring>

const uint16_t volume_table[16]
    = {0, 418, 606, 886, 1309, 1937, 2698, 4411, 5196, 8353, 11669, 14646, 18484, 23210, 27597, 32767};

namespace {

// The chip that playback plays.
ChipState live;
RegQueue live_queue;
ChipFrame live_frame;

// The noise source: a 32-bit linear congruential generator shared by the
// three channels, so a render depends on nothing but the register writes.
// Each draw is x = x * LCG_MUL + LCG_ADD (mod 2^32), yielding bits 16..30.
constexpr uint32_t LCG_MUL = 1103515245u;
constexpr uint32_t LCG_ADD = 12345u;
// Two and three steps at once, so a noise tick's three draws do not wait
// for each other.
constexpr uint32_t LCG_MUL2 = LCG_MUL * LCG_MUL;
constexpr uint32_t LCG_ADD2 = LCG_MUL * LCG_ADD + LCG_ADD;
constexpr uint32_t LCG_MUL3 = LCG_MUL * LCG_MUL2;
constexpr uint32_t LCG_ADD3 = LCG_MUL * LCG_ADD2 + LCG_ADD;

inline uint32_t noise_bits(uint32_t x)
{
    return (x >> 16) & 0x7FFFu;
}

inline void env_step(Envelope& e)
{
    if (e.stopped)
        return;
    // Every shape steps every period + 1 samples, the saw-tooths and the
    // one-shot shapes as fast as the triangles: the chip's envelope rate.
    const uint32_t limit = e.period;
    if (e.count < limit) {
        ++e.count;
        return;
    }
    e.count = 0;
    if (e.rising) {
        if (e.level < 15) {
            ++e.level;
        } else if (!e.cont) {
            e.stopped = true;
            e.level = 0;
        } else if (e.hold) {
            if (e.alternate)
                e.level = 0;
            e.stopped = true;
        } else if (e.alternate) {
            e.rising = false;
        } else {
            e.level = 0;
        }
    } else {
        if (e.level > 0) {
            --e.level;
        } else if (!e.cont) {
            e.stopped = true;
        } else if (e.hold) {
            if (e.alternate)
                e.level = 15;
            e.stopped = true;
        } else if (e.alternate) {
            e.rising = true;
        } else {
            e.level = 15;
        }
    }
}

void set_tone_period(ChipState& s, int channel)
{
    const uint32_t fine = s.regs[tone_fine_reg(channel)];
    const uint32_t coarse = s.regs[tone_fine_reg(channel) + 1];
    s.chip.tone_period[channel] = period_samples(coarse * 256 + fine);
}

void set_shape(Envelope& e, uint8_t shape)
{
    e.cont = (shape & SHAPE_CONTINUE) != 0;
    e.attack = (shape & SHAPE_ATTACK) != 0;
    // Shapes 0..7 keep alternate and hold from the last shape 8..15.
    if (e.cont) {
        e.alternate = (shape & SHAPE_ALTERNATE) != 0;
        e.hold = (shape & SHAPE_HOLD) != 0;
    }
    e.level = static_cast<uint8_t>(e.attack ? 0 : 15);
    e.rising = e.attack;
    e.count = 0;
    e.stopped = false;
}

// One channel's state in the render loop. A zero tone period keeps the channel
// on whatever the mixer says, which folds into the two gates.
struct Voice {
    uint32_t period, half, count;
    uint32_t tone_gate, noise_gate;  // 1 = that source cannot silence it
    uint32_t env_mask, fixed_amp;    // amplitude = (envelope & mask) | fixed
    uint32_t noise_value;
};

Voice load_voice(const ChipState& s, int c)
{
    const Chip& chip = s.chip;
    Voice v;
    v.period = chip.tone_period[c];
    v.half = v.period / 2;
    v.count = chip.tone_count[c];
    v.tone_gate = (chip.tone_off[c] || v.period == 0) ? 1 : 0;
    v.noise_gate = (chip.noise_off[c] || v.period == 0) ? 1 : 0;
    const uint8_t amp = s.regs[amp_reg(c)];
    const bool follow = (amp & AMP_ENVELOPE) != 0;
    v.env_mask = follow ? 0xFFFF : 0;
    v.fixed_amp = follow ? 0 : volume_table[amp & AMP_LEVEL];
    v.noise_value = chip.noise_value[c];
    return v;
}

void store_voice(Chip& chip, int c, const Voice& v)
{
    chip.tone_count[c] = v.count;
    chip.noise_value[c] = v.noise_value;
    // v.count is at least 1 after a frame: it is the last sample's phase + 1.
    chip.tone_out[c] = v.count - 1 < v.half;
}

// Tone step, noise step (a draw when the noise counter ticks; x is the
// generator state this channel's draw leaves) and output of one sample.
inline uint16_t voice_sample(Voice& v, bool noise_tick, uint32_t x, uint32_t env_amp)
{
    const uint32_t t = v.count >= v.period ? 0 : v.count;
    const uint32_t tone = t < v.half ? 1 : 0;
    v.count = t + 1;
    if (noise_tick)
        v.noise_value = noise_bits(x);
    const uint32_t on = (tone | v.tone_gate) & ((v.noise_value & 1) | v.noise_gate);
    const uint32_t amp = (env_amp & v.env_mask) | v.fixed_amp;
    return static_cast<uint16_t>(amp & (0u - on));
}

// One stereo slot of a frame's bytes (0 left, 1 right) from two channels,
// each halved with truncation before the sum.
void mix_channels(uint8_t* frame, int slot, const uint16_t* a, const uint16_t* b)
{
    uint8_t* out = frame + 2 * slot;
    for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i) {
        const uint16_t s = static_cast<uint16_t>(a[i] / 2 + b[i] / 2);
        out[4 * i] = static_cast<uint8_t>(s & 0xFF);
        out[4 * i + 1] = static_cast<uint8_t>(s >> 8);
    }
}

}  // namespace

uint8_t (&reg_queue)[REG_QUEUE_MAX * 2] = live_queue.pairs;
int32_t& reg_queue_len = live_queue.len;
uint8_t (&chip_regs)[REG_COUNT] = live.regs;
uint8_t (&frame_buf)[FRAME_BYTES] = live_frame.bytes;

void RegQueue::push(uint8_t reg, uint8_t value)
{
    if (len >= REG_QUEUE_MAX)
        return;
    pairs[2 * len] = reg;
    pairs[2 * len + 1] = value;
    ++len;
}

void reg_queue_push(uint8_t reg, uint8_t value)
{
    live_queue.push(reg, value);
}

uint32_t period_samples(uint32_t value)
{
    return value * PERIOD_MUL / PERIOD_DIV;
}

void chip_write(ChipState& s, uint8_t reg, uint8_t value)
{
    if (reg > REG_ENV_SHAPE)
        return;
    uint8_t* const regs = s.regs;
    Chip& chip = s.chip;
    regs[reg] = value & reg_mask[reg];
    switch (reg) {
    case REG_TONE_A_FINE:
    case REG_TONE_A_COARSE:
    case REG_TONE_B_FINE:
    case REG_TONE_B_COARSE:
    case REG_TONE_C_FINE:
    case REG_TONE_C_COARSE:
        set_tone_period(s, reg / 2);
        break;
    case REG_NOISE_PERIOD:
        chip.noise_period = period_samples(regs[REG_NOISE_PERIOD]);
        break;
    case REG_MIXER:
        for (int c = 0; c < 3; ++c) {
            chip.tone_off[c] = (value & mixer_tone_off(c)) != 0;
            chip.noise_off[c] = (value & mixer_noise_off(c)) != 0;
        }
        break;
    case REG_ENV_FINE:
    case REG_ENV_COARSE:
        chip.env.period = period_samples(regs[REG_ENV_COARSE] * 256u + regs[REG_ENV_FINE]);
        break;
    case REG_ENV_SHAPE:
        set_shape(chip.env, regs[REG_ENV_SHAPE]);
        break;
    default:  // the amplitudes are read afresh for every frame
        break;
    }
}

void chip_write(uint8_t reg, uint8_t value)
{
    chip_write(live, reg, value);
}

void chip_render_frame(ChipState& s, RegQueue& queue, ChipFrame& out)
{
    const int32_t queued = queue.len < REG_QUEUE_MAX ? queue.len : REG_QUEUE_MAX;
    for (int32_t k = 0; k < queued; ++k)
        chip_write(s, queue.pairs[2 * k], queue.pairs[2 * k + 1]);

    // The registers cannot change inside the frame, so all they decide is
    // fixed for the loop, and the state lives in locals meanwhile.
    Chip& chip = s.chip;
    Voice va = load_voice(s, 0), vb = load_voice(s, 1), vc = load_voice(s, 2);
    Envelope env = chip.env;
    const uint32_t noise_period = chip.noise_period;
    uint32_t noise_count = chip.noise_count;
    uint32_t seed = s.noise_seed;
    uint16_t(&chan_buf)[3][SAMPLES_PER_FRAME] = out.channel;

    for (uint32_t i = 0; i < SAMPLES_PER_FRAME; ++i) {
        env_step(env);
        const uint32_t env_amp = volume_table[env.level];
        // The three noise counters start together and see the same period,
        // so they are always equal and one counter serves them all. At a
        // tick A draws first, then B, then C; their draws are the next
        // three generator states, computed side by side.
        const bool noise_tick = noise_count >= noise_period;
        noise_count = noise_tick ? 1 : noise_count + 1;
        chan_buf[0][i] = voice_sample(va, noise_tick, seed * LCG_MUL + LCG_ADD, env_amp);
        chan_buf[1][i] = voice_sample(vb, noise_tick, seed * LCG_MUL2 + LCG_ADD2, env_amp);
        chan_buf[2][i] = voice_sample(vc, noise_tick, seed * LCG_MUL3 + LCG_ADD3, env_amp);
        if (noise_tick)
            seed = seed * LCG_MUL3 + LCG_ADD3;
    }

    store_voice(chip, 0, va);
    store_voice(chip, 1, vb);
    store_voice(chip, 2, vc);
    chip.env = env;
    chip.noise_count = noise_count;
    s.noise_seed = seed;

    mix_channels(out.bytes, 0, chan_buf[0], chan_buf[1]);
    mix_channels(out.bytes, 1, chan_buf[2], chan_buf[1]);
    queue.len = 0;
}

void chip_render_frame()
{
    chip_render_frame(live, live_queue, live_frame);
}

void chip_reset()
{
    live = ChipState{};
    std::memset(&live_frame, 0, sizeof live_frame);
}

ChipState chip_save()
{
    return live;
}

void chip_restore(const ChipState& state)
{
    live = state;
}

const uint16_t* chip_channel(int channel)
{
    if (channel < 0 || channel > 2)
        return nullptr;
    return live_frame.channel[channel];
}

namespace {

// The generator state after k more steps from x: the affine map x -> a x + c
// raised to the k-th power by squaring.
uint32_t lcg_jump(uint32_t x, uint64_t k)
{
    uint32_t a = LCG_MUL, c = LCG_ADD;  // one step
    uint32_t ra = 1, rc = 0;            // k steps so far
    for (; k; k >>= 1) {
        if (k & 1) {
            ra = a * ra;
            rc = a * rc + c;
        }
        c = a * c + c;
        a = a * a;
    }
    return ra * x + rc;
}

// The ticks of a counter over n samples, given the sample of its first tick
// (1-based) and the samples between two ticks.
struct Ticks {
    uint64_t count;
    uint64_t last_at;  // sample of the last tick, 1-based
};

Ticks ticks_in(uint64_t n, uint64_t first, uint64_t every)
{
    if (first > n)
        return Ticks{0, 0};
    const uint64_t count = 1 + (n - first) / every;
    return Ticks{count, first + (count - 1) * every};
}

}  // namespace

void chip_advance(uint64_t n)
{
    chip_advance(live, n);
}

void chip_advance(ChipState& s, uint64_t n)
{
    if (n == 0)
        return;
    Chip& chip = s.chip;

    // Tone: the count runs 1..period (a sample at count >= period starts
    // over from 0 and leaves 1); a zero period leaves it at 1.
    for (int c = 0; c < 3; ++c) {
        const uint32_t period = chip.tone_period[c];
        uint64_t count = 1;
        if (period > 0) {
            const uint64_t from = chip.tone_count[c] >= period ? 0 : chip.tone_count[c];
            count = (from + n - 1) % period + 1;
        }
        chip.tone_count[c] = static_cast<uint32_t>(count);
        chip.tone_out[c] = count - 1 < period / 2;
    }

    // Noise: a tick (three draws) whenever the shared count has reached the
    // period; the count is 1 right after a tick.
    {
        const uint64_t period = chip.noise_period;
        const uint64_t count = chip.noise_count;
        const uint64_t every = period > 1 ? period : 1;
        const Ticks t = ticks_in(n, count >= period ? 1 : period - count + 1, every);
        if (t.count == 0) {
            chip.noise_count = static_cast<uint32_t>(count + n);
        } else {
            chip.noise_count = static_cast<uint32_t>(1 + (n - t.last_at));
            const uint32_t before = lcg_jump(s.noise_seed, 3 * (t.count - 1));
            chip.noise_value[0] = noise_bits(before * LCG_MUL + LCG_ADD);
            chip.noise_value[1] = noise_bits(before * LCG_MUL2 + LCG_ADD2);
            s.noise_seed = before * LCG_MUL3 + LCG_ADD3;
            chip.noise_value[2] = noise_bits(s.noise_seed);
        }
    }

    // Envelope: a step whenever the count has passed its limit, then the
    // count starts from 0.
    Envelope& e = chip.env;
    if (e.stopped)
        return;
    const uint64_t limit = e.period;
    const Ticks t = ticks_in(n, e.count >= limit ? 1 : limit - e.count + 1, limit + 1);
    if (t.count == 0) {
        e.count = static_cast<uint32_t>(e.count + n);
        return;
    }
    if (e.cont && !e.hold) {
        // Repeating shapes never stop. A triangle runs through 32 places
        // (0..15 rising, then 15..0 falling), a saw-tooth through 16 levels.
        if (e.alternate) {
            const uint32_t place = static_cast<uint32_t>(((e.rising ? e.level : 31 - e.level) + t.count) % 32);
            e.rising = place < 16;
            e.level = static_cast<uint8_t>(e.rising ? place : 31 - place);
        } else {
            const uint64_t moved = e.rising ? e.level + t.count : e.level + 16 * t.count - t.count;
            e.level = static_cast<uint8_t>(moved % 16);
        }
        e.count = static_cast<uint32_t>(n - t.last_at);
        return;
    }
    // The other shapes come to rest within 17 steps.
    for (uint64_t k = 0; k < t.count && !e.stopped; ++k) {
        e.count = static_cast<uint32_t>(limit);  // so that env_step steps
        env_step(e);
    }
    if (!e.stopped)
        e.count = static_cast<uint32_t>(n - t.last_at);
}
