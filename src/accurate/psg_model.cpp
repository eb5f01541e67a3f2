#include "accurate/psg_model.h"

#include "song/registers.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint64_t LFSR_CYCLE = 131071;  // 2^17 - 1 states
constexpr size_t DIFF_ROOM = 8192;
constexpr double DC_CUTOFF_HZ = 15;  // -0.26 dB at 30 Hz, -0.02 dB at 60 Hz
// Full scale is the loudest the chip puts on one side (two channels at level
// 15). Below it by this much, the band-limited edges and the DC blocker's
// swing after a step from silence stay under the largest sample.
constexpr double HEADROOM_DB = 3;

// Output of the AY-3-8910 per level, full scale 1, as measured on a ZX
// Spectrum's AY-3-8912 by Matthew Westcott (posted to comp.sys.sinclair,
// groups.google.com/g/comp.sys.sinclair/c/-zCR2kxMryY; quoted, normalised,
// on CPCWiki's "PSG" page under "D/A converter table"). The chip is compressed at the top against the data sheet's
// 3 dB a level: 14 is 1.7 dB below 15, 8 is 17.6 dB below.
constexpr double AY_MEASURED[16] = {0.0000, 0.0105, 0.0154, 0.0216, 0.0314, 0.0461, 0.0635, 0.1061,
                                    0.1319, 0.2163, 0.2973, 0.3908, 0.5129, 0.6371, 0.8186, 1.0000};

// The YM2149's sixteen fixed levels as measured on an Atari Mega ST with
// an oscilloscope ("YM Volume Levels", Alive magazine issue 9,
// alive.atari.org/alive9/ymvolum.php), normalised to level 15 = 1. They are
// the odd steps of the envelope's 32; each even step lies halfway, in
// decibels, between its neighbours.
constexpr double YM_MEASURED[16]
    = {0.000, 0.005, 0.008, 0.012, 0.018, 0.024, 0.036, 0.048, 0.069, 0.095, 0.139, 0.191, 0.287, 0.407, 0.648, 1.000};

}  // namespace

PsgModel::PsgModel(const PsgSetup& s) : setup(s)
{
    const bool ym = setup.type == PsgType::YM;
    for (int l = 0; l < 16; ++l)
        dac_table[2 * l + 1] = static_cast<float>(ym ? YM_MEASURED[l] : AY_MEASURED[l]);
    for (int l = 0; l < 16; ++l) {
        double v = dac_table[2 * l + 1];
        if (ym && l > 0) {
            const double below = dac_table[2 * l - 1];
            // Step 2 has a silent neighbour: as far under step 3 as step 4 is.
            v = below > 0 ? std::sqrt(below * v) : v * std::sqrt(YM_MEASURED[1] / YM_MEASURED[2]);
        }
        dac_table[2 * l] = static_cast<float>(l == 0 ? 0 : v);
    }
    // Both chips' envelopes are counted in 32 steps of E ticks; the AY's
    // DAC hears the top four bits of the step. Its 16 levels still last 2 E
    // ticks each, but a new period written mid-level takes effect on an
    // E-tick boundary, as an independent emulation of the AY has it when
    // measured from outside.
    env_max = 31;
    env_tick_mul = 1;
    env.period = env_tick_mul;
    noise.period = 2;

    const float h = 0.5f, third = 1.0f / 3, sixth = 1.0f / 6;
    const float pans[4][2][3] = {
        {{h, h, 0}, {0, h, h}},
        {{h, third, sixth}, {sixth, third, h}},
        {{h, sixth, third}, {sixth, h, third}},
        {{third, third, third}, {third, third, third}},
    };
    const int p = static_cast<int>(setup.pan);
    for (int side = 0; side < 2; ++side)
        for (int c = 0; c < 3; ++c)
            gain[side][c] = pans[p][side][c];

    for (auto& d : diff)
        d.assign(DIFF_ROOM, 0.0f);
    base = -StepKernel::HALF;
    per_clock = 1.0 / setup.clock;
    // Bilinear transform of the analogue prototype, cutoff pre-warped.
    const double k = std::tan(std::acos(-1.0) * DC_CUTOFF_HZ / setup.rate);
    const double q = std::sqrt(0.5);
    const double norm = 1 / (1 + k / q + k * k);
    hp_b[0] = norm;
    hp_b[1] = -2 * norm;
    hp_b[2] = norm;
    hp_a[0] = 2 * (k * k - 1) * norm;
    hp_a[1] = (1 - k / q + k * k) * norm;
    scale = 32767 * std::pow(10.0, (setup.gain_db - HEADROOM_DB) / 20);
    env_done = true;  // the envelope rests at 0 until its shape is first written
    watch();
}

