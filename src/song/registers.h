// The sixteen registers of the sound chip as the song writes them: their
// numbers, what each keeps of a value written to it, and the bits of the
// mixer, the amplitudes and the envelope shape. Both chip models and
// everything that reads or writes register values name them from here.
#pragma once

#include <cstdint>

// R14 and R15 are the chip's I/O ports: neither model acts on them.
enum ChipReg : uint8_t {
    REG_TONE_A_FINE,
    REG_TONE_A_COARSE,  // tone period of A: coarse * 256 + fine
    REG_TONE_B_FINE,
    REG_TONE_B_COARSE,
    REG_TONE_C_FINE,
    REG_TONE_C_COARSE,
    REG_NOISE_PERIOD,
    REG_MIXER,  // bits 0-2: tone off for A, B, C; bits 3-5: noise off
    REG_AMP_A,
    REG_AMP_B,
    REG_AMP_C,  // bit 4: follow the envelope; else level 0-15
    REG_ENV_FINE,
    REG_ENV_COARSE,  // envelope period: coarse * 256 + fine
    REG_ENV_SHAPE,   // continue, attack, alternate, hold (bits 3..0)
    REG_PORT_A,
    REG_PORT_B,
    REG_COUNT
};

// What a register keeps of a value written to it.
inline constexpr uint8_t reg_mask[REG_COUNT]
    = {0xFF, 0x0F, 0xFF, 0x0F, 0xFF, 0x0F, 0x1F, 0xFF, 0x1F, 0x1F, 0x1F, 0xFF, 0xFF, 0x0F, 0xFF, 0xFF};

constexpr uint8_t tone_fine_reg(int channel)
{
    return static_cast<uint8_t>(REG_TONE_A_FINE + 2 * channel);
}
constexpr uint8_t amp_reg(int channel)
{
    return static_cast<uint8_t>(REG_AMP_A + channel);
}

// Mixer bits of channel 0..2 (A, B, C): set = that source is off.
constexpr uint8_t mixer_tone_off(int channel)
{
    return static_cast<uint8_t>(1u << channel);
}
constexpr uint8_t mixer_noise_off(int channel)
{
    return static_cast<uint8_t>(8u << channel);
}

// Amplitude register bits.
constexpr uint8_t AMP_ENVELOPE = 0x10;  // follow the envelope
constexpr uint8_t AMP_LEVEL = 0x0F;     // otherwise the fixed level

// Envelope shape bits.
constexpr uint8_t SHAPE_CONTINUE = 8, SHAPE_ATTACK = 4, SHAPE_ALTERNATE = 2, SHAPE_HOLD = 1;
