// The fast-forward of the accurate model and the settling of its sound.
#include "accurate/psg_model.h"

#include <algorithm>

namespace {

// The noise register's step is linear over two-valued bits: the state
// after 2^i steps is the xor of what each of its set bits becomes, looked
// up a byte at a time. Jumps of up to 2^17 steps (the register repeats
// after 2^17 - 1).
constexpr int POWERS = 17;
struct Jumps {
    uint32_t byte[POWERS][3][256];
};

uint32_t one_step(uint32_t x)
{
    return (x >> 1) | (((x ^ (x >> 3)) & 1) << 16);
}

uint32_t apply(const Jumps& j, int power, uint32_t x)
{
    return j.byte[power][0][x & 0xFF] ^ j.byte[power][1][(x >> 8) & 0xFF] ^ j.byte[power][2][x >> 16];
}

const Jumps& jumps()
{
    static const Jumps table = [] {
        Jumps j{};
        uint32_t bit[17];
        for (int b = 0; b < 17; ++b)
            bit[b] = one_step(1u << b);
        for (int i = 0; i < POWERS; ++i) {
            for (int k = 0; k < 3; ++k)
                for (uint32_t v = 0; v < 256; ++v) {
                    uint32_t y = 0;
                    for (int b = 0; b < 8 && 8 * k + b < 17; ++b)
                        if (v & (1u << b))
                            y ^= bit[8 * k + b];
                    j.byte[i][k][v] = y;
                }
            uint32_t twice[17];
            for (int b = 0; b < 17; ++b)
                twice[b] = apply(j, i, bit[b]);
            std::copy(twice, twice + 17, bit);
        }
        return j;
    }();
    return table;
}

}  // namespace

uint32_t PsgModel::noise_jump(uint32_t state, uint64_t steps)
{
    const Jumps& j = jumps();
    steps %= (1u << 17) - 1;
    for (int i = 0; steps; ++i, steps >>= 1)
        if (steps & 1)
            state = apply(j, i, state);
    return state;
}

void PsgModel::skip_to(uint64_t until)
{
    quiet = true;
    tick = std::max(tick, until);
    for (int c = 0; c < 3; ++c)
        sync_tone(c);
    sync_noise();
    sync_envelope();
    watch();
}

void PsgModel::settle()
{
    for (int c = 0; c < 3; ++c)
        sync_tone(c);
    sync_noise();
    sync_envelope();
    watch();
    const uint64_t num = tick * 8 * setup.rate;
    ref_tick = tick;
    ref_sample = static_cast<int64_t>(num / setup.clock);
    ref_rest = num % setup.clock;
    base = ref_sample - StepKernel::HALF + 1;
    next_out = std::max<int64_t>(base, 0);
    // The levels of now; the steps that brings are dropped with the rest.
    quiet = false;
    for (int c = 0; c < 3; ++c)
        update(c, tick);
    for (auto& d : diff)
        std::fill(d.begin(), d.end(), 0.0f);
    diff_end = 0;
    for (int c = 0; c < 3; ++c)
        sum[c] = level[c];
    for (int side = 0; side < 2; ++side) {
        const double x = gain[side][0] * sum[0] + gain[side][1] * sum[1] + gain[side][2] * sum[2];
        double* st = hp_state[side];
        st[0] = st[1] = x;  // a constant input for ever: the filter gives 0
        st[2] = st[3] = 0;
    }
}