// Steps of the counter after its last edge up to and including tick `at`.
uint64_t PsgModel::due(const Counter& c, uint64_t at) const
{
    return at > c.edge ? (at - c.edge) / c.period : 0;
}

// A counter already at or past its new period fires at the next tick. The
// chip compares at that tick, with the period as the last write of this
// tick left it: the two halves of a period written together count as one.
void PsgModel::set_period(Counter& c, uint64_t period)
{
    if (c.moved_at == tick)
        c.edge = c.edge_before;
    c.period = period;
    if (c.edge + period <= tick) {
        c.edge_before = c.edge;
        c.moved_at = tick;
        c.edge = tick + 1 - period;
    }
}

void PsgModel::sync_tone(int ch)
{
    const uint64_t k = due(tone[ch], tick);
    tone_bit[ch] ^= (k & 1) != 0;
    tone[ch].edge += k * tone[ch].period;
}

void PsgModel::sync_noise()
{
    const uint64_t k = due(noise, tick);
    step_noise(k % LFSR_CYCLE);
    noise.edge += k * noise.period;
}

void PsgModel::sync_envelope()
{
    if (env_done)
        return;
    const uint64_t k = due(env, tick);
    set_envelope_pos(env_pos + k);
    env.edge += k * env.period;
}

// The 17-bit noise register: bit 0 is the output, the new bit 16 is bit 0
// xor bit 3.
void PsgModel::step_noise(uint64_t steps)
{
    if (steps > 64) {
        lfsr = noise_jump(lfsr, steps);
        return;
    }
    uint32_t x = lfsr;
    for (uint64_t k = 0; k < steps; ++k)
        x = (x >> 1) | (((x ^ (x >> 3)) & 1) << 16);
    lfsr = x;
}

// Level after `pos` steps of the shape in R13: a first ramp of env_max + 1
// steps up (attack) or down, then silence (shapes 0..7), a held end (hold,
// inverted by alternate) or more ramps (reversed each time by alternate).
void PsgModel::set_envelope_pos(uint64_t pos)
{
    const uint8_t shape = regs[REG_ENV_SHAPE];
    const uint64_t steps = static_cast<uint64_t>(env_max) + 1;
    const bool cont = shape & SHAPE_CONTINUE, attack = shape & SHAPE_ATTACK, alternate = shape & SHAPE_ALTERNATE,
               hold = shape & SHAPE_HOLD;
    if (pos < steps) {
        const int i = static_cast<int>(pos);
        env_level = attack ? i : env_max - i;
    } else if (!cont || hold) {
        const bool high = cont && (attack != alternate);
        env_level = high ? env_max : 0;
        env_done = true;
        pos = steps;
    } else {
        pos = steps + (pos - steps) % (2 * steps);
        const bool up = attack != (alternate && (pos / steps) % 2 == 1);
        const int i = static_cast<int>(pos % steps);
        env_level = up ? i : env_max - i;
    }
    env_pos = pos;
}

