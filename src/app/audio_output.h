// The audio output: the default device, 44,100 Hz stereo 16-bit PCM, pulled
// from the Generator, which serves the sample FIFO.
#pragma once

#include <QAudioFormat>
#include <QObject>

class QAudioSink;

class AudioTest : public QObject {
    Q_OBJECT
public:
    AudioTest();
    QAudioFormat format;
    QAudioSink* output = nullptr;
};

constexpr int AUDIO_BUFFER_BYTES = 44100;

extern AudioTest* audio_test;

// Creates the generator and the output and starts pulling. If the default
// device cannot play the format, the message is shown and the process ends
// with status -4.
void audio_start();
