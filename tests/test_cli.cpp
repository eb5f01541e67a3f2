// The command-line tool, run as a separate process the way scripts run it.
#include "cli/arguments.h"
#include "cli/json.h"
#include "io/save.h"
#include "support/loop_songs.h"
#include "support/cli_run.h"
#include "support/psg_data.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <QtTest>

#include <csignal>
#include <functional>
#include <unistd.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

QByteArray stream(std::initializer_list<int> bytes)
{
    return psg_bytes(bytes).mid(16);
}

// Pseudo-random register writes that never repeat a long stretch of
// themselves, with a frame end after every per_frame writes.
QByteArray random_writes(int count, int per_frame, uint32_t seed)
{
    QByteArray s;
    for (int k = 0; k < count; ++k) {
        seed = seed * 1664525u + 1013904223u;
        s.append(static_cast<char>((seed >> 28) % 14));
        s.append(static_cast<char>(seed >> 16));
        if ((k + 1) % per_frame == 0)
            s.append('\xff');
    }
    return s;
}

// A channel-A tone: period value 100 (39 samples), fixed level 15, tone on
// for A only, noise off everywhere; then `frames` frame ends.
QByteArray tone_song(int frames)
{
    QByteArray s = stream({0x00, 100, 0x08, 15, 0x07, 0x3E});
    s.append(frames, '\xff');
    return psg_header() + s;
}

}  // namespace