// Only counters that can change what is heard get events; the others are
// brought up to date in one go when that changes.
void PsgModel::watch()
{
    bool noise_heard = false, env_heard = false;
    for (int c = 0; c < 3; ++c) {
        const uint8_t amp = regs[amp_reg(c)];
        const bool audible = amp != 0;
        tone[c].next = audible && !(regs[REG_MIXER] & mixer_tone_off(c)) ? tone[c].edge + tone[c].period : NEVER;
        noise_heard |= audible && !(regs[REG_MIXER] & mixer_noise_off(c));
        env_heard |= (amp & AMP_ENVELOPE) != 0;
    }
    noise.next = noise_heard ? noise.edge + noise.period : NEVER;
    env.next = env_heard && !env_done ? env.edge + env.period : NEVER;
}

void PsgModel::write(uint8_t reg, uint8_t value)
{
    if (reg > REG_ENV_SHAPE)
        return;
    // A counter that steps on the tick of the write steps first (due()
    // counts that tick's edge): the write takes effect from the next tick on.
    for (int c = 0; c < 3; ++c)
        sync_tone(c);
    sync_noise();
    sync_envelope();
    regs[reg] = value & reg_mask[reg];
    if (reg < REG_NOISE_PERIOD) {
        const int c = reg / 2;
        const uint64_t p = regs[tone_fine_reg(c)] | (regs[tone_fine_reg(c) + 1] << 8);
        set_period(tone[c], p ? p : 1);
    } else if (reg == REG_NOISE_PERIOD) {
        set_period(noise, 2 * uint64_t{regs[REG_NOISE_PERIOD] ? regs[REG_NOISE_PERIOD] : 1u});
    } else if (reg == REG_ENV_FINE || reg == REG_ENV_COARSE) {
        const uint64_t e = regs[REG_ENV_FINE] | (regs[REG_ENV_COARSE] << 8);
        set_period(env, (e ? e : 1) * env_tick_mul);
    } else if (reg == REG_ENV_SHAPE) {
        env_done = false;
        env.edge = tick;
        env.moved_at = NEVER;
        set_envelope_pos(0);
    }
    watch();
    for (int c = 0; c < 3; ++c)
        update(c, tick);
}

void PsgModel::update(int ch, uint64_t at)
{
    if (quiet)
        return;
    const uint8_t amp = regs[amp_reg(ch)];
    const bool tone_on = tone_bit[ch] || (regs[REG_MIXER] & mixer_tone_off(ch));
    const bool noise_on = (lfsr & 1) || (regs[REG_MIXER] & mixer_noise_off(ch));
    float v = 0;
    if (tone_on && noise_on)
        v = dac_table[(amp & AMP_ENVELOPE) ? (setup.type == PsgType::YM ? env_level : env_level | 1)
                                           : 2 * (amp & AMP_LEVEL) + 1];
    if (v != level[ch]) {
        add_step(ch, at, v - level[ch]);
        level[ch] = v;
    }
}

void PsgModel::add_step(int ch, uint64_t at, float delta)
{
    // The place of tick `at` after ref_tick's, exactly: (at - ref_tick) *
    // 8 * rate / clock samples, divided by way of a double and put right.
    const uint64_t num = (at - ref_tick) * 8 * setup.rate + ref_rest;
    uint64_t whole = static_cast<uint64_t>(static_cast<double>(num) * per_clock);
    int64_t rest = static_cast<int64_t>(num - whole * setup.clock);
    for (; rest < 0; rest += setup.clock)
        --whole;
    for (; rest >= int64_t{setup.clock}; rest -= setup.clock)
        ++whole;
    const int64_t sample = ref_sample + static_cast<int64_t>(whole);
    const size_t offset = static_cast<size_t>(sample - StepKernel::HALF + 1 - base);
    std::vector<float>& d = diff[ch];
    if (offset + StepKernel::STRIDE > d.size())
        d.resize(offset + StepKernel::STRIDE + DIFF_ROOM, 0.0f);
    kernel.add(d.data() + offset, static_cast<double>(rest) * per_clock, delta);
    diff_end = std::max(diff_end, offset + StepKernel::STRIDE);
}

