#include "support/wave_analysis.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <map>
#include <cmath>
#include <complex>

namespace {

bool same_pair(const Stereo& s, int64_t i, int64_t j)
{
    return s.left[i] == s.left[j] && s.right[i] == s.right[j];
}

void put_le(QByteArray& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

Stereo split_stereo(const QByteArray& raw)
{
    Stereo s;
    const int64_t pairs = raw.size() / 4;
    s.left.resize(pairs);
    s.right.resize(pairs);
    const auto* p = reinterpret_cast<const uchar*>(raw.constData());
    for (int64_t i = 0; i < pairs; ++i) {
        s.left[i] = qFromLittleEndian<qint16>(p + 4 * i);
        s.right[i] = qFromLittleEndian<qint16>(p + 4 * i + 2);
    }
    return s;
}

bool write_wav(const QString& path, const QByteArray& raw, int rate, int channels)
{
    const uint32_t data_bytes = static_cast<uint32_t>(raw.size());
    const uint32_t block = static_cast<uint32_t>(channels) * 2;
    QByteArray header("RIFF");
    put_le(header, 36 + data_bytes, 4);
    header.append("WAVEfmt ");
    put_le(header, 16, 4);  // size of the format chunk
    put_le(header, 1, 2);   // integer PCM
    put_le(header, static_cast<uint32_t>(channels), 2);
    put_le(header, static_cast<uint32_t>(rate), 4);
    put_le(header, static_cast<uint32_t>(rate) * block, 4);
    put_le(header, block, 2);
    put_le(header, 16, 2);  // bits per sample
    header.append("data");
    put_le(header, data_bytes, 4);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(header) == header.size() && file.write(raw) == raw.size();
}

int64_t first_change(const Stereo& s, int64_t from)
{
    for (int64_t i = std::max<int64_t>(from, 0) + 1; i < s.size(); ++i)
        if (!same_pair(s, i, i - 1))
            return i;
    return -1;
}

int64_t last_change(const Stereo& s, int64_t to)
{
    if (to < 0 || to > s.size())
        to = s.size();
    for (int64_t i = to - 1; i >= 1; --i)
        if (!same_pair(s, i, i - 1))
            return i;
    return -1;
}

bool is_constant(const std::vector<int16_t>& x, int64_t from, int64_t to, int16_t* level)
{
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, static_cast<int64_t>(x.size()));
    if (from >= to)
        return false;
    for (int64_t i = from + 1; i < to; ++i)
        if (x[i] != x[from])
            return false;
    if (level)
        *level = x[from];
    return true;
}

SquareWave measure_square(const std::vector<int16_t>& x, int64_t from, int64_t to)
{
    SquareWave w;
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, static_cast<int64_t>(x.size()));
    if (to - from < 2)
        return w;
    const auto [lo, hi] = std::minmax_element(x.begin() + from, x.begin() + to);
    w.low = *lo;
    w.high = *hi;
    if (w.low == w.high)
        return w;
    const int mid = (int(w.low) + int(w.high)) / 2;

    std::vector<int64_t> edges;
    std::map<int64_t, int> high_runs;
    int64_t run_start = -1;  // start of the current high run, once a rising edge was seen
    for (int64_t i = from; i < to; ++i) {
        if (x[i] != w.low && x[i] != w.high)
            ++w.other_levels;
        if (i == from)
            continue;
        const bool was_high = x[i - 1] > mid;
        const bool is_high = x[i] > mid;
        if (!was_high && is_high) {
            edges.push_back(i);
            run_start = i;
        } else if (was_high && !is_high && run_start >= 0) {
            ++high_runs[i - run_start];
            run_start = -1;
        }
    }
    w.rising_edges = static_cast<int>(edges.size());
    if (edges.size() < 2)
        return w;

    std::vector<int64_t> gaps;
    for (size_t k = 1; k < edges.size(); ++k)
        gaps.push_back(edges[k] - edges[k - 1]);
    std::vector<int64_t> sorted = gaps;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const double median = static_cast<double>(sorted[sorted.size() / 2]);
    double sum = 0;
    int used = 0;
    for (int64_t g : gaps) {
        const double d = static_cast<double>(g);
        if (d >= median * 1.1 || d <= median * 0.9) {
            ++w.odd_intervals;
            continue;
        }
        sum += d;
        ++used;
    }
    w.period = used ? sum / used : 0;
    int best = 0;
    for (const auto& [length, count] : high_runs)
        if (count > best) {
            best = count;
            w.high_samples = static_cast<int>(length);
        }
    return w;
}

