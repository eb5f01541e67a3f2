#include "audio/audio_output.h"

#include "app/app.h"
#include "audio/chip.h"
#include "audio/fifo.h"
#include "song/frontend.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>

Generator* generator;
AudioTest* audio_test;

qint64 Generator::readData(char* data, qint64 maxlen)
{
    return fifo_read(reinterpret_cast<uint8_t*>(data), maxlen);
}

qint64 Generator::writeData(const char*, qint64)
{
    return 0;
}

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
