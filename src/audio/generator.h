// The device the audio output pulls from: it serves the sample FIFO and is
// never short (see fifo_read).
#pragma once

#include <QIODevice>

class Generator : public QIODevice {
    Q_OBJECT
public:
    qint64 readData(char* data, qint64 maxlen) override;
    qint64 writeData(const char* data, qint64 len) override;
};

extern Generator* generator;
