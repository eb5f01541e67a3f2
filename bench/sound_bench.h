// What the benches that play sound through the window share.
#pragma once

#include "song/psg_read.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <vector>

// A chunk of the recording as it arrived.
struct Arrival {
    double time;
    int64_t pairs;  // pairs received up to and including this chunk
};

template <typename T> T percentile(std::vector<T> v, double q)
{
    if (v.empty())
        return T{};
    const size_t k = std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())));
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
    return v[k];
}

// The song of a PSG file's bytes read into memory as a file is.
inline bool read_song_bytes(const QByteArray& bytes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.psg"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return psg_read(QFile::encodeName(path).constData(), 0, true) == READ_COMPLETE;
}