class TestCli : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString put(const QString& name, const QByteArray& bytes) { return put_file(dir.path(), name, bytes); }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(cli_path()).isExecutable(), qPrintable(cli_path() + " is not built"));
        QVERIFY(dir.isValid());
    }

    void usage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"play", "a.psg"};
        QTest::newRow("no file") << QStringList{"info"};
        QTest::newRow("unknown option") << QStringList{"info", "a.psg", "--fast"};
        QTest::newRow("option of another command") << QStringList{"info", "a.psg", "--at", "3"};
        QTest::newRow("save without -o") << QStringList{"save", "a.psg"};
        QTest::newRow("cut without --at") << QStringList{"cut", "a.psg", "-o", "x"};
        QTest::newRow("two files to cut") << QStringList{"cut", "a.psg", "b.psg", "--at", "1", "-o", "x"};
        QTest::newRow("negative number") << QStringList{"find", "a.psg", "--from", "-1"};
        QTest::newRow("number too big") << QStringList{"find", "a.psg", "--from", "4294967296"};
        QTest::newRow("zero window") << QStringList{"find", "a.psg", "--window", "0"};
        QTest::newRow("option twice") << QStringList{"render", "a.psg", "-o", "a", "-o", "b"};
        QTest::newRow("value missing") << QStringList{"render", "a.psg", "-o"};
        QTest::newRow("flag with a value") << QStringList{"info", "a.psg", "--json=1"};
        QTest::newRow("--json to cut") << QStringList{"cut", "a.psg", "--at", "1", "-o", "x", "--json"};
        QTest::newRow("split without --silence") << QStringList{"split", "a.psg", "-o", "x"};
        QTest::newRow("no silence") << QStringList{"split", "a.psg", "--silence", "0", "-o", "x"};
        QTest::newRow("four decimals") << QStringList{"loops", "a.psg", "--min-seconds", "1.2345"};
        QTest::newRow("seconds without decimals") << QStringList{"loops", "a.psg", "--min-seconds=2."};
        QTest::newRow("trim without --from") << QStringList{"trim", "a.psg", "-o", "x"};
        QTest::newRow("narrow picture") << QStringList{"plot", "a.psg", "-o", "x.png", "--width", "10"};
        QTest::newRow("no pieces") << QStringList{"split", "a.psg", "--silence", "1", "-o", "x", "--max-pieces", "0"};
        QTest::newRow("--start without --period") << QStringList{"loop", "a.psg", "-o", "x", "--start", "5"};
        QTest::newRow("--pick with --start")
            << QStringList{"loop", "a.psg", "-o", "x", "--start", "5", "--period", "9", "--pick", "1"};
        QTest::newRow("a time that is not one") << QStringList{"cut", "a.psg", "--at", "1:75", "-o", "x"};
        QTest::newRow("--chip without --accurate") << QStringList{"render", "a.psg", "-o", "x", "--chip", "ym"};
        QTest::newRow("unknown chip") << QStringList{"render", "a.psg", "-o", "x", "--accurate", "--chip=sid"};
        QTest::newRow("slow clock") << QStringList{"render", "a.psg", "-o", "x", "--accurate", "--clock", "1000"};
        QTest::newRow("frame rate with four decimals")
            << QStringList{"render", "a.psg", "-o", "x", "--accurate", "--frame-rate", "48.8281"};
    }

    void usage()
    {
        QFETCH(QStringList, args);
        // Refused by the parser itself, not later by a missing a.psg.
        QList<QByteArray> words;
        for (const QString& a : args)
            words.append(a.toUtf8());
        QCOMPARE(parse_arguments(words).outcome, PARSE_ERROR);
        CliRun r = run_cli(args, dir.path());
        QCOMPARE(r.status, 2);
        QCOMPARE(r.out, QByteArray());
        QVERIFY2(r.err.startsWith("trelvane-cli: "), r.err.constData());
    }

    // Seconds as the parser takes them: up to three decimals after a dot,
    // digits on both sides of it, and more than 0.
    void seconds_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("ms");  // -1: refused
        QTest::newRow("whole") << QByteArray("5") << qint64(5000);
        QTest::newRow("a half") << QByteArray("0.5") << qint64(500);
        QTest::newRow("two decimals") << QByteArray("2.25") << qint64(2250);
        QTest::newRow("three decimals") << QByteArray("1.125") << qint64(1125);
        QTest::newRow("a millisecond") << QByteArray("0.001") << qint64(1);
        QTest::newRow("leading zeros") << QByteArray("007.50") << qint64(7500);
        QTest::newRow("the largest") << QByteArray("4294967.295") << qint64(4294967295);
        QTest::newRow("past the largest") << QByteArray("4294967.296") << qint64(-1);
        QTest::newRow("far past the largest") << QByteArray("5000000") << qint64(-1);
        QTest::newRow("exponent") << QByteArray("1e3") << qint64(-1);
        QTest::newRow("no whole part") << QByteArray(".5") << qint64(-1);
        QTest::newRow("nothing after the dot") << QByteArray("5.") << qint64(-1);
        QTest::newRow("four decimals") << QByteArray("1.2345") << qint64(-1);
        QTest::newRow("zero") << QByteArray("0.000") << qint64(-1);
        QTest::newRow("comma") << QByteArray("1,5") << qint64(-1);
        QTest::newRow("sign") << QByteArray("+1") << qint64(-1);
    }

    void seconds()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, ms);
        for (bool silence : {false, true}) {
            const CommandLine c
                = parse_arguments(silence ? QList<QByteArray>{"split", "a.psg", "--silence", value, "-o", "x"}
                                          : QList<QByteArray>{"loops", "a.psg", "--min-seconds=" + value});
            QCOMPARE(c.outcome, ms < 0 ? PARSE_ERROR : PARSE_RUN);
            if (ms >= 0)
                QCOMPARE(silence ? c.args.silence_ms.value_or(0) : c.args.min_ms.value_or(0), uint32_t(ms));
        }
    }

    // The least lengths hold exactly: `split` at a silence of --silence
    // seconds, `loops` with a repetition of --min-seconds.
    void least_lengths_data()
    {
        QTest::addColumn<QByteArray>("song");
        QTest::addColumn<QStringList>("args");  // the file goes after the command
        QTest::addColumn<QByteArray>("out");
        const auto tones_apart = [](int silent) {
            PsgBuilder s;
            s.write(0, 100).write(7, 0x3E).write(8, 15).end(20).write(8, 0).end(silent).write(8, 15).end(20);
            return s.bytes;
        };
        const QByteArray first("x.1.psg: frames 0 to 19, 0:00:00.000 to 0:00:00.380\n"),
            one("x.1.psg: frames 0 to 88, 0:00:00.000 to 0:00:01.760\n");
        QTest::newRow("silence of exactly 1 s") << tones_apart(50) << QStringList{"split", "--silence", "1", "-o", "x"}
                                                << first + "x.2.psg: frames 70 to 89, 0:00:01.400 to 0:00:01.780\n";
        QTest::newRow("silence a frame shorter")
            << tones_apart(49) << QStringList{"split", "--silence", "1", "-o", "x"} << one;
        QTest::newRow("silence a frame longer") << tones_apart(51) << QStringList{"split", "--silence", "1", "-o", "x"}
                                                << first + "x.2.psg: frames 71 to 90, 0:00:01.420 to 0:00:01.800\n";
        QTest::newRow("0.98 s of silence, 0.99 asked")
            << tones_apart(49) << QStringList{"split", "--silence", "0.99", "-o", "x"} << one;
        QTest::newRow("silence near the largest")
            << tones_apart(50) << QStringList{"split", "--silence", "4294967.277", "-o", "x"}
            << QByteArray("x.1.psg: frames 0 to 89, 0:00:00.000 to 0:00:01.780\n");

        // 129 frames of intro, a loop of 250 frames (5 s) played twice, then
        // 100 other frames, or none. The second pass starts a frame after a
        // multiple of 126, where stretches of half the length plus one would
        // all stick out of it.
        const QByteArray loop = random_writes(500, 2, 2);
        const QByteArray song = psg_header() + random_writes(258, 2, 1) + loop + loop;
        const QByteArray ending = song + random_writes(200, 2, 3);
        const QByteArray listed("start 129 (0:00:02.580), period 250 (0:00:05.000), repeat 379 (0:00:07.580), "
                                "for 250 frames (0:00:05.000)");
        const QByteArray none("Not found!\n");
        const QByteArray inner = listed + ", inner, stops 0:00:02.000 before the end\n";
        QTest::newRow("repetition of exactly 5 s") << ending << QStringList{"loops", "--min-seconds", "5"} << inner;
        QTest::newRow("repetition a frame longer") << ending << QStringList{"loops", "--min-seconds", "4.98"} << inner;
        QTest::newRow("inner, --to-end") << ending << QStringList{"loops", "--min-seconds", "5", "--to-end"} << none;
        QTest::newRow("repetition a frame shorter") << ending << QStringList{"loops", "--min-seconds", "5.02"} << none;
        QTest::newRow("repetition 10 ms shorter") << ending << QStringList{"loops", "--min-seconds", "5.01"} << none;
        QTest::newRow("to the end, exactly 5 s")
            << song << QStringList{"loops", "--min-seconds", "5"} << listed + " to the end\n";
        QTest::newRow("to the end, a frame shorter") << song << QStringList{"loops", "--min-seconds", "5.02"} << none;
        QTest::newRow("near the largest") << song << QStringList{"loops", "--min-seconds", "4294967.277"} << none;
    }

    void least_lengths()
    {
        QFETCH(QByteArray, song);
        QFETCH(QStringList, args);
        QFETCH(QByteArray, out);
        QTemporaryDir where;
        const QString file = put("least.psg", song);
        args.insert(1, file);
        QCOMPARE(run_cli(args, where.path()).out, out);
    }

    // A refusal says what the option takes, or names the folder.
    void usage_messages()
    {
        const char* const cases[][2] = {
            {"split a.psg --silence 0 -o x", "--silence needs seconds from 0.001 to 4294967.295, not '0'"},
            {"plot a.psg -o x.png --width 10", "--width needs a number from 320 to 16000, not '10'"},
            {"save a.psg -o music/", "-o music/ names a folder: give a file name in it"},
            {"render a.psg -o x --accurate --gain 41", "--gain needs decibels from -60 to 40, not '41'"},
            {"render a.psg -o x --accurate --gain=nan", "--gain needs decibels from -60 to 40, not 'nan'"},
            {"render a.psg -o x --gain 3", "--gain needs --accurate"},
            {"render a.psg -o x --accurate --frame-rate 5", "--frame-rate must be from 10 to 1000"},
            {"save a.psg -o /", "-o / names a folder: give a file name in it"},
        };
        for (const auto& c : cases)
            QCOMPARE(run_cli(QString::fromLatin1(c[0]).split(' ')).err,
                     QByteArray("trelvane-cli: ") + c[1] + "\nTry 'trelvane-cli --help'.\n");
    }

    void help_and_version()
    {
        CliRun help = run_cli({"--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.startsWith("Usage: trelvane-cli COMMAND"));
        for (const char* command :
             {"info", "find", "loops", "cut", "trim", "split", "optimize", "save", "render", "plot"})
            QVERIFY2(help.out.contains(QByteArray("\n  ") + command + " FILE"), command);
        QCOMPARE(run_cli({"cut", "--help"}).out, help.out);
        // After "--" every word is a file, "--help" too; "-" is standard input.
        const QList<QByteArray> cases[][2]
            = {{{"info", "-"}, {"-"}}, {{"info", "--", "--help", "-x"}, {"--help", "-x"}}};
        for (const auto& c : cases) {
            const CommandLine line = parse_arguments(c[0]);
            QCOMPARE(line.outcome, PARSE_RUN);
            QCOMPARE(line.args.files, c[1]);
        }

        CliRun version = run_cli({"--version"});
        QCOMPARE(version.status, 0);
        QVERIFY2(
            QRegularExpression("^trelvane-cli \\d+\\.\\d+\\.\\d+\n$").match(QString::fromUtf8(version.out)).hasMatch(),
            version.out.constData());
    }

    void info_and_joins()
    {
        // One write in frame 0, a wait of 4 frames, writes after the last end.
        const QString a = put("a.psg", psg_header() + stream({0x00, 1, 0xFF, 0xFE, 1, 0x01, 2, 0xFF, 0x02, 3}));
        CliRun one = run_cli({"info", a});
        QCOMPARE(one.status, 0);
        QCOMPARE(one.out, QByteArray("frames: 6\nwrites: 3\nlength: 0:00:00.120\n"));
        QCOMPARE(one.err, QByteArray());

        CliRun two = run_cli({"info", a, a, a});
        QCOMPARE(two.out, QByteArray("frames: 18\nwrites: 9\nlength: 0:00:00.360\n"));

        // 180 waits of 1,000 frames: one hour.
        QByteArray hour = psg_header();
        for (int i = 0; i < 180; ++i)
            hour.append("\xfe\xfa", 2);
        QCOMPARE(run_cli({"info", put("hour.psg", hour)}).out,
                 QByteArray("frames: 180000\nwrites: 0\nlength: 1:00:00.000\n"));
        QCOMPARE(run_cli({"info", put("empty.psg", psg_header())}).out,
                 QByteArray("frames: 0\nwrites: 0\nlength: 0:00:00.000\n"));
    }

    void bad_files()
    {
        // Rejected at 0xFD (offset 0x14): the frames before it count.
        const QString fd = put("fd.psg", psg_header() + stream({0x00, 1, 0xFF, 0xFF, 0xFD, 0x10, 0, 0xFF}));
        CliRun r = run_cli({"info", fd});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("frames: 2\nwrites: 1\nlength: 0:00:00.040\n"));
        QCOMPARE(r.err, "trelvane-cli: " + fd.toUtf8() + ": Wrong CMD 0xfd (0x14)\n");
        // ... and a join goes on after it.
        const QString ok = put("ok.psg", psg_header() + stream({0x01, 2, 0xFF}));
        QCOMPARE(run_cli({"info", fd, ok}).out, QByteArray("frames: 3\nwrites: 2\nlength: 0:00:00.060\n"));

        // One line with the system's reason; a file without the signature is
        // not taken.
        const QString missing = dir.filePath("missing.psg");
        const QString wave = put("wave.psg", "RIFF" + psg_header().mid(4) + stream({0x00, 1, 0xFF}));
        const struct {
            QStringList args;
            QString error;
        } refused[] = {
            {{"info", missing}, missing + ": No such file or directory"},
            {{"info", ok, missing}, missing + ": No such file or directory"},
            {{"info", dir.path()}, dir.path() + ": Is a directory"},
            {{"save", missing, "-o", dir.filePath("m")}, missing + ": No such file or directory"},
            {{"info", wave}, wave + ": not a PSG file"},
            {{"optimize", wave, "-o", dir.filePath("m")}, wave + ": not a PSG file"},
        };
        for (const auto& bad : refused) {
            r = run_cli(bad.args);
            QCOMPARE(r.status, 2);
            QCOMPARE(r.out, QByteArray());
            QCOMPARE(r.err, ("trelvane-cli: " + bad.error + "\n").toUtf8());
        }
        QVERIFY(!QFile::exists(dir.filePath("m.psg")));

        // 883 waits of 1,020 frames pass the 900,000 frames a song can hold.
        QByteArray huge = psg_header();
        for (int i = 0; i < 883; ++i)
            huge.append("\xfe\xff", 2);
        r = run_cli({"info", put("huge.psg", huge)});
        QCOMPARE(r.status, 2);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.err, "trelvane-cli: " + dir.filePath("huge.psg").toUtf8() + ": MUSIC_MAX_LEN is reached!\n");
    }

    void find()
    {
        // Three copies of a stretch of 12,500 writes, ten writes a frame.
        const QByteArray a = random_writes(12500, 10, 7);
        const QString song = put("three.psg", psg_header() + a + a + a);
        CliRun r = run_cli({"find", song});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("loop: frame 1250 write 12500\n"));
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(run_cli({"find", song, "--from", "12500"}).out, QByteArray("loop: frame 2500 write 25000\n"));

        r = run_cli({"find", song, "--from=25000"});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QByteArray("Not found!\n"));
        // Past the last write is a mistake, not a song without repetition.
        QCOMPARE(run_cli({"find", song, "--from", "37499"}).status, 1);
        r = run_cli({"find", song, "--from", "37500"});
        QCOMPARE(r.status, 2);
        QVERIFY2(r.err.startsWith("trelvane-cli: --from 37500 is past the last write (the song has 37500 writes)\n"),
                 r.err.constData());

        // abcde abcde x, one write a frame: with a window of 4 it repeats.
        QByteArray s;
        for (int k = 0; k < 11; ++k)
            s += stream({k == 10 ? 9 : k % 5, 0x40 + k % 5, 0xFF});
        const QString small = put("small.psg", psg_header() + s);
        QCOMPARE(run_cli({"find", small, "--window", "4"}).out, QByteArray("loop: frame 5 write 5\n"));
        QCOMPARE(run_cli({"find", small}).status, 1);
        // A window as long as the song, or far longer, fits nowhere.
        for (const char* window : {"11", "4294967295"}) {
            r = run_cli({"find", small, "--window", window});
            QCOMPARE(r.status, 1);
            QCOMPARE(r.out, QByteArray("Not found!\n"));
        }
    }

    void cut_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("head");
        QTest::addColumn<QString>("rest");
        QTest::newRow("plain") << "song"
                               << "song.psg"
                               << "song.rest.psg";
        QTest::newRow(".psg") << "song.psg"
                              << "song.psg"
                              << "song.rest.psg";
        QTest::newRow(".PSG") << "song.PSG"
                              << "song.PSG"
                              << "song.rest.psg";
        QTest::newRow(".ay") << "song.ay"
                             << "song.ay.psg"
                             << "song.ay.rest.psg";
    }

    void cut()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, head);
        QFETCH(QString, rest);
        QTemporaryDir out;
        // Frames: 0 {R0}, 1 {R1, R2}, 2..5 (a wait), 6 {R3}; R4 after the
        // last frame end, which no piece keeps.
        const QString song
            = put("cut.psg",
                  psg_header() + stream({0x00, 1, 0xFF, 0x01, 2, 0x02, 3, 0xFF, 0xFE, 1, 0x03, 4, 0xFF, 0x04, 5}));
        CliRun r = run_cli({"cut", song, "--at", "2", "-o", chosen}, out.path());
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, (head + "\n" + rest + "\n").toUtf8());
        const QByteArray head_bytes = psg_header() + stream({0x00, 1, 0xFF, 0x01, 2, 0x02, 3, 0xFF});
        QCOMPARE(read_file(out.filePath(head)), head_bytes);
        // The rest begins with the registers the song has at frame 2.
        QCOMPARE(read_file(out.filePath(rest)),
                 psg_header() + stream({0x00, 1, 0x01, 2, 0x02, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0x03, 4, 0xFF}));
        // Without the state the two pieces join back into the song.
        r = run_cli({"cut", song, "--at", "2", "-o", chosen, "--no-state"}, out.path());
        QCOMPARE(r.status, 0);
        QCOMPARE(read_file(out.filePath(head)), head_bytes);
        QCOMPARE(head_bytes + read_file(out.filePath(rest)).mid(16),
                 psg_header() + stream({0x00, 1, 0xFF, 0x01, 2, 0x02, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x03, 4, 0xFF}));

        // At the last frame the rest is only the header.
        r = run_cli({"cut", song, "--at", "7", "-o", out.filePath("end")});
        QCOMPARE(r.status, 0);
        QCOMPARE(read_file(out.filePath("end.rest.psg")), psg_header());

        for (const char* at : {"0", "8"}) {
            r = run_cli({"cut", song, "--at", at, "-o", out.filePath("bad")});
            QCOMPARE(r.status, 2);
            QCOMPARE(r.out, QByteArray());
            QVERIFY(!QFile::exists(out.filePath("bad.psg")) && !QFile::exists(out.filePath("bad.rest.psg")));
        }
        QCOMPARE(run_cli({"cut", song, "--at", "0", "-o", "x"}, out.path()).err,
                 "trelvane-cli: " + song.toUtf8() + ": Zero cut position\n");
    }

    void inputs_that_are_no_plain_files_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QByteArray>("fed");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("pipe") << "/dev/stdin" << psg_header() + stream({0x00, 1, 0xFF, 0xFE, 1, 0x01, 2, 0xFF}) << 0
                              << QByteArray("frames: 6\nwrites: 2\nlength: 0:00:00.120\n") << QByteArray();
        // Endless zeros: refused at the first bytes, which are no signature
        // (the window, which reads any header, stops at the song's capacity).
        QTest::newRow("endless device") << "/dev/zero" << QByteArray() << 2 << QByteArray()
                                        << QByteArray("trelvane-cli: /dev/zero: not a PSG file\n");
        QTest::newRow("read error") << "/proc/self/mem" << QByteArray() << 2 << QByteArray()
                                    << QByteArray("trelvane-cli: Can't read /proc/self/mem: Input/output error\n");
    }

    void inputs_that_are_no_plain_files()
    {
        QFETCH(QString, input);
        QFETCH(QByteArray, fed);
        CliRun r = run_cli({"info", input}, QString(), 0, fed);
        QTEST(r.status, "status");
        QTEST(r.out, "out");
        QTEST(r.err, "err");
    }

    // A command that fails leaves every file as it was and no other file:
    // also when it was to replace the very file it read.
    void failed_outputs_replace_nothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("folder");  // a folder stands under the rest name
        QTest::addColumn<rlim_t>("file_limit");
        const QString long_name(248, QLatin1Char('x'));  // the rest name gets too long
        QTest::newRow("save onto a full disk") << QStringList{"save", "big.psg", "-o", "in"} << false << rlim_t(4096);
        QTest::newRow("cut into itself, rest a folder")
            << QStringList{"cut", "in.psg", "--at", "1", "-o", "in"} << true << rlim_t(0);
        QTest::newRow("cut into itself, full disk")
            << QStringList{"cut", "big.psg", "--at", "1", "-o", "big"} << false << rlim_t(16384);
        QTest::newRow("cut into itself, name too long")
            << QStringList{"cut", long_name + ".psg", "--at", "1", "-o", long_name} << false << rlim_t(0);
    }

    void failed_outputs_replace_nothing()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, folder);
        QFETCH(rlim_t, file_limit);
        QTemporaryDir out;
        const QByteArray at = QFile::encodeName(out.path()) + '/';
        const QByteArray song = psg_header() + random_writes(300, 1, 5);
        QVERIFY(save_file(at + "in.psg", song) && save_file(at + QByteArray(248, 'x') + ".psg", song)
                && save_file(at + "big.psg", song + random_writes(6000, 1, 6)));
        if (folder)
            QVERIFY(QDir(out.path()).mkdir("in.rest.psg"));
        const QMap<QString, QByteArray> before = folder_listing(out.path());
        CliRun r = run_cli(args, out.path(), file_limit);
        QCOMPARE(r.status, 2);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(folder_listing(out.path()), before);
    }

    void names_are_bytes()
    {
        // Names that are not UTF-8, given by a shell (QProcess cannot pass them).
        QTemporaryDir out;
        const QByteArray song = psg_header() + stream({0x00, 1, 0xFF});
        const QByteArray folder = QFile::encodeName(out.path()) + '/';
        QVERIFY(save_file(folder + "b\xff.psg", song));
        QProcess p;
        p.setWorkingDirectory(out.path());
        p.start("/bin/sh", {"-c", "exec \"$0\" save \"$(printf 'b\\377.psg')\" -o \"$(printf 'c\\376')\"", cli_path()});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.readAllStandardOutput(), QByteArray("c\xfe.psg\n"));
        QFile copy;
        QVERIFY(copy.open(::open(folder + "c\xfe.psg", O_RDONLY), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        QCOMPARE(copy.readAll(), song);

        // import too: a VGM file of one empty frame.
        QByteArray vgm(0x100, '\0');
        vgm.replace(0, 4, "Vgm ");
        qToLittleEndian<quint32>(0x171, vgm.data() + 0x08);
        qToLittleEndian<quint32>(0x100 - 0x34, vgm.data() + 0x34);
        qToLittleEndian<quint32>(1773400, vgm.data() + 0x74);
        QVERIFY(save_file(folder + "v\xff.vgm", vgm + QByteArray::fromHex("63 66")));
        p.start("/bin/sh", {"-c", "exec \"$0\" import \"$(printf 'v\\377.vgm')\" -o v", cli_path()});
        QVERIFY(p.waitForFinished(60000));
        QCOMPARE(p.readAllStandardOutput(), QByteArray("v.psg\n1 frames\n"));
    }

    // A descriptor given as the output is written through, never replaced:
    // what the shell's > or >> put around it stays.
    void outputs_through_a_descriptor()
    {
        QTemporaryDir out;
        put_file(out.path(), "s.psg", tone_song(1));
        const struct {
            const char* shell;  // "$0" is the tool
            QByteArray begins;  // what out holds, then
            qsizetype size;
        } cases[] = {
            {"(echo hello; \"$0\" render s.psg -o /dev/stdout; echo world) > out", "hello\nRIFF", 6 + 44 + 3528 + 6},
            {"echo log > out; \"$0\" save s.psg -o - >> out", "log\nPSG\x1a", 4 + 16 + 6 + 1},
            {"echo log > out; \"$0\" render s.psg -o /dev/fd/1 >> out", "log\nRIFF", 4 + 44 + 3528},
            {"\"$0\" export s.psg -o - --loop none > out 2>/dev/null", "Vgm ", -1},
        };
        for (const auto& c : cases) {
            QProcess p;
            p.setWorkingDirectory(out.path());
            p.start("/bin/sh", {"-c", c.shell, cli_path()});
            QVERIFY2(p.waitForFinished(60000) && p.exitCode() == 0, p.readAllStandardError().constData());
            const QByteArray got = read_file(out.filePath("out"));
            QVERIFY2(got.startsWith(c.begins) && (c.size < 0 || got.size() == c.size), c.shell);
            QVERIFY2(c.size != 6 + 44 + 3528 + 6 || got.endsWith("world\n"), c.shell);
        }
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"out", "s.psg"}));
    }

    void save_joins()
    {
        // A's write after its last frame end and B's writes before its first
        // frame end make one frame.
        const QString a = put("ja.psg", psg_header() + stream({0x00, 1, 0xFF, 0x08, 15}));
        const QString b = put("jb.psg", psg_header() + stream({0x01, 2, 0xFF, 0xFE, 0, 0xFF}));
        const QString chosen = dir.filePath("joined");
        CliRun r = run_cli({"save", a, b, "-o", chosen});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, (chosen + ".psg\n").toUtf8());
        QCOMPARE(read_file(chosen + ".psg"), psg_header() + stream({0x00, 1, 0xFF, 0x08, 15, 0x01, 2, 0xFF, 0xFF}));
    }

    void render_wav_data()
    {
        QTest::addColumn<QStringList>("from");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("frames");
        QTest::newRow("from the beginning") << QStringList{} << 0 << 10;
        QTest::newRow("from frame 3") << QStringList{"--from", "3"} << 3 << 7;
        QTest::newRow("from the end") << QStringList{"--from", "10"} << 10 << 0;
        QTest::newRow("frames 2 to 5") << QStringList{"--from", "2", "--to", "6"} << 2 << 4;
        QTest::newRow("to frame 4") << QStringList{"--to=5"} << 0 << 5;
    }

    void render_wav()
    {
        QFETCH(QStringList, from);
        QFETCH(int, first);
        QFETCH(int, frames);
        const QString wav = dir.filePath("tone.wav");
        CliRun r = run_cli(QStringList{"render", put("tone.psg", tone_song(10)), "-o", wav} + from);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray());
        QCOMPARE(r.err, QByteArray());  // no progress bar off a terminal

        const QByteArray w = read_file(wav);
        // The same bytes into a pipe, which cannot be renamed over.
        QCOMPARE(run_cli(QStringList{"render", dir.filePath("tone.psg"), "-o", "/dev/stdout"} + from).out, w);
        const auto u32 = [&](int at) { return qFromLittleEndian<quint32>(w.constData() + at); };
        const auto u16 = [&](int at) { return qFromLittleEndian<quint16>(w.constData() + at); };
        const quint32 data = quint32(frames) * 882 * 4;
        QCOMPARE(quint32(w.size()), 44 + data);
        QCOMPARE(w.left(4), QByteArray("RIFF"));
        QCOMPARE(u32(4), 36 + data);
        QCOMPARE(w.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(u32(16), 16u);
        QCOMPARE(u16(20), quint16(1));  // PCM
        QCOMPARE(u16(22), quint16(2));
        QCOMPARE(u32(24), 44100u);
        QCOMPARE(u32(28), 176400u);
        QCOMPARE(u16(32), quint16(4));
        QCOMPARE(u16(34), quint16(16));
        QCOMPARE(w.mid(36, 4), QByteArray("data"));
        QCOMPARE(u32(40), data);

        // Channel A is on the left only: a square wave of 19 samples at half
        // the loudest level and 20 of silence, unbroken across frames. From
        // frame 3 the tone goes on in the phase it has there, though the song
        // writes its registers in frame 0.
        const quint32 skipped = quint32(first) * 882;
        for (quint32 i = 0; i < data / 4; ++i) {
            const qint16 left = qFromLittleEndian<qint16>(w.constData() + 44 + 4 * i);
            const qint16 right = qFromLittleEndian<qint16>(w.constData() + 46 + 4 * i);
            if (left != ((skipped + i) % 39 < 19 ? 16383 : 0) || right != 0)
                QFAIL(qPrintable(QString("sample %1: %2 %3").arg(i).arg(left).arg(right)));
        }
    }

    void render_accurate()
    {
        // 10 frames at 48.828 a second, 48 kHz: 9,830 pairs; --from 4 gives
        // the whole render's pairs from frame 4 on.
        const QStringList options{"--accurate", "--chip",       "ym",     "--pan",   "mono",   "--rate",
                                  "48000",      "--frame-rate", "48.828", "--clock", "2000000"};
        const QString song = put("tone.psg", tone_song(10));
        CliRun r = run_cli(QStringList{"render", song, "-o", dir.filePath("all.wav")} + options);
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QByteArray());
        const QByteArray all = read_file(dir.filePath("all.wav"));
        QCOMPARE(all.size(), 44 + 9830 * 4);
        QCOMPARE(qFromLittleEndian<quint32>(all.constData() + 24), 48000u);
        QCOMPARE(qFromLittleEndian<quint32>(all.constData() + 40), 9830u * 4);
        const QByteArray part = run_cli(QStringList{"render", song, "-o", "/dev/stdout", "--from", "4"} + options).out;
        const int first = 4 * 48000 * 1000 / 48828;
        QCOMPARE(part.mid(44), all.mid(44 + 4 * first));
        // Mono: the two sides alike, and the tone is heard.
        qint16 loudest = 0;
        for (int i = 44; i < all.size(); i += 4) {
            const qint16 left = qFromLittleEndian<qint16>(all.constData() + i);
            QCOMPARE(qFromLittleEndian<qint16>(all.constData() + i + 2), left);
            loudest = std::max(loudest, left);
        }
        QVERIFY(loudest > 4000);
        // 20 dB louder: the tone clips, and a note says so.
        r = run_cli(QStringList{"render", song, "-o", dir.filePath("loud.wav"), "--gain", "20"} + options);
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.startsWith("trelvane-cli: note: ") && r.err.contains(" samples clipped"), r.err.constData());
    }

    void json_answers()
    {
        const QString a
            = put("say \"hi\"\\.psg", psg_header() + stream({0x00, 1, 0xFF, 0xFE, 1, 0x01, 2, 0xFF, 0x02, 3}));
        const auto json = [](const CliRun& r) {
            QJsonParseError error{};
            const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
            if (error.error != QJsonParseError::NoError)
                qWarning("not JSON: %s", r.out.constData());
            return doc;
        };
        QCOMPARE(json(run_cli({"info", a, "--json"})).object(),
                 (QJsonObject{{"files", QJsonArray{a}},
                              {"frames", 6},
                              {"writes", 3},
                              {"length", "0:00:00.120"},
                              {"seconds", 0.12}}));

        QByteArray s;
        for (int k = 0; k < 11; ++k)
            s += stream({k == 10 ? 9 : k % 5, 0x40 + k % 5, 0xFF});
        const QString small = put("small.psg", psg_header() + s);
        QCOMPARE(json(run_cli({"find", small, "--window", "4", "--json"})).object(),
                 (QJsonObject{{"found", true}, {"frame", 5}, {"write", 5}, {"seconds", 0.1}}));
        CliRun r = run_cli({"find", small, "--json"});
        QCOMPARE(r.status, 1);
        QCOMPARE(json(r).object(), (QJsonObject{{"found", false}}));

        // 100 frames of intro, a loop of 300 frames and 200 of them again.
        const QByteArray loop = random_writes(600, 2, 2);
        const QString song = put("loop.psg", psg_header() + random_writes(200, 2, 1) + loop + loop.left(200 * 5));
        r = run_cli({"loops", song, "--json", "--min-seconds", "2.5"});
        QCOMPARE(r.status, 0);
        QCOMPARE(json(r).array(),
                 (QJsonArray{QJsonObject{{"start", 100},
                                         {"period", 300},
                                         {"repeat", 400},
                                         {"to_end", true},
                                         {"seconds", 4},
                                         {"repeat_seconds", 4}}}));
        QCOMPARE(run_cli({"loops", song, "--min-seconds=2.5"}).out,
                 QByteArray("start 100 (0:00:02.000), period 300 (0:00:06.000), repeat 400 (0:00:08.000), "
                            "for 200 frames (0:00:04.000) to the end\n"));
        r = run_cli({"loops", song, "--json"});
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QByteArray("[]\n"));
        QCOMPARE(run_cli({"loops", song}).out, QByteArray("Not found!\n"));

        // Any name is a JSON string that reads back as its characters, bytes
        // that are no UTF-8 as the replacement character; control
        // characters are escaped, as JSON allows them in no other way.
        for (const QByteArray& text : {QByteArray("tab\there, \x1f unit \x7f"), QByteArray("bad \xff\xc3( byte"),
                                       QByteArray("quote \" back \\ \xc3\xa9")}) {
            const QByteArray quoted = json_string(text);
            QVERIFY(std::none_of(quoted.begin(), quoted.end(), [](char c) { return static_cast<uint8_t>(c) < 0x20; }));
            const QJsonDocument doc = QJsonDocument::fromJson("[" + quoted + "]");
            QCOMPARE(doc.array().at(0).toString(), QString::fromUtf8(text));
        }
    }

    void trim()
    {
        QTemporaryDir out;
        // Frames: 0 {R0}, 1 {R1, R2}, 2..5 (a wait), 6 {R3}; R4 after the
        // last frame end.
        const QString song
            = put("trim.psg",
                  psg_header() + stream({0x00, 1, 0xFF, 0x01, 2, 0x02, 3, 0xFF, 0xFE, 1, 0x03, 4, 0xFF, 0x04, 5}));
        CliRun r = run_cli({"trim", song, "--from", "2", "--to", "6", "-o", "t"}, out.path());
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("t.psg\n"));
        QCOMPARE(read_file(out.filePath("t.psg")),
                 psg_header() + stream({0x00, 1, 0x01, 2, 0x02, 3, 0xFF, 0xFF, 0xFF, 0xFF}));
        // To the end; frame 1 writes R1 and R2 itself.
        QCOMPARE(run_cli({"trim", song, "--from", "1", "-o", "t.psg"}, out.path()).status, 0);
        QCOMPARE(read_file(out.filePath("t.psg")),
                 psg_header() + stream({0x00, 1, 0x01, 2, 0x02, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x03, 4, 0xFF}));
        for (const QStringList& bad : {QStringList{"--from", "7"}, QStringList{"--from", "3", "--to", "3"},
                                       QStringList{"--from", "0", "--to", "8"}}) {
            r = run_cli(QStringList{"trim", song, "-o", "bad"} + bad, out.path());
            QCOMPARE(r.status, 2);
            QVERIFY(!QFile::exists(out.filePath("bad.psg")));
        }
    }

    void positions()
    {
        // Text, and the frame it names (-1: refused).
        const QList<QPair<const char*, qint64>> rows = {
            {"125", 125},
            {"0:02.500", 125},
            {"4s", 200},
            {"0:00:03.000", 150},
            {"1:00:00.000", 180000},
            {"12.5s", 625},
            {"0:01", 50},
            {"0:00.009", 0},
            {"0:00.010", 1},
            {"0:00.031", 2},
            {"61:05.5", 183275},
            {"4294967295", 4294967295},
            {"23861:38:53", -1},
            {"4294967296", -1},
            {"0:60.000", -1},
            {"1:60:00", -1},
            {"0:2.500", -1},
            {"1:2:03", -1},
            {"0:02.5000", -1},
            {"0:02.", -1},
            {"s", -1},
            {"-1s", -1},
            {"1:00s", -1},
            {"1:00:00:00", -1},
            {"", -1},
            {" 5", -1},
        };
        for (const auto& row : rows) {
            uint32_t frame = 7;
            const bool ok = parse_position(QByteArray(row.first), &frame);
            QVERIFY2(ok == (row.second >= 0) && (!ok || frame == row.second), row.first);
        }
    }

    // A time names the same frame as its number, in every command that
    // takes a frame, and a time past the end is refused like the frame.
    void times_name_the_frames()
    {
        QTemporaryDir out;
        const QString song = put("times.psg", psg_header() + random_writes(3000, 10, 7));
        const QList<QPair<QStringList, QStringList>> same = {
            {{"trim", song, "--from", "0:02.500", "--to", "4s", "-o", "a"},
             {"trim", song, "--from", "125", "--to", "200", "-o", "b"}},
            {{"cut", song, "--at", "0:01.000", "-o", "a"}, {"cut", song, "--at", "50", "-o", "b"}},
            {{"render", song, "--from", "0:00:03.000", "-o", "a.psg"},
             {"render", song, "--from", "150", "-o", "b.psg"}},
        };
        for (const auto& pair : same) {
            QCOMPARE(run_cli(pair.first, out.path()).status, 0);
            QCOMPARE(run_cli(pair.second, out.path()).status, 0);
            QCOMPARE(read_file(out.filePath("a.psg")), read_file(out.filePath("b.psg")));
        }
        CliRun late = run_cli({"trim", song, "--from", "0:06.020", "-o", "c"}, out.path());
        QCOMPARE(late.status, 2);
        QVERIFY2(late.err.contains("--from 301 is past the end of the song (frame 300)"), late.err.constData());
        // trim --no-state: the piece's own writes only.
        QCOMPARE(run_cli({"trim", song, "--no-state", "--from", "125", "--to", "200", "-o", "n"}, out.path()).status,
                 0);
        QCOMPARE(read_file(out.filePath("n.psg")), psg_header() + random_writes(3000, 10, 7).mid(125 * 21, 75 * 21));
    }

    void loop_command()
    {
        QTemporaryDir out;
        const QString rec = put("rec.psg", loop_song(REWRITTEN_IN_LOOP).bytes);
        CliRun r = run_cli({"loop", rec, "-o", "x"}, out.path());
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out,
                 QByteArray("x.intro.psg\nx.loop.psg\nstart 250 (0:00:05.000), period 400 (0:00:08.000)\n"
                            "starts at 250 (0:00:05.000), not 92: R9 differs until frame 250\n"
                            "the loop piece plays right on its own\n"));
        r = run_cli({"loop", rec, "-o", "y.psg", "--pick", "1", "--json"}, out.path());
        QCOMPARE(r.status, 0);
        QCOMPARE(QJsonDocument::fromJson(r.out).object(),
                 QJsonObject({{"intro", "y.intro.psg"},
                              {"loop", "y.loop.psg"},
                              {"start", 250},
                              {"period", 400},
                              {"seconds", 8.0},
                              {"period_seconds", 8.0},
                              {"to_end", true},
                              {"candidate_start", 92},
                              {"moved_by", 158},
                              {"reason", "starts at 250 (0:00:05.000), not 92: R9 differs until frame 250"},
                              {"loop_alone_exact", true}}));
        QCOMPARE(read_file(out.filePath("y.loop.psg")), read_file(out.filePath("x.loop.psg")));
        // A loop named where the writes repeat but register 9 does not yet.
        r = run_cli({"loop", rec, "-o", "z", "--start", "0:02.020", "--period", "8s"}, out.path());
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("it does from frame 250 (0:00:05.000) on"), r.err.constData());
        QCOMPARE(run_cli({"loop", rec, "-o", "z", "--start", "250", "--period", "400"}, out.path()).status, 0);
        QCOMPARE(read_file(out.filePath("z.loop.psg")), read_file(out.filePath("x.loop.psg")));
        QCOMPARE(run_cli({"loop", rec, "-o", "w", "--pick", "9"}, out.path()).status, 2);
        const QString plain = put("plain.psg", loop_song(NEVER_REPEATS).bytes);
        QCOMPARE(run_cli({"loop", plain, "-o", "w"}, out.path()).status, 1);
        QVERIFY(!QFile::exists(out.filePath("w.intro.psg")) && !QFile::exists(out.filePath("w.loop.psg")));
        // A stretch played twice inside the song is no loop, unless named.
        const QString inside = put("inside.psg", loop_song(REPEATS_INSIDE).bytes);
        r = run_cli({"loop", inside, "-o", "w"}, out.path());
        QCOMPARE(r.status, 1);
        QCOMPARE(r.err,
                 "trelvane-cli: " + inside.toUtf8()
                     + ": no loop: the song does not end repeating itself; its longest repetition, 0:00:06.160 "
                       "from 0:00:09.840, stops 0:00:06.000 before the end\n");
        QVERIFY(!QFile::exists(out.filePath("w.intro.psg")) && !QFile::exists(out.filePath("w.loop.psg")));
        r = run_cli({"loop", inside, "-o", "w", "--pick", "1"}, out.path());
        QCOMPARE(r.status, 0);
        QVERIFY2(r.err.contains("the loop does not run to the song's end; its repetition stops at frame 800 "
                                "(0:00:16.000): the pieces leave out the last 300 frames (0:00:06.000) of the song"),
                 r.err.constData());
    }

    void split_three_tunes()
    {
        // Tune 1 on A, tune 2 on B with a short rest, tune 3 on C; silences
        // of 2 and 2.4 s between them, short ones before and after. The
        // mixer is set once, at the start.
        PsgBuilder s;
        s.write(7, 0x38).end(10);
        const auto tune = [&](int channel, int frames) {
            s.write(8 + channel, 12);
            for (int f = 0; f < frames; ++f)
                s.write(2 * channel, 60 + 7 * (f / 8 % 5)).end();
            s.write(8 + channel, 0);
        };
        tune(0, 80);  // frames 10..89
        s.end(100);   // 90..189
        tune(1, 60);  // 190..249
        s.end(20);    // 250..269
        tune(1, 40);  // 270..309
        s.end(120);   // 310..429
        tune(2, 70);  // 430..499
        s.end(30);
        const QString song = put("three.psg", s.bytes);
        QTemporaryDir out;
        QVERIFY(save_file(QFile::encodeName(out.filePath("tune.4.psg")), "older"));  // from an earlier split
        CliRun r = run_cli({"split", song, "--silence", "1.5", "-o", "tune"}, out.path());
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out,
                 QByteArray("tune.1.psg: frames 10 to 89, 0:00:00.200 to 0:00:01.780\n"
                            "tune.2.psg: frames 190 to 309, 0:00:03.800 to 0:00:06.180\n"
                            "tune.3.psg: frames 430 to 499, 0:00:08.600 to 0:00:09.980\n"));
        QCOMPARE(r.err, QByteArray("trelvane-cli: older pieces remain: tune.4.psg\n"));
        QCOMPARE(read_file(out.filePath("tune.4.psg")), QByteArray("older"));
        r = run_cli({"split", song, "--silence", "1.5", "-o", "tune", "--json", "--max-pieces", "3"}, out.path());
        const QJsonArray pieces = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(pieces.size(), 3);
        QCOMPARE(pieces[1].toObject(),
                 (QJsonObject{{"file", "tune.2.psg"},
                              {"first", 190},
                              {"last", 309},
                              {"first_time", "0:00:03.800"},
                              {"last_time", "0:00:06.180"}}));
        // Each is the piece of those frames with the state at its start.
        const int ranges[3][2] = {{10, 90}, {190, 310}, {430, 500}};
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(run_cli({"trim", song, "--from", QString::number(ranges[k][0]), "--to",
                              QString::number(ranges[k][1]), "-o", "piece"},
                             out.path())
                         .status,
                     0);
            QCOMPARE(read_file(out.filePath(QStringLiteral("tune.%1.psg").arg(k + 1))),
                     read_file(out.filePath("piece.psg")));
        }
        r = run_cli({"split", put("quiet.psg", psg_header() + stream({0x00, 100, 0x07, 0x3E}) + QByteArray(50, '\xff')),
                     "--silence", "1", "-o", "q"},
                    out.path());
        QCOMPARE(r.status, 1);
        QCOMPARE(r.out, QByteArray());
    }

    void optimize()
    {
        // The same three writes in 50 frames, then 40 empty frames.
        QByteArray s = psg_header();
        for (int f = 0; f < 50; ++f)
            s += stream({0x00, 100, 0x08, 15, 0x07, 0x3E, 0xFF});
        s += QByteArray(40, '\xff');
        QTemporaryDir out;
        CliRun r = run_cli({"optimize", put("repeats.psg", s), "-o", "small"}, out.path());
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QByteArray("writes 150 -> 3, bytes 406 -> 26\n"));
        QCOMPARE(read_file(out.filePath("small.psg")),
                 psg_header() + stream({0x00, 100, 0x08, 15, 0x07, 0x3E, 0xFE, 22, 0xFF, 0xFF}));
    }

    void plot_draws_the_channels()
    {
        // One song plays channel A, the other channel C: the picture of each
        // has the colour of its channel where the other has not.
        QByteArray c_song = tone_song(200);
        c_song.replace(16, 6, stream({0x04, 100, 0x0A, 15, 0x07, 0x3B}));
        const auto colours = [&](const QString& song, QStringList more) {
            const QString png = dir.filePath("plot.png");
            QFile::remove(png);
            CliRun r = run_cli(QStringList{"plot", song, "-o", png, "--width", "800"} + more);
            QImage image(png);
            if (r.status != 0 || image.width() != 800)
                qWarning("plot: status %d, %s, width %d", r.status, r.err.constData(), image.width());
            int blue = 0, green = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    blue += c.blue() > c.red() + 60 && c.blue() > c.green() + 30;
                    green += c.green() > c.red() + 40 && c.green() > c.blue() + 20;
                }
            }
            return std::make_pair(blue, green);
        };
        const auto a = colours(put("a.psg", tone_song(200)), {"--mark", "20", "--mark", "150"});
        const auto c = colours(put("c.psg", c_song), {});
        QVERIFY2(
            a.first > c.first + 1000 && c.second > a.second + 1000,
            qPrintable(
                QStringLiteral("blue %1 / %2, green %3 / %4").arg(a.first).arg(c.first).arg(a.second).arg(c.second)));
        QCOMPARE(run_cli({"plot", dir.filePath("a.psg"), "-o", dir.filePath("x.png"), "--mark", "201"}).status, 2);
        // The narrowest picture keeps its legend off the title and the
        // song's line (the rows above 50): none of its colours there.
        QCOMPARE(run_cli(
                     {"plot", dir.filePath("a.psg"), "-o", dir.filePath("n.png"), "--width", "320", "--mark", "200"})
                     .status,
                 0);  // a mark at the song's end
        const QImage narrow(dir.filePath("n.png"));
        int coloured = 0;
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < narrow.width(); ++x)
                coloured += narrow.pixelColor(x, y).saturation() > 150 && narrow.pixelColor(x, y).value() > 120;
        QCOMPARE(coloured, 0);
        // Without --width: 1200 px, as the help says. The repetition of the
        // loop (from 650 to the end) is shaded up to the song's end and no
        // further: the right margin stays white.
        const QString rec = put("rec.psg", loop_song(REWRITTEN_IN_LOOP).bytes);
        QCOMPARE(run_cli({"plot", rec, "-o", dir.filePath("r.png")}).status, 0);
        const QImage looped(dir.filePath("r.png"));
        QCOMPARE(looped.width(), 1200);
        for (int y = 100; y < 600; ++y)
            for (int x = 1190; x < 1200; ++x)
                QVERIFY2(looped.pixelColor(x, y) == QColor(Qt::white),
                         qPrintable(QStringLiteral("%1, %2").arg(x).arg(y)));
    }

    void failed_output_leaves_nothing()
    {
        QTemporaryDir out;
        const QString song = put("long.psg", tone_song(50));
        CliRun r = run_cli({"render", song, "-o", out.filePath("no/such/folder.wav")});
        QCOMPARE(r.status, 2);
        QVERIFY(r.err.contains("can't create"));
        r = run_cli({"render", song, "-o", out.filePath("x.wav"), "--from", "51"});
        QCOMPARE(r.status, 2);
        QVERIFY(QDir(out.path()).isEmpty());

        // The disk "fills up" (a file size limit) in the middle of the
        // render, or only when the last bytes go out: the old file stays.
        QFile::copy(song, out.filePath("old.wav"));
        for (int frames : {3, 50}) {
            r = run_cli({"render", put("short.psg", tone_song(frames)), "-o", "old.wav"}, out.path(), 4096);
            QCOMPARE(r.status, 2);
            QCOMPARE(read_file(out.filePath("old.wav")), read_file(song));
        }
        r = run_cli({"cut", put("big.psg", psg_header() + random_writes(80000, 10, 3)), "--at", "4000", "-o", "big"},
                    out.path(), 65536);
        QCOMPARE(r.status, 2);
        QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.wav"});

        // A device given as the name (a copy of /dev/full) fails the write
        // and is not deleted.
        const QString full = out.filePath("full.psg");
        if (mknod(QFile::encodeName(full).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0)
            QSKIP("cannot make a device node here (not root)");
        for (const QStringList& args :
             {QStringList{"save", song, "-o", full}, QStringList{"render", song, "-o", full}}) {
            r = run_cli(args);
            QCOMPARE(r.status, 2);
            struct stat st { };
            QVERIFY2(stat(QFile::encodeName(full).constData(), &st) == 0 && S_ISCHR(st.st_mode),
                     qPrintable(args.first() + " removed the device"));
        }
    }
    // Every fault an output can meet: refused before anything is written,
    // or failed with one line naming the file and the system's reason. The
    // folder stays exactly as it was, links as links.
    void output_faults()
    {
        QByteArray ten = psg_header(), var = ten;  // ten tunes between silences; var's fourth is long
        for (int k = 0; k < 10; ++k) {
            ten += stream({0x07, 0x3E, 0x08, 12, 0x00, 60 + k}) + QByteArray(50, '\xff') + stream({0x08, 0})
                + QByteArray(100, '\xff');
            var += stream({0x07, 0x3E, 0x08, 12}) + stream({0x00, 90 + k, 0xFF}).repeated(k == 3 ? 2000 : 50)
                + stream({0x08, 0}) + QByteArray(100, '\xff');
        }
        const auto link_to = [](const char* target, const char* name) {
            return [=](const QString& at) { QVERIFY(symlink(target, QFile::encodeName(at + name)) == 0); };
        };
        const QString long_name(300, QLatin1Char('n'));
        const struct {
            const char* what;
            std::function<void(const QString& at)> setup;
            QStringList args;
            rlim_t file_limit;
            QByteArray err;
        } cases[] = {
            {"a link to the other output",
             link_to("x.rest.psg", "x.psg"),
             {"cut", "in.psg", "--at", "9", "-o", "x"},
             0,
             "can't write x.rest.psg: the same file as x.psg"},
            {"hard links of one file",
             [](const QString& at) {
                 QVERIFY(link(QFile::encodeName(at + "x.rest.psg"), QFile::encodeName(at + "x.psg")) == 0);
             },
             {"cut", "in.psg", "--at", "9", "-o", "x"},
             0,
             "can't write x.rest.psg: the same file as x.psg"},
            {"a dangling link",
             link_to("nowhere.psg", "d.psg"),
             {"save", "in.psg", "-o", "d"},
             0,
             "can't write d.psg: a symbolic link to nothing (dangling)"},
            {"a loop of links",
             [&](const QString& at) { link_to("l2.psg", "l1.psg")(at), link_to("l1.psg", "l2.psg")(at); },
             {"save", "in.psg", "-o", "l1"},
             0,
             "can't write l1.psg: Too many levels of symbolic links"},
            {"a missing folder",
             {},
             {"save", "in.psg", "-o", "no/x"},
             0,
             "can't write no/x.psg: No such file or directory"},
            {"a name too long",
             {},
             {"save", "in.psg", "-o", long_name},
             0,
             "can't write " + long_name.toUtf8() + ".psg: File name too long"},
            {"a full disk",
             {},
             {"render", "in.psg", "-o", "/dev/full"},
             0,
             "can't write /dev/full: No space left on device"},
            {"a file size limit, render",
             {},
             {"render", "in.psg", "-o", "r.wav"},
             4096,
             "can't write r.wav: File too large"},
            {"a file size limit at the 4th of 10 older pieces",
             [](const QString& at) {
                 QCOMPARE(run_cli({"split", "ten.psg", "--silence", "1", "-o", "t"}, at).status, 0);
             },
             {"split", "var.psg", "--silence", "1", "-o", "t"},
             4096,
             "can't write t.4.psg: File too large"},
            {"more pieces than --max-pieces",
             {},
             {"split", "ten.psg", "--silence", "1", "-o", "u", "--max-pieces", "9"},
             0,
             "ten.psg: 10 pieces, more than --max-pieces 9; nothing written"},
        };
        for (const auto& c : cases) {
            QTemporaryDir out;
            const QString at = out.path() + '/';
            QVERIFY(save_file(QFile::encodeName(at + "in.psg"), psg_header() + random_writes(300, 1, 5))
                    && save_file(QFile::encodeName(at + "x.rest.psg"), "old rest")
                    && save_file(QFile::encodeName(at + "ten.psg"), ten)
                    && save_file(QFile::encodeName(at + "var.psg"), var));
            if (c.setup)
                c.setup(at);
            const QMap<QString, QByteArray> before = folder_listing(out.path());
            const CliRun r = run_cli(c.args, out.path(), c.file_limit);
            QVERIFY2(r.status == 2 && r.out.isEmpty(), c.what);
            QCOMPARE(r.err, "trelvane-cli: " + c.err + "\n");
            QVERIFY2(folder_listing(out.path()) == before, c.what);
        }
    }

    // As an ordinary user: a file read-only to the user is not replaced,
    // whoever owns it (root could write it in place, and may replace it),
    // and the folder's refusals are named with the system's reason.
    void outputs_of_an_ordinary_user()
    {
        if (geteuid() != 0)
            QSKIP("needs root, to run the tool as another user (nobody)");
        const uid_t nobody = 65534;
        const auto as_nobody = [nobody] {
            if (setgid(nobody) != 0 || setuid(nobody) != 0)
                _exit(99);
        };
        // The build may lie where nobody may not go (a 0700 home folder):
        // nobody runs a copy of the tool (it needs no file of the build).
        QTemporaryDir tool_dir(QDir::tempPath() + "/trelvane-tool-XXXXXX");
        const QString tool = tool_dir.filePath("trelvane-cli");
        QVERIFY(QFile::copy(cli_path(), tool));
        QVERIFY(chmod(QFile::encodeName(tool_dir.path()), 0755) == 0 && chmod(QFile::encodeName(tool), 0755) == 0);
        if (run_program(tool, {"--version"}, QDir::tempPath(), 0, {}, as_nobody).status != 0)
            QSKIP(qPrintable("nobody may not run a program in " + QDir::tempPath()));
        const struct {
            const char* what;
            mode_t folder;
            uid_t owner;  // of ro.psg
            mode_t mode;  // of ro.psg; 0: there is none
            QByteArray err;
        } cases[] = {
            {"the user's own 0444 file", 0777, nobody, 0444, "read-only (Permission denied)"},
            {"another user's 0444 file", 0777, 0, 0444, "read-only (Permission denied)"},
            {"a folder the user may not write", 0755, 0, 0, "Permission denied"},
            {"another user's file in a sticky folder", 01777, 0, 0666, "Operation not permitted"},
        };
        for (const auto& c : cases) {
            QTemporaryDir out;
            const QByteArray ro = QFile::encodeName(out.filePath("ro.psg"));
            QVERIFY(save_file(QFile::encodeName(out.filePath("in.psg")), psg_header() + stream({0x00, 1, 0xFF})));
            if (c.mode)
                QVERIFY(save_file(ro, "old") && chmod(ro.constData(), c.mode) == 0
                        && chown(ro.constData(), c.owner, 0) == 0);
            QVERIFY(chmod(QFile::encodeName(out.path()), c.folder) == 0);
            const QMap<QString, QByteArray> before = folder_listing(out.path());
            const CliRun r = run_program(tool, {"save", "in.psg", "-o", "ro.psg"}, out.path(), 0, {}, as_nobody);
            QVERIFY2(r.status == 2, c.what);
            QCOMPARE(r.err, "trelvane-cli: can't write ro.psg: " + c.err + "\n");
            QCOMPARE(folder_listing(out.path()), before);
            struct stat st { };
            QVERIFY(!c.mode
                    || (stat(ro.constData(), &st) == 0 && st.st_uid == c.owner && (st.st_mode & 07777) == c.mode));
        }

        // A set whose first piece is another user's in a sticky folder is
        // refused before anything is written: no link of that file is left.
        QTemporaryDir out;
        const QByteArray at = QFile::encodeName(out.path()) + '/';
        QVERIFY(save_file(at + "in.psg",
                          tone_song(50) + stream({0x08, 0}) + QByteArray(100, '\xff') + stream({0x08, 15})
                              + QByteArray(50, '\xff'))
                && save_file(at + "t.1.psg", "old 1") && save_file(at + "t.2.psg", "old 2")
                && chmod(at + "t.1.psg", 0666) == 0 && chown(at + "t.2.psg", nobody, nobody) == 0
                && chmod(out.path().toUtf8(), 01777) == 0);
        const QMap<QString, QByteArray> before = folder_listing(out.path());
        const CliRun r
            = run_program(tool, {"split", "in.psg", "--silence", "1", "-o", "t"}, out.path(), 0, {}, as_nobody);
        QCOMPARE(r.err, QByteArray("trelvane-cli: can't write t.1.psg: Operation not permitted\n"));
        QCOMPARE(folder_listing(out.path()), before);
    }

    // Ctrl+C, timeout's SIGTERM and a closed terminal in the middle of a
    // long render: the old file stays, no temporary file does. Under nohup
    // (SIGHUP ignored) the closed terminal changes nothing.
    void signals_leave_no_temporary_file()
    {
        const QString song = put("long.psg", tone_song(60000));  // a WAV of 210 MB
        const struct {
            int sig;
            bool ignored;
        } cases[] = {{SIGINT, false},  {SIGTERM, false}, {SIGHUP, false},  {SIGHUP, true},     {SIGQUIT, false},
                     {SIGXCPU, false}, {SIGALRM, false}, {SIGUSR1, false}, {SIGVTALRM, false}, {SIGPIPE, false}};
        for (const auto& c : cases) {
            const int sig = c.sig;
            QTemporaryDir out;
            QVERIFY(save_file(QFile::encodeName(out.filePath("old.wav")), "old"));
            QProcess p;
            const bool ignored = c.ignored;
            p.setChildProcessModifier([ignored] {
                signal(SIGINT, SIG_DFL);  // as a shell in the foreground leaves them
                signal(SIGPIPE, SIG_DFL);
                if (ignored)
                    signal(SIGHUP, SIG_IGN);
            });
            p.start(cli_path(), {"render", song, "-o", out.filePath("old.wav")});
            QVERIFY(p.waitForStarted());
            QElapsedTimer waited;
            waited.start();
            bool writing = false;
            while (!writing && waited.elapsed() < 30000 && p.state() == QProcess::Running) {
                for (const QFileInfo& e : QDir(out.path()).entryInfoList(QDir::Files | QDir::Hidden))
                    writing |= e.fileName().startsWith(".old.wav.") && e.size() > (1 << 20);
                QThread::msleep(5);
            }
            QVERIFY2(writing, "the render was not seen writing");
            ::kill(static_cast<pid_t>(p.processId()), sig);
            QVERIFY(p.waitForFinished(300000));
            if (c.ignored) {
                QCOMPARE(p.exitStatus(), QProcess::NormalExit);
                QCOMPARE(p.exitCode(), 0);
                QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.wav"});
                QCOMPARE(QFileInfo(out.filePath("old.wav")).size(), 44 + 60000 * 882 * 4);  // 16-bit stereo
                continue;
            }
            QCOMPARE(p.exitStatus(), QProcess::CrashExit);
            QCOMPARE(folder_listing(out.path()), (QMap<QString, QByteArray>{{"old.wav", "old"}}));
        }
    }

    // A file made where none was gets 0666 less the umask, as an editor's.
    void new_files_follow_the_umask()
    {
        const QString song = put("modes.psg",
                                 tone_song(100) + stream({0x08, 0}) + QByteArray(100, '\xff') + stream({0x08, 15})
                                     + QByteArray(100, '\xff'));
        const QStringList commands[] = {
            {"save", song, "-o", "f"},
            {"cut", song, "--at", "50", "-o", "f"},
            {"trim", song, "--from", "5", "-o", "f"},
            {"split", song, "--silence", "1", "-o", "f"},
            {"optimize", song, "-o", "f"},
            {"render", song, "-o", "f.wav"},
            {"plot", song, "-o", "f.png", "--width", "320"},
        };
        for (const QStringList& args : commands) {
            QTemporaryDir out;
            QCOMPARE(run_cli(args, out.path(), 0, {}, [] { umask(027); }).status, 0);
            const QStringList made = QDir(out.path()).entryList(QDir::Files | QDir::Hidden);
            QVERIFY2(!made.isEmpty(), qPrintable(args.first()));
            for (const QString& name : made)
                QVERIFY2(QFile::permissions(out.filePath(name))
                             == (QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser
                                 | QFile::ReadGroup),
                         qPrintable(args.first() + ' ' + name));  // 0640
        }
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