void PsgModel::run_to(uint64_t until)
{
    const uint64_t num = tick * 8 * setup.rate;
    ref_tick = tick;
    ref_sample = static_cast<int64_t>(num / setup.clock);
    ref_rest = num % setup.clock;
    // The AY hears two envelope steps as one level.
    const int heard_pair = setup.type == PsgType::YM ? 0 : 1;
    while (true) {
        const uint64_t t = std::min({tone[0].next, tone[1].next, tone[2].next, noise.next, env.next});
        if (t >= until)
            break;
        tick = t;
        int changed = 0;
        for (int c = 0; c < 3; ++c)
            if (tone[c].next == t) {
                tone_bit[c] = !tone_bit[c];
                tone[c].edge = t;
                tone[c].next = t + tone[c].period;
                changed |= 1 << c;
            }
        if (noise.next == t) {
            const uint32_t before = lfsr & 1;
            step_noise(1);
            noise.edge = t;
            noise.next = t + noise.period;
            if ((lfsr & 1) != before)
                changed |= ~(regs[REG_MIXER] >> 3) & 7;
        }
        if (env.next == t) {
            const int before = env_level | heard_pair;
            set_envelope_pos(env_pos + (t - env.edge) / env.period);
            env.edge = t;
            // On the AY a step to an even position makes the next one
            // unheard: the event after this one comes a step later.
            const uint64_t ahead = heard_pair && env_pos % 2 == 0 ? 2 : 1;
            env.next = env_done ? NEVER : t + ahead * env.period;
            if ((env_level | heard_pair) != before)
                for (int c = 0; c < 3; ++c)
                    if (regs[amp_reg(c)] & AMP_ENVELOPE)
                        changed |= 1 << c;
        }
        for (int c = 0; c < 3; ++c)
            if (changed & (1 << c))
                update(c, t);
    }
    tick = std::max(tick, until);
}

size_t PsgModel::take(std::vector<int16_t>& out)
{
    const int64_t end = static_cast<int64_t>(tick * 8 * setup.rate / setup.clock) - StepKernel::HALF + 1;
    if (end <= base)
        return 0;
    const size_t count = static_cast<size_t>(end - base);
    for (auto& d : diff)
        if (d.size() < count + StepKernel::STRIDE)
            d.resize(count + StepKernel::STRIDE + DIFF_ROOM, 0.0f);
    const size_t skip = base < 0 ? static_cast<size_t>(std::min<int64_t>(-base, end - base)) : 0;
    const size_t at = out.size();
    out.resize(at + 2 * (count - skip));
    int16_t* o = out.data() + at;
    const float* d0 = diff[0].data();
    const float* d1 = diff[1].data();
    const float* d2 = diff[2].data();
    for (size_t k = 0; k < count; ++k) {
        sum[0] += d0[k];
        sum[1] += d1[k];
        sum[2] += d2[k];
        if (k < skip)
            continue;
        for (int side = 0; side < 2; ++side) {
            const double x = gain[side][0] * sum[0] + gain[side][1] * sum[1] + gain[side][2] * sum[2];
            double* st = hp_state[side];
            const double y = hp_b[0] * x + hp_b[1] * st[0] + hp_b[2] * st[1] - hp_a[0] * st[2] - hp_a[1] * st[3];
            st[1] = st[0];
            st[0] = x;
            st[3] = st[2];
            st[2] = y;
            *o++ = to_sample(y * scale);
        }
    }
    // What lies past the taken samples moves to the front.
    const size_t live = diff_end > count ? diff_end - count : 0;
    for (auto& d : diff) {
        std::copy(d.begin() + static_cast<std::ptrdiff_t>(count), d.begin() + static_cast<std::ptrdiff_t>(count + live),
                  d.begin());
        std::fill(d.begin() + static_cast<std::ptrdiff_t>(live),
                  d.begin() + static_cast<std::ptrdiff_t>(std::max(diff_end, live)), 0.0f);
    }
    diff_end = live;
    base = end;
    next_out = std::max<int64_t>(end, 0);
    return count - skip;
}
