#include "app/audio_output.h"

#include "app/app.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "audio/generator.h"
#include "io/report.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>

AudioTest* audio_test;

AudioTest::AudioTest()
{
    format.setSampleRate(static_cast<int>(SAMPLE_RATE));
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);

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
    output->setBufferSize(AUDIO_BUFFER_BYTES);
    output->start(generator);
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
