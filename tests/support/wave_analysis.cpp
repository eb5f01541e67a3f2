#include "support/wave_analysis.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <map>

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
    return file.open(QIODevice::WriteOnly) && file.write(header) == header.size() &&
           file.write(raw) == raw.size();
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
