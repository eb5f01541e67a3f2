// The sound server going away while a song plays, and coming back. This
// program runs its own PulseAudio daemon (scripts/pulse.sh, in the build
// folder's pulse-lost) and kills it, so the other tests keep theirs.
#include "app/app.h"
#include "app/audio_output.h"
#include "audio/fifo.h"
#include "song/song.h"
#include "support/app_driver.h"
#include "support/psg_data.h"
#include "support/wave_analysis.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <csignal>

namespace {

QString pulse_dir()
{
    return qEnvironmentVariable("TRELVANE_BIN") + QStringLiteral("/pulse-lost");
}

// scripts/pulse.sh start|stop on that folder, with events going on meanwhile.
QString pulse(const char* command)
{
    QProcess p;
    p.start(qEnvironmentVariable("TRELVANE_SOURCE") + QStringLiteral("/scripts/pulse.sh"),
            {QLatin1String(command), pulse_dir()});
    QElapsedTimer t;
    t.start();
    while (p.state() != QProcess::NotRunning && t.elapsed() < 20000)
        QTest::qWait(10);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// A minute of a 441 Hz tone on A (the left side) at full level.
QByteArray tone_song()
{
    QByteArray s = psg_header();
    s.append("\x00\xfd\x01\x00\x07\x3e\x08\x0f", 8);
    s.append(3000, '\xff');
    return s;
}

// Pairs of a recording at the tone's high level on the left.
int64_t tone_pairs(const QByteArray& raw)
{
    const Stereo s = split_stereo(raw);
    return std::count(s.left.begin(), s.left.end(), int16_t{32767 / 2});
}

}  // namespace

class TestAppSoundLost : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString server = pulse("start");
        QVERIFY2(server.startsWith(QLatin1String("unix:")), "the private sound server did not start");
        qputenv("PULSE_SERVER", server.toUtf8());
        qputenv("XDG_RUNTIME_DIR", (pulse_dir() + QStringLiteral("/runtime")).toUtf8());
        start_app();
    }
    void cleanupTestCase() { pulse("stop"); }

    // The server is killed while the song plays and started again at once
    // (the toolkit takes a few seconds to reconnect). Meanwhile the clock
    // plays on, the buttons work and the FIFO keeps its bound; then a new
    // output starts and the song is heard on the new server.
    void playback_goes_on_without_the_sound_server_and_is_heard_when_it_is_back()
    {
        answer({type_file(write_temp_psg(QStringLiteral("lost.psg"), tone_song()))});
        click(QStringLiteral("&Load file"));
        click(QStringLiteral("Play from &Begin"));
        // Two seconds taken by the first output before it goes.
        QTRY_VERIFY_WITH_TIMEOUT(fifo_stats().reads > 10 && play_pos > 100, 10000);
        QVERIFY(!audio_health().lost);

        QFile pid_file(pulse_dir() + QStringLiteral("/runtime/pid"));
        QVERIFY(pid_file.open(QIODevice::ReadOnly));
        QCOMPARE(kill(static_cast<pid_t>(pid_file.readAll().trimmed().toLong()), SIGKILL), 0);
        QTRY_VERIFY_WITH_TIMEOUT(audio_health().lost, 5000);
        const uint32_t lost_at = play_pos;
        QVERIFY(pulse("start").startsWith(QLatin1String("unix:")));

        uint64_t largest = 0;
        bool clicked = false;
        QElapsedTimer t;
        t.start();
        while ((audio_health().lost || !clicked) && t.elapsed() < 30000) {
            QTest::qWait(20);
            largest = std::max(largest, fifo_size());
            if (!clicked && play_pos >= lost_at + 25) {
                const uint32_t cut = cut_pos;
                click(QStringLiteral("Cut &position >"));
                QCOMPARE(cut_pos, cut + 1);
                click(QStringLiteral("S&top"));
                QCOMPARE(playing, 0);
                click(QStringLiteral("Pla&y"));
                QCOMPARE(playing, 1);
                clicked = true;
            }
        }
        const AudioHealth health = audio_health();
        qInfo("output lost for %lld ms, %u frames played meanwhile; largest FIFO %llu bytes, %llu dropped; "
              "%d outputs tried",
              static_cast<long long>(t.elapsed()), play_pos - lost_at, static_cast<unsigned long long>(largest),
              static_cast<unsigned long long>(fifo_stats().dropped_bytes), health.tries);
        QVERIFY2(clicked, "the clock stopped while the output was lost");
        QVERIFY2(largest <= FIFO_MAX_BYTES && fifo_stats().max_size <= FIFO_MAX_BYTES, "the FIFO grew past its bound");
        QVERIFY2(!health.lost, "no output started after the sound server came back");
        QCOMPARE(health.restarts, 1);

        QProcess parec;
        QByteArray data;
        connect(&parec, &QProcess::readyReadStandardOutput, [&] { data += parec.readAllStandardOutput(); });
        parec.start(QStringLiteral("parec"),
                    {QStringLiteral("--device=trelvane_null.monitor"), QStringLiteral("--format=s16le"),
                     QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"), QStringLiteral("--raw")});
        QVERIFY(parec.waitForStarted(10000));
        QTRY_VERIFY2_WITH_TIMEOUT(tone_pairs(data) >= 44100 / 10, "the song is not heard on the new server", 15000);
        QVERIFY(playing == 1);
        // In front of the speakers: the FIFO and what the new output holds
        // (its buffer of four frames, a read more and the server's own; about
        // three frames are seen), not what the lost one took.
        const uint64_t queued = audio_queued_bytes(), in_fifo = fifo_size();
        QVERIFY2(queued <= in_fifo + 8 * FRAME_BYTES,
                 qPrintable(QStringLiteral("%1 bytes queued, %2 in the FIFO").arg(queued).arg(in_fifo)));
        parec.kill();
        parec.waitForFinished(3000);
        click(QStringLiteral("S&top"));
    }
};

TRELVANE_APP_TEST_MAIN(TestAppSoundLost)
#include "test_app_sound_lost.moc"