std::vector<Run> constant_runs(const Stereo& s, int64_t from, int64_t to, int64_t min_length)
{
    std::vector<Run> runs;
    from = std::max<int64_t>(from, 0);
    to = std::min<int64_t>(to, s.size());
    int64_t start = from;
    for (int64_t i = from + 1; i <= to; ++i) {
        if (i < to && same_pair(s, i, start))
            continue;
        if (i - start >= min_length)
            runs.push_back({start, i - start});
        start = i;
    }
    return runs;
}

namespace {

// In-place radix-2 FFT of n = 2^k complex values.
void fft(std::vector<std::complex<double>>& a)
{
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2 * M_PI / static_cast<double>(len);
        const std::complex<double> w(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> wk(1);
            for (size_t k = 0; k < len / 2; ++k, wk *= w) {
                const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * wk;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

// The Hann-windowed spectrum of x[from .. from + n) at f Hz.
std::complex<double> partial(const std::vector<int16_t>& x, int64_t from, int n, double rate, double f)
{
    std::complex<double> sum = 0;
    const std::complex<double> step = std::polar(1.0, -2 * M_PI * f / rate);
    std::complex<double> turn = 1;
    for (int i = 0; i < n; ++i, turn *= step) {
        const double w = 0.5 - 0.5 * std::cos(2 * M_PI * i / n);
        sum += w * x[static_cast<size_t>(from + i)] * turn;
    }
    return sum;
}

}  // namespace

ToneSpectrum tone_spectrum(const std::vector<int16_t>& x, int64_t from, int log2_length, double rate, double f0,
                           double max_hz)
{
    const size_t n = size_t{1} << log2_length;
    std::vector<std::complex<double>> a(n);
    double mean = 0;
    for (size_t i = 0; i < n; ++i)
        mean += x[static_cast<size_t>(from) + i];
    mean /= static_cast<double>(n);
    for (size_t i = 0; i < n; ++i) {
        const double k = 2 * M_PI * static_cast<double>(i) / static_cast<double>(n);
        const double w = 0.35875 - 0.48829 * std::cos(k) + 0.14128 * std::cos(2 * k) - 0.01168 * std::cos(3 * k);
        a[i] = (x[static_cast<size_t>(from) + i] - mean) * w;
    }
    fft(a);
    const double bin = rate / static_cast<double>(n);
    const double near = 8;  // bins of the window's main lobe and skirt
    double fundamental = 0, second = 0, other = 0;
    for (size_t i = 1; i < n / 2; ++i) {
        const double f = static_cast<double>(i) * bin;
        const double p = std::norm(a[i]);
        const double harmonic = std::round(f / f0);
        const bool on_harmonic = harmonic >= 1 && std::abs(f - harmonic * f0) <= near * bin;
        if (on_harmonic && harmonic == 1)
            fundamental += p;
        else if (on_harmonic && harmonic == 2)
            second += p;
        else if (!on_harmonic && f >= 20 && f <= max_hz)
            other += p;
    }
    const auto db = [&](double p) { return 10 * std::log10(std::max(p, 1e-30) / fundamental); };

    // The peak, between bins by a parabola through the log magnitudes: a
    // tenth of a bin at worst.
    size_t peak = 1;
    for (size_t i = 2; i < n / 2 - 1; ++i)
        if (std::norm(a[i]) > std::norm(a[peak]))
            peak = i;
    const double l = std::log(std::norm(a[peak - 1]) + 1e-30), c = std::log(std::norm(a[peak]) + 1e-30),
                 r = std::log(std::norm(a[peak + 1]) + 1e-30);
    const double coarse = (static_cast<double>(peak) + 0.5 * (l - r) / (l - 2 * c + r)) * bin;
    // The phase it gains over d samples tells it to far better than that,
    // once the whole turns are known from the peak (d < n: less than half a
    // turn's doubt per bin).
    const int part = static_cast<int>(n / 4);
    const int64_t d = static_cast<int64_t>(n) - part;
    const double turned = std::arg(partial(x, from + d, part, rate, coarse) / partial(x, from, part, rate, coarse));
    const double whole = std::round((coarse * static_cast<double>(d) / rate) - turned / (2 * M_PI));
    const double frequency = (whole + turned / (2 * M_PI)) * rate / static_cast<double>(d);
    return ToneSpectrum{db(other), db(second), frequency};
}
