// Turns the steps of a piecewise-constant signal into output samples
// without aliasing: each step is drawn as a band-limited step (the running
// integral of a Kaiser-windowed sinc) at its exact fractional time, into a
// buffer of differences that is summed up when the samples are taken.
#pragma once

#include <cstdint>
#include <vector>

class StepKernel {
public:
    static constexpr int HALF = 16;                    // samples the kernel reaches each side
    static constexpr int TAPS = 2 * HALF + 1;          // differences one step touches
    static constexpr int STRIDE = (TAPS + 3) / 4 * 4;  // TAPS padded with zeros
    static constexpr int PHASES = 512;                 // fractional positions in the table

    StepKernel();

    // Adds a step of height delta at time `at` + frac (0 <= frac < 1) to
    // the differences d, where d[0] belongs to sample at - HALF + 1; writes
    // STRIDE values (the last ones unchanged).
    void add(float* __restrict d, double frac, float delta) const
    {
        const double x = frac * PHASES;
        const int p = static_cast<int>(x);
        const float f = static_cast<float>(x - p);
        const float* __restrict base = table.data() + 2 * STRIDE * p;
        const float* __restrict slope = base + STRIDE;
        for (int j = 0; j < STRIDE; ++j)
            d[j] += delta * (base[j] + f * slope[j]);
    }

private:
    // For each phase: STRIDE differences of the step, then STRIDE slopes
    // toward the next phase (linear interpolation between phases).
    std::vector<float> table;
};
