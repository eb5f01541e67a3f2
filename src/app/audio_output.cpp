#include "app/audio_output.h"

#include "app/app.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "audio/generator.h"
#include "audio/heard.h"
#include "io/report.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>

#include <cstdio>

AudioTest* audio_test;
int audio_buffer_bytes = AUDIO_BUFFER_BYTES;

namespace {

AudioHealth health;
uint64_t served_at_start;  // fifo_bytes_served() when the current output started

}  // namespace

AudioTest::AudioTest()
{
    format.setSampleRate(static_cast<int>(SAMPLE_RATE));
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);

    // Ready before the first start, which may already fail.
    retry = new QTimer(this);
    retry->setInterval(AUDIO_RETRY_MS);
    connect(retry, &QTimer::timeout, this, [this] { restart(); });
    devices = new QMediaDevices(this);
    connect(devices, &QMediaDevices::audioOutputsChanged, this, [this] {
        if (health.lost)
            restart();
    });

    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (!device.isFormatSupported(format)) {
        show_error(QStringLiteral("Format is not supported \n"));
        app_exit(-4);
    }
    output = new QAudioSink(device, format, this);
    if (!output) {
        show_error(QStringLiteral("Error opening audio device \n"));
        app_exit(-4);
    }
    output->setBufferSize(audio_buffer_bytes);
    watch(output);
    served_at_start = fifo_bytes_served();
    output->start(generator);
}

// A sink reports its end by going to the stopped state, with an error when
// its sound server went away. Nothing else stops it: the program never does.
//
// What Qt 6.4 does on PulseAudio, as seen here: when the daemon is killed,
// the sink goes to StoppedState with FatalError at once ("Stream error:
// Connection terminated") and readData is not called again; nothing blocks.
// Qt's connection to the server tries to come back once, about three
// seconds later; until it has, and for good if the server was not back by
// then, a new sink stops inside start() with FatalError, without waiting.
// A daemon that is stopped (SIGSTOP) rather than killed reports nothing:
// the reads just pause, and resume when it goes on.
// So the retries below bring the sound back whenever Qt can reach a server
// again, and cost nothing while it cannot.
void AudioTest::watch(QAudioSink* sink)
{
    connect(sink, &QAudioSink::stateChanged, this, [this, sink](QAudio::State state) {
        if (sink == output && state == QAudio::StoppedState && !health.lost)
            lose(sink->error());
    });
}

void AudioTest::lose(QAudio::Error error)
{
    health.lost = true;
    ++health.losses;
    static const char* const names[] = {"no error", "open error", "I/O error", "underrun", "fatal error"};
    const auto e = static_cast<unsigned>(error);
    fprintf(stderr, "The sound output stopped (%s); playing on without sound until it is back\n",
            e < 5 ? names[e] : "error");
    retry->start();
}

// A new sink on the default device. Creating and starting one does not wait
// for the sound server; one that cannot play stops at once and goes.
void AudioTest::restart()
{
    ++health.tries;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || !device.isFormatSupported(format))
        return;
    auto* sink = new QAudioSink(device, format, this);
    sink->setBufferSize(audio_buffer_bytes);
    const uint64_t served = fifo_bytes_served();
    sink->start(generator);
    if (sink->state() == QAudio::StoppedState) {
        sink->deleteLater();
        return;
    }
    output->deleteLater();
    output = sink;
    served_at_start = served;
    watch(sink);
    health.lost = false;
    ++health.restarts;
    retry->stop();
    fprintf(stderr, "The sound output is back\n");
}

uint64_t audio_queued_bytes()
{
    uint64_t queued = fifo_size();
    if (audio_test && audio_test->output && !health.lost)
        queued += sink_unplayed_bytes(fifo_bytes_served() - served_at_start, audio_test->output->processedUSecs());
    return queued;
}

AudioHealth audio_health()
{
    return health;
}

void audio_start()
{
    fifo_clear();
    delete generator;
    delete audio_test;
    generator = new Generator();
    // Unbuffered: the output takes exactly what it asks for from the FIFO,
    // with no read-ahead of the device's own in between.
    generator->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    audio_test = new AudioTest();
}
