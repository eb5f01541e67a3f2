// What the benches that play sound through the window share.
#pragma once

#include "app/app.h"
#include "song/psg_read.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

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

// Every time of a bench is in seconds of this clock, started by its main.
inline QElapsedTimer wall;

inline double now()
{
    return static_cast<double>(wall.nsecsElapsed()) / 1e9;
}

// Runs the event loop for ms milliseconds.
inline void wait_ms(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The window's button with this caption, or null.
inline QPushButton* find_button(const char* caption)
{
    for (QPushButton* b : main_window->findChildren<QPushButton*>())
        if (b->text() == QString::fromLatin1(caption))
            return b;
    return nullptr;
}
