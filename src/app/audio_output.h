// The audio output: the default device, 44,100 Hz stereo 16-bit PCM, pulled
// from the Generator, which serves the sample FIFO.
#pragma once

#include "audio/chip.h"

#include <QAudio>
#include <QAudioFormat>
#include <QObject>

class QAudioSink;
class QMediaDevices;
class QTimer;

class AudioTest : public QObject {
    Q_OBJECT
public:
    AudioTest();
    QAudioFormat format;
    QAudioSink* output = nullptr;

private:
    void watch(QAudioSink* sink);
    void lose(QAudio::Error error);
    void restart();

    QTimer* retry = nullptr;
    QMediaDevices* devices = nullptr;
};

// Four frames (80 ms): the shortest that played without a hole for a
// minute on a busy two-core machine (three frames left holes of 5-21 ms
// when the sound server was late); with the FIFO's reserve of two frames,
// sound is heard about 120 ms after it is rendered, where 44,100 bytes and
// six frames made it 370 ms.
constexpr int AUDIO_BUFFER_BYTES = static_cast<int>(4 * FRAME_BYTES);
// The buffer size asked of the output; benchmarks try others before
// audio_start.
extern int audio_buffer_bytes;
// How often a lost output is tried again.
constexpr int AUDIO_RETRY_MS = 1000;

extern AudioTest* audio_test;

// Creates the generator and the output and starts pulling. If the default
// device cannot play the format, the message is shown and the process ends
// with status -4.
//
// Once started, the program never ends for the output's sake. When the
// output stops (its sound server went away, the device was removed), the
// window and playback go on without sound: the clock keeps pushing frames
// into the FIFO, which keeps its bound. A new output on the default device
// is tried every AUDIO_RETRY_MS and whenever the list of devices changes,
// until one starts; the sound then resumes at the play position.
void audio_start();

// Sound rendered but not yet heard: what waits in the FIFO and what the
// output has taken but, by its own clock, not yet played.
uint64_t audio_queued_bytes();

// What became of the output since start-up.
struct AudioHealth {
    bool lost;     // the output stopped and none has started since
    int losses;    // times the output stopped
    int tries;     // new outputs tried while lost
    int restarts;  // of them, the ones that started
};
AudioHealth audio_health();
