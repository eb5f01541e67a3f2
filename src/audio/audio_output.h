// The audio output: the default device, 44,100 Hz stereo 16-bit PCM, pulled
// from the Generator, which serves the sample FIFO.
#pragma once

#include <QAudioFormat>
#include <QIODevice>
#include <QObject>

class QAudioSink;

class Generator : public QIODevice {
    Q_OBJECT
public:
    qint64 readData(char* data, qint64 maxlen) override;
    qint64 writeData(const char* data, qint64 len) override;
};

class AudioTest : public QObject {
    Q_OBJECT
public:
    AudioTest();
    QAudioFormat format;
    QAudioSink* output = nullptr;
};

constexpr int AUDIO_BUFFER_BYTES = 44100;

extern Generator* generator;
extern AudioTest* audio_test;

// Creates the generator and the output and starts pulling. If the default
// device cannot play the format, the message is shown and the process ends
// with status -4.
void audio_start();
