// Looking at recorded sound: 16-bit little-endian stereo pairs at 44,100 Hz,
// as the sound server's monitor of the output hands them out. Square waves,
// silences and constant levels are found from sample values alone, so a
// recording may start with any amount of silence.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

struct Stereo {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
    int64_t size() const { return static_cast<int64_t>(left.size()); }
};

// Splits raw interleaved bytes into the two channels; a trailing partial
// pair is dropped.
Stereo split_stereo(const QByteArray& raw);

// Writes raw 16-bit little-endian PCM as a WAV file with a proper header.
bool write_wav(const QString& path, const QByteArray& raw, int rate = 44100, int channels = 2);

// The first pair index i >= from + 1 whose pair differs from pair i - 1, or
// -1 when the sound never changes there.
int64_t first_change(const Stereo& s, int64_t from = 0);
// The last pair index i < to (to = -1: the end) whose pair differs from pair
// i - 1, or -1 when there is none.
int64_t last_change(const Stereo& s, int64_t to = -1);

// Whether x holds one value over [from, to); the value goes to *level.
bool is_constant(const std::vector<int16_t>& x, int64_t from, int64_t to, int16_t* level = nullptr);

// A two-level square wave in [from, to) of one channel.
struct SquareWave {
    int rising_edges = 0;   // from low to high
    double period = 0;      // mean samples between rising edges
    int high_samples = 0;   // most common length of a high run
    int16_t low = 0;        // the lower of the two levels
    int16_t high = 0;       // the higher one
    int other_levels = 0;   // samples at neither level
    int odd_intervals = 0;  // edge distances 10 % or more off the median
};
SquareWave measure_square(const std::vector<int16_t>& x, int64_t from, int64_t to);

// Runs of one stereo pair repeated at least min_length times in [from, to):
// in a recording of a tone, the holes in it.
struct Run {
    int64_t start;
    int64_t length;
};
std::vector<Run> constant_runs(const Stereo& s, int64_t from, int64_t to, int64_t min_length);

// A tone's spectrum against its expected fundamental f0, over the 2^k
// samples from `from` (Blackman-Harris window): the energy that is no
// harmonic of f0 between 20 Hz and max_hz, and the second harmonic, in dB
// under the fundamental; and the frequency of the strongest partial,
// measured: the spectrum's peak, refined by the phase it gains between the
// beginning and the end of the stretch.
struct ToneSpectrum {
    double inharmonic_db;
    double second_db;
    double frequency;
};
ToneSpectrum tone_spectrum(const std::vector<int16_t>& x, int64_t from, int log2_length, double rate, double f0,
                           double max_hz = 16000);
