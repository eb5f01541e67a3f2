// The application as a whole process: start-up without a sound server,
// the exit status of "&Quit" and of closing the window, and the command line.
#include "support/psg_data.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

struct Run {
    int exit_code;
    QProcess::ExitStatus status;
    QString out;
};

Run run_probe(const QString& mode, const QStringList& args = {}, const QString& pulse = QString())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TRELVANE_PROBE"), mode);
    if (!pulse.isNull())
        env.insert(QStringLiteral("PULSE_SERVER"), pulse);
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("TRELVANE_BIN") + QStringLiteral("/tests/trelvane_probe"), args);
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return {-1000, QProcess::CrashExit, QString::fromUtf8(p.readAllStandardOutput())};
    }
    return {p.exitCode(), p.exitStatus(), QString::fromUtf8(p.readAllStandardOutput())};
}

}  // namespace

class TestAppProcess : public QObject {
    Q_OBJECT
private slots:
    void no_sound_server_ends_with_minus_four_and_no_window()
    {
        Run r = run_probe(QStringLiteral("quit"), {}, QStringLiteral("unix:/nonexistent/native"));
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.exit_code, 252);  // -4 as an exit status
        QVERIFY2(r.out.contains(QStringLiteral("BOX:Format is not supported \n")), qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("WINDOW:0")), qPrintable(r.out));
        QVERIFY(!r.out.contains(QStringLiteral("WINDOW:1")));
    }

    // A window test run where no sound server answers stops at once and
    // says why, instead of waiting for its time limit; also where there is
    // no pactl to ask the server first.
    void window_tests_without_a_sound_server_stop_at_once_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("pactl asked") << qEnvironmentVariable("PATH");
        QTest::newRow("no pactl") << QStringLiteral("/nonexistent");
    }

    void window_tests_without_a_sound_server_stop_at_once()
    {
        QFETCH(QString, path);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/native"));
        env.insert(QStringLiteral("PATH"), path);
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(qEnvironmentVariable("TRELVANE_BIN") + QStringLiteral("/tests/test_app_window"));
        const bool ended = p.waitForFinished(20000);
        if (!ended) {
            p.kill();
            p.waitForFinished();
        }
        const QString out = QString::fromUtf8(p.readAll());
        QVERIFY2(ended && (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("run the tests with scripts/test.sh")), qPrintable(out));
    }

    void quit_and_close_end_with_status_zero_every_time()
    {
        for (const char* mode_name : {"quit", "close"}) {
            for (int i = 0; i < 20; ++i) {
                const QString mode = QString::fromLatin1(mode_name);
                Run r = run_probe(mode);
                QVERIFY2(r.status == QProcess::NormalExit && r.exit_code == 0,
                         qPrintable(QStringLiteral("%1 run %2: status %3 code %4 out %5")
                                        .arg(mode)
                                        .arg(i)
                                        .arg(r.status)
                                        .arg(r.exit_code)
                                        .arg(r.out)));
                QVERIFY(!r.out.contains(QStringLiteral("BOX:")));
            }
        }
    }

    // "&Load file" on a named pipe nobody writes to: the window does not wait
    // for a writer (the pipe reads as empty) and Alt+Q still quits at once.
    void a_pipe_without_writer_does_not_hold_the_window()
    {
        QTemporaryDir dir;
        const QString fifo = dir.filePath(QStringLiteral("pipe.psg"));
        QVERIFY(mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        qputenv("TRELVANE_PROBE_FILE", QFile::encodeName(fifo));
        QElapsedTimer took;
        took.start();
        Run r = run_probe(QStringLiteral("load_fifo"));
        QVERIFY2(r.status == QProcess::NormalExit && r.exit_code == 0, qPrintable(r.out));
        QVERIFY2(r.out.contains(QStringLiteral("LOADED")), qPrintable(r.out));
        QVERIFY2(took.elapsed() < 10000, qPrintable(QString::number(took.elapsed())));
    }

    void command_line_arguments_have_no_effect()
    {
        QString song = write_temp_psg(QStringLiteral("arg.psg"), psg_bytes({0, 1, 0xFF, 0xFF}));
        Run r = run_probe(QStringLiteral("state"),
                          {song, QStringLiteral("-platform"), QStringLiteral("xcb"), QStringLiteral("--help")});
        QCOMPARE(r.exit_code, 0);
        QVERIFY2(r.out.contains(QStringLiteral("STATE:frames=0 writes=0 playing=0 status=Play position=0:00:00.000, "
                                               "Cut position=0:00:00.000, Length=0:00:00.000")),
                 qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(TestAppProcess)
#include "test_app_process.moc"
