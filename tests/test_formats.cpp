// YM and VGM files: round trips through the readers and writers, what the
// headers hold, how VGM timing becomes frames, and the files import and
// export refuse.
#include "edit/optimize.h"
#include "formats/convert.h"
#include "formats/loop_export.h"
#include "formats/dump.h"
#include "formats/vgm.h"
#include "formats/ym.h"
#include "song/song.h"
#include "support/cli_run.h"
#include "support/psg_data.h"
#include "support/song_build.h"
#include "support/song_check.h"

#include <QProcess>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

// An envelope on channel A restarted with the same shape every 7 frames,
// a tone that moves every frame, a run of waits, and writes after the last
// frame end.
QByteArray envelope_song()
{
    PsgBuilder b;
    b.write(7, 0x3E).write(8, 0x10).write(11, 0x30).write(12, 0);
    for (int f = 0; f < 120; ++f) {
        b.write(0, (f * 13) & 0xFF).write(1, f >> 6);
        if (f % 7 == 0)
            b.write(13, 0x0E);
        b.end();
    }
    b.wait(3).write(13, 0x0E).write(13, 0x0E).end(2).wait(255).end(3);
    b.write(0, 1).write(13, 8);  // never played
    return b.bytes;
}

// Random registers and values, high bits and R14/R15 included, and one
// frame that overfills the register queue.
QByteArray random_song()
{
    PsgBuilder b;
    const std::vector<uint16_t> keys = random_keys(3000, 7);
    for (size_t k = 0; k < keys.size(); ++k) {
        b.write(keys[k] >> 8, keys[k] & 0xFF);
        if (k % 5 == 4)
            b.end(1 + static_cast<int>(k % 3));
    }
    for (int k = 0; k < 1200; ++k)
        b.write(k % 16, k & 0xFF);
    b.end(4);
    return b.bytes;
}

// The same YM file with its registers frame by frame, and as YM5.
QByteArray ym_not_interleaved(const QByteArray& ym)
{
    const auto n = static_cast<qsizetype>(qFromBigEndian<quint32>(ym.constData() + 12));
    const qsizetype data = ym.size() - 4 - n * 16;
    QByteArray out = ym;
    out.replace(0, 4, "YM5!");
    out[19] = 0;  // attributes: not interleaved
    for (qsizetype f = 0; f < n; ++f)
        for (qsizetype r = 0; r < 16; ++r)
            out[data + f * 16 + r] = ym[data + r * n + f];
    return out;
}

QByteArray gzip(const QByteArray& bytes)
{
    QProcess p;
    p.start("gzip", {"-c"});
    p.write(bytes);
    p.closeWriteChannel();
    p.waitForFinished();
    return p.readAllStandardOutput();
}

// A VGM file of version 1.71 with an AY at 1773400 Hz and these commands.
QByteArray vgm_file(const QByteArray& commands, uint32_t clock = 1773400, uint32_t loop_field = 0)
{
    QByteArray h(0x100, '\0');
    h.replace(0, 4, "Vgm ");
    qToLittleEndian<quint32>(loop_field, h.data() + 0x1C);
    qToLittleEndian<quint32>(0x171, h.data() + 0x08);
    qToLittleEndian<quint32>(0x100 - 0x34, h.data() + 0x34);
    qToLittleEndian<quint32>(clock, h.data() + 0x74);
    return h + commands;
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

}  // namespace

class TestFormats : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString put(const QString& name, const QByteArray& bytes) { return put_file(dir.path(), name, bytes); }

private slots:
    void round_trip_data()
    {
        QTest::addColumn<QByteArray>("song");
        QTest::addColumn<QByteArray>("format");
        const QByteArray songs[] = {envelope_song(), random_song()};
        const char* names[] = {"envelope", "random"};
        for (int s = 0; s < 2; ++s)
            for (const char* format :
                 {"ym", "ym5 not interleaved", "ym6 with digidrums", "vgm", "vgz", "vgz of two members"})
                QTest::addRow("%s %s", names[s], format) << songs[s] << QByteArray(format);
    }

    // The imported file renders exactly as the song.
    void round_trip()
    {
        QFETCH(QByteArray, song);
        QFETCH(QByteArray, format);
        QCOMPARE(load_psg(song), READ_COMPLETE);
        const QByteArray expected = rendered();
        const uint32_t length = frame_count;
        DumpInfo info;
        info.clock = DEFAULT_CLOCK;
        const RegisterDump dump = optimized_dump();
        QByteArray file = format.startsWith("ym") ? ym_write(dump, info) : vgm_write(dump, info, VGM_AY8910);
        if (format == "ym5 not interleaved")
            file = ym_not_interleaved(file);
        if (format == "vgz")
            file = gzip(file);
        if (format == "vgz of two members")
            file = gzip(file.left(file.size() / 3)) + gzip(file.mid(file.size() / 3));
        if (format == "ym6 with digidrums") {
            // Two samples after the header (no additional data): a 32-bit
            // size, then the sample.
            file[21] = 2;
            file.insert(34, hex("00000005 8090a0b0c0 00000003 7f0080"));
        }

        RegisterDump back;
        DumpInfo got;
        QByteArray error;
        const bool ok
            = format.startsWith("ym") ? ym_read(file, &back, &got, &error) : vgm_read(file, &back, &got, &error);
        QVERIFY2(ok, error.constData());
        QCOMPARE(load_psg(psg_encode(back)), READ_COMPLETE);
        QCOMPARE(frame_count, length);
        QVERIFY(rendered() == expected);
    }

    // A YM file packed by Debian's jlha ("jlha a0o5": header level 0,
    // -lh5-) from the export of this song.
    void packed_ym()
    {
        PsgBuilder b;
        b.write(7, 0x3E).write(11, 0x40).write(12, 0).write(8, 0x10);
        for (int k = 0; k < 200; ++k) {
            b.write(0, (k * 7) & 0xFF).write(1, (k >> 5) & 3);
            if (k % 16 == 0)
                b.write(13, 0x0A);
            b.end();
        }
        QCOMPARE(load_psg(b.bytes), READ_COMPLETE);
        const QByteArray expected = rendered();
        const QByteArray packed = read_file(qEnvironmentVariable("TRELVANE_SOURCE") + "/tests/data/packed_envelope.ym");
        RegisterDump dump;
        DumpInfo info;
        QByteArray error;
        QVERIFY2(ym_read(packed, &dump, &info, &error), error.constData());
        QCOMPARE(info.title, QByteArray("packed_song"));
        QCOMPARE(load_psg(psg_encode(dump)), READ_COMPLETE);
        QVERIFY(rendered() == expected);
    }

    void vgm_timing_data()
    {
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<QByteArray>("psg");  // the imported commands
        QTest::addColumn<QString>("note");
        QTest::newRow("long wait, write after the last frame")
            << hex("a0 00 05 61 e4 06 a0 00 06 66") << hex("00 05 ff ff 00 06") << "";
        QTest::newRow("60 Hz waits") << hex("a0 00 01 62 62 62 62 62 62 66") << hex("00 01 fe 01 ff") << "";
        QTest::newRow("write between frames")
            << hex("a0 00 05 7f a0 01 02 63 66") << hex("00 05 01 02 ff ff") << "between frame boundaries";
        QTest::newRow("other chips") << hex("50 9f 52 28 00 67 66 00 02 00 00 00 aa bb a0 08 0f 63 66")
                                     << hex("08 0f ff") << "other chips";
        QTest::newRow("second AY") << hex("a0 88 0f a0 08 0c 63 66") << hex("08 0c ff") << "second AY";
        // 55 waits of 16 samples and one of 2: 882, one frame.
        QTest::newRow("short waits") << hex("a0 00 05") + QByteArray(55, '\x7f') + hex("71 a0 00 06 63 66")
                                     << hex("00 05 ff 00 06 ff") << "";
        // Another chip's sample writes that wait n samples: 58 of 15 and one
        // of 12, one frame.
        QTest::newRow("sample writes' waits") << hex("a0 00 05") + QByteArray(58, '\x8f') + hex("8c a0 00 06 63 66")
                                              << hex("00 05 ff 00 06 ff") << "other chips";
    }

    void vgm_timing()
    {
        QFETCH(QByteArray, commands);
        QFETCH(QByteArray, psg);
        QFETCH(QString, note);
        RegisterDump dump;
        DumpInfo info;
        QByteArray error;
        QVERIFY2(vgm_read(vgm_file(commands), &dump, &info, &error), error.constData());
        QCOMPARE(psg_encode(dump).mid(16).toHex(' '), psg.toHex(' '));
        QCOMPARE(info.notes.join('\n').contains(note.toUtf8()), true);
        QCOMPARE(info.notes.isEmpty(), note.isEmpty());
    }

    // The AY's clock came into the header with version 1.51: from there on
    // a file may hold one.
    void vgm_versions_with_an_ay()
    {
        const struct {
            uint32_t version;
            bool read;
        } rows[] = {{0x150, false}, {0x151, true}, {0x160, true}, {0x171, true}};
        for (const auto& r : rows) {
            QByteArray file = vgm_file(hex("a0 00 05 63 66"));
            qToLittleEndian<quint32>(r.version, file.data() + 0x08);
            RegisterDump dump;
            DumpInfo info;
            QByteArray error;
            QVERIFY2(vgm_read(file, &dump, &info, &error) == r.read,
                     qPrintable(QString("version %1: %2").arg(r.version, 0, 16).arg(error.constData())));
        }
    }

    // The loop starts at the first frame boundary at or after its offset's
    // command; an offset that meets no command is dropped with a note.
    void loop_offsets()
    {
        // R0 = 1, a frame, R0 = 2, 16 samples, R0 = 3 (at sample 898, inside
        // frame 1), two frames.
        const QByteArray commands = hex("a0 00 01 63 a0 00 02 7f a0 00 03 63 63 66");
        const struct {
            const char* what;
            uint32_t field;  // counted from the field, as the file keeps it
            bool looped;
            uint32_t frame;
        } cases[] = {
            {"at the first wait", 0x100 - 0x1C + 3, true, 0},
            {"at a frame boundary", 0x100 - 0x1C + 4, true, 1},
            {"inside a frame", 0x100 - 0x1C + 8, true, 2},
            {"inside a command", 0x100 - 0x1C + 1, false, 0},
            {"before the data", 0x10, false, 0},
            {"outside the file", 0x7FFF0000, false, 0},
        };
        for (const auto& c : cases) {
            RegisterDump dump;
            DumpInfo info;
            QByteArray error;
            QVERIFY2(vgm_read(vgm_file(commands, 1773400, c.field), &dump, &info, &error), c.what);
            QVERIFY2(info.has_loop == c.looped, c.what);
            if (c.looped)
                QCOMPARE(info.loop_frame, c.frame);
            const QByteArray note = "loop offset 0x" + QByteArray::number(0x1C + qulonglong{c.field}, 16)
                + " is not at a command: no loop point";
            QVERIFY2(info.notes.contains(note) != c.looped, c.what);
        }
    }

    // What players read: the documented header fields, and the VGM
    // commands replayed frame by frame against the song.
    void headers()
    {
        PsgBuilder b;
        for (int f = 0; f < 1500; ++f) {
            b.write(0, f & 0xFF).write(8, f % 16);
            if (f % 50 == 0)
                b.write(13, 0x0C);
            b.end();
        }
        const QString psg = put("head.psg", b.bytes);
        for (const char* out : {"head.ym", "head.vgm"}) {
            const CliRun r = run_cli({"export", psg, "-o", out, "--clock", "1773400", "--loop", "1000"}, dir.path());
            QVERIFY2(r.status == 0, r.err.constData());
        }
        const QByteArray ym = read_file(dir.filePath("head.ym"));
        QCOMPARE(ym.left(12), QByteArray("YM6!LeOnArD!"));
        QCOMPARE(qFromBigEndian<quint32>(ym.constData() + 12), 1500u);  // frames
        QCOMPARE(qFromBigEndian<quint32>(ym.constData() + 16), 1u);     // interleaved
        QCOMPARE(qFromBigEndian<quint32>(ym.constData() + 22), 1773400u);
        QCOMPARE(qFromBigEndian<quint16>(ym.constData() + 26), quint16(50));
        QCOMPARE(qFromBigEndian<quint32>(ym.constData() + 28), 1000u);
        QCOMPARE(ym.mid(34, 15), QByteArray("head\0\0Trelvane\0", 15));  // name, author, comment
        QCOMPARE(ym.size(), 34 + 15 + 1500 * 16 + 4);
        QVERIFY(ym.endsWith("End!"));

        const QByteArray vgm = read_file(dir.filePath("head.vgm"));
        const auto le = [&](int at) { return qFromLittleEndian<quint32>(vgm.constData() + at); };
        QCOMPARE(vgm.left(4), QByteArray("Vgm "));
        QCOMPARE(le(0x08), 0x171u);
        QCOMPARE(le(0x04), quint32(vgm.size() - 4));
        QCOMPARE(le(0x18), 1500u * 882);
        QCOMPARE(le(0x20), 500u * 882);
        QCOMPARE(le(0x74), 1773400u);
        QCOMPARE(le(0x24), 50u);                   // frames a second
        QCOMPARE(static_cast<int>(vgm[0x78]), 0);  // AY-3-8910
        QCOMPARE(static_cast<int>(vgm[0x79]), 1);  // the usual output mode
        // GD3: version 1.00, the byte count, then eleven UTF-16LE strings:
        // the track's name first, who converted it tenth.
        const int gd3 = 0x14 + static_cast<int>(le(0x14));
        QCOMPARE(vgm.mid(gd3, 8), QByteArray("Gd3 \0\1\0\0", 8));
        QCOMPARE(gd3 + 12 + qsizetype{le(gd3 + 8)}, vgm.size());
        QCOMPARE(QString(QStringDecoder(QStringDecoder::Utf16LE).decode(vgm.mid(gd3 + 12))),
                 QStringLiteral("head%1Trelvane%2").arg(QString(9, QChar(0)), QString(2, QChar(0))));
        DumpInfo info;
        info.clock = DEFAULT_CLOCK;
        QCOMPARE(static_cast<int>(vgm_write(RegisterDump(), info, VGM_YM2149)[0x78]), 0x10);  // YM2149

        QCOMPARE(load_psg(b.bytes), READ_COMPLETE);
        uint8_t image[16] = {};
        uint32_t f = 0;
        int loop_frame = -1;
        int restarts = 0;
        for (qsizetype p = 0x34 + le(0x34); vgm[p] != '\x66'; ++p) {
            if (p == 0x1C + static_cast<qsizetype>(le(0x1C)))
                loop_frame = static_cast<int>(f);
            if (vgm[p] == '\x63') {
                QVERIFY2(memcmp(image, frames[f + 1].regs, 13) == 0, qPrintable(QString("frame %1").arg(f)));
                image[13] = 0;
                ++f;
                continue;
            }
            QCOMPARE(static_cast<uint8_t>(vgm[p]), uint8_t{0xA0});
            image[static_cast<uint8_t>(vgm[p + 1])] = static_cast<uint8_t>(vgm[p + 2]);
            if (vgm[p + 1] == 13) {
                QCOMPARE(f % 50, 0u);  // R13 exactly where the song restarts the envelope,
                ++restarts;            // though with the same shape each time
            }
            p += 2;
        }
        QCOMPARE(f, 1500u);
        QCOMPARE(restarts, 30);
        QCOMPARE(loop_frame, 1000);
    }

    void loop_choice_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("frame");   // -1: none
        QTest::addColumn<int>("length");  // frames in the file
        // An intro of 100 frames, then a pass of 300 frames three times. The
        // repetition starts at frame 99 (the intro's last frame is the
        // pass's last): auto keeps the intro and one pass from there;
        // --keep-all every frame, looping where the end, frame 1000, goes
        // on as frame 100 does.
        QTest::newRow("auto") << QStringList{"--loop", "auto"} << 99 << 399;
        QTest::newRow("auto by default") << QStringList{} << 99 << 399;
        QTest::newRow("auto, keep all") << QStringList{"--keep-all"} << 100 << 1000;
        QTest::newRow("frame 0") << QStringList{"--loop", "0"} << 0 << 1000;
        QTest::newRow("none") << QStringList{"--loop", "none"} << -1 << 1000;
        QTest::newRow("a frame") << QStringList{"--loop", "321"} << 321 << 1000;
        QTest::newRow("a time") << QStringList{"--loop", "0:01.5"} << 75 << 1000;
        QTest::newRow("seconds") << QStringList{"--loop", "12s"} << 600 << 1000;
    }

    void loop_choice()
    {
        QFETCH(QStringList, options);
        QFETCH(int, frame);
        QFETCH(int, length);
        PsgBuilder b;
        for (int i = 0; i < 99; ++i)
            b.write(0, i * 3).write(1, 2).write(8, 15).end();
        b.write(0, 43).write(1, 1).write(8, 15).end();
        for (int pass = 0; pass < 3; ++pass)
            for (int k = 0; k < 300; ++k)
                b.write(0, k & 0xFF).write(1, k >> 8).write(8, 15).end();
        const QString psg = put("chain.psg", b.bytes);
        for (const char* out : {"chain.ym", "chain.vgm"}) {
            const CliRun r = run_cli(QStringList{"export", psg, "-o", out} + options, dir.path());
            QVERIFY2(r.status == 0, r.err.constData());
        }
        const QByteArray ym = read_file(dir.filePath("chain.ym"));
        QCOMPARE(qFromBigEndian<quint32>(ym.constData() + 12), quint32(length));
        QCOMPARE(qFromBigEndian<quint32>(ym.constData() + 28), quint32(frame < 0 ? 0 : frame));
        const QByteArray vgm = read_file(dir.filePath("chain.vgm"));
        QCOMPARE(qFromLittleEndian<quint32>(vgm.constData() + 0x18), quint32(length * 882));
        QCOMPARE(qFromLittleEndian<quint32>(vgm.constData() + 0x20), quint32(frame < 0 ? 0 : (length - frame) * 882));
        // The loop offset: at the first command of the loop frame.
        qsizetype at = 0x34 + qFromLittleEndian<quint32>(vgm.constData() + 0x34);
        for (int f = 0; f < frame; ++at)
            if (vgm[at] == '\x63')
                ++f;
            else
                at += 2;
        QCOMPARE(qFromLittleEndian<quint32>(vgm.constData() + 0x1C), quint32(frame < 0 ? 0 : at - 0x1C));
    }

    // The bytes of each register in a YM file hold the chip's bits only: a
    // YM player takes the others for effects. Frame 1 writes nothing and
    // restarts no envelope.
    void ym_registers_hold_only_the_chips_bits()
    {
        RegisterDump dump;
        for (int r = 0; r < 16; ++r)
            dump.write(static_cast<uint8_t>(r), 0xFF);
        dump.end_frame();
        dump.end_frame();
        DumpInfo info;
        info.clock = DEFAULT_CLOCK;
        const QByteArray ym = ym_write(dump, info);
        const qsizetype data = ym.size() - 4 - 2 * 16;
        QByteArray got;
        for (int r = 0; r < 16; ++r)
            got += ym.mid(data + 2 * r, 2);
        QCOMPARE(got.toHex(' '),
                 hex("ffff 0f0f ffff 0f0f ffff 0f0f 1f1f ffff 1f1f 1f1f 1f1f ffff ffff 0fff 0000 0000").toHex(' '));
    }

    // Why an export of a song that never repeats has no loop point.
    void export_without_loop()
    {
        PsgBuilder b;
        for (int f = 0; f < 400; ++f)
            b.write(0, f & 0xFF).write(1, f >> 8).write(8, 15).end();
        QCOMPARE(load_psg(b.bytes), READ_COMPLETE);
        const struct {
            SongExport song;
            const char* note;
        } cases[] = {
            {export_with_auto_loop(), "written without a loop: the song does not repeat itself for 5 s or more"},
            {export_with_loop(0, 0), "written without a loop: no loop chosen"},
            {export_with_loop(3, 7),
             "written without a loop: the song does not repeat exactly with period 7 from frame 3"},
        };
        for (const auto& c : cases) {
            QCOMPARE(c.song.notes, QList<QByteArray>{c.note});
            QVERIFY(!c.song.has_loop);
            QCOMPARE(c.song.dump.frames(), 400u);
        }
    }

    // What a read leaves out or keeps differently, one note a line.
    void import_notes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("notes");
        DumpInfo info;
        info.clock = DEFAULT_CLOCK;
        RegisterDump dump;
        dump.write(0, 1);
        dump.end_frame();
        const QByteArray ym = ym_write(dump, info);
        QByteArray drum = ym;
        drum[21] = 1;
        drum.insert(34, hex("00000002 8090"));
        QTest::newRow("YM with one digidrum") << drum << QByteArray("its 1 digidrums are left out");
        QByteArray r15 = ym;
        r15[ym.size() - 5] = 1;  // R15 of the one frame, just before "End!"
        QTest::newRow("YM using R15") << r15
                                      << QByteArray(
                                             "its special effects (bits beyond the chip's registers) are left out");
        QByteArray slow = ym;
        qToBigEndian<quint32>(1000000, slow.data() + 22);
        QTest::newRow("YM at 1 MHz") << slow << QByteArray("chip clock 1000000 Hz; the periods are kept as written");
        // Bit 31 of the clock marks a second chip; the clock is the rest.
        QTest::newRow("VGM of two AYs") << vgm_file(hex("a0 00 01 63 66"), 0x80000000u | DEFAULT_CLOCK) << QByteArray();
    }

    void import_notes()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, notes);
        RegisterDump dump;
        DumpInfo info;
        QByteArray error;
        QVERIFY2(is_vgm(file) ? vgm_read(file, &dump, &info, &error) : ym_read(file, &dump, &info, &error),
                 error.constData());
        QCOMPARE(::import_notes(info).join('\n'), notes);
    }

    // The title a file's name gives an export, and the ending that picks
    // its format, in either case.
    void names_and_endings()
    {
        const struct {
            const char* path;
            const char* title;
            ExportFormat format;
        } cases[] = {
            {"/music/song.v2.VGM", "song.v2", EXPORT_VGM},
            {"dir.d/tune.Ym", "tune", EXPORT_YM},
            {"/music/.vgm", ".vgm", EXPORT_VGM},
            {"dir.d/plain", "plain", EXPORT_NONE},
            {"song.vgz", "song", EXPORT_NONE},
        };
        for (const auto& c : cases) {
            QCOMPARE(file_title(c.path), QByteArray(c.title));
            QVERIFY2(export_format(c.path) == c.format, c.path);
        }
    }

    void refusals_data()
    {
        DumpInfo info;
        info.clock = DEFAULT_CLOCK;
        QCOMPARE(load_psg(envelope_song()), READ_COMPLETE);
        const QByteArray ym = ym_write(optimized_dump(), info);
        QByteArray ym_loop = ym;
        qToBigEndian<quint32>(frame_count, ym_loop.data() + 28);
        QByteArray ym_check = ym;
        ym_check[6] = 'o';
        const QByteArray packed_ok
            = read_file(qEnvironmentVariable("TRELVANE_SOURCE") + "/tests/data/packed_envelope.ym");
        QByteArray packed = packed_ok;
        packed[200] = static_cast<char>(packed[200] ^ 0x55);
        const QByteArray vgm = vgm_write(optimized_dump(), info, VGM_YM2149);
        const QString end = QString::number(frame_count);

        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("says");
        const QStringList import{"import", "in", "-o", "out"};
        QTest::newRow("a PSG file") << import << envelope_song() << "in: not a YM or VGM file";
        QTest::newRow("truncated YM") << import << ym.left(ym.size() / 2) << "in: truncated";
        QTest::newRow("YM loop past the end") << import << ym_loop << "in: loop frame " + end + " past the last frame";
        QTest::newRow("YM3") << import << QByteArray("YM3!").append(14 * 3, '\0') << "in: a YM3 file";
        QTest::newRow("no check string") << import << ym_check << "in: no \"LeOnArD!\"";
        QTest::newRow("damaged LHA") << import << packed << "in: packed data damaged";
        QTest::newRow("LHA cut short") << import << packed_ok.left(packed_ok.size() - 40)
                                       << "in: packed data ends early";
        QTest::newRow("no LHA method") << import << QByteArray("xx-lh5x").append(30, '\0')
                                       << "in: not a YM or VGM file";
        QTest::newRow("truncated VGM") << import << vgm.left(0x120) << "in: truncated";
        QTest::newRow("VGM register 16") << import << vgm_file(hex("a0 10 00 66")) << "in: AY register 16";
        QTest::newRow("VGM without AY") << import << vgm_file(hex("66"), 0) << "in: no AY-3-8910";
        QByteArray vgm105 = vgm_file(hex("66"));
        qToLittleEndian<quint32>(0x105, vgm105.data() + 0x08);
        QTest::newRow("VGM before AYs") << import << vgm105 << "in: no AY-3-8910 / YM2149 in it (VGM version 1.05)";
        QByteArray ym_long = ym;
        qToBigEndian<quint32>(FRAMES_MAX_LEN, ym_long.data() + 12);
        QTest::newRow("YM longer than a song")
            << import << ym_long << "in: " + QString::number(FRAMES_MAX_LEN) + " frames: more than a song holds";
        QTest::newRow("damaged gzip") << import << gzip(vgm).left(40) << "in: gzip data ends early";
        QTest::newRow("VGM past the writes a song holds")
            << import << vgm_file(hex("a0 00 01").repeated(MUSIC_MAX_LEN + 1) + hex("66"))
            << "in: MUSIC_MAX_LEN is reached!";
        QByteArray lh9 = read_file(qEnvironmentVariable("TRELVANE_SOURCE") + "/tests/data/packed_envelope.ym");
        lh9.replace(2, 5, "-lh9-");
        QTest::newRow("LHA method not unpacked")
            << import << lh9 << "in: an LHA archive packed with -lh9-, a method Trelvane does not unpack";
        const QByteArray song = envelope_song();
        QTest::newRow("export to .wav") << QStringList{"export", "in", "-o", "out.wav"} << song << "-o must name";
        QTest::newRow("loop past the end") << QStringList{"export", "in", "-o", "out.vgm", "--loop", end} << song
                                           << "--loop " + end + " is past the end";
        QTest::newRow("--chip to YM") << QStringList{"export", "in", "-o", "out.ym", "--chip", "ay"} << song
                                      << "--chip is for .vgm";
        QTest::newRow("clock 0") << QStringList{"export", "in", "-o", "out.vgm", "--clock", "0"} << song
                                 << "--clock must be from 100000";
        QTest::newRow("unknown chip") << QStringList{"export", "in", "-o", "out.vgm", "--chip", "sid"} << song
                                      << "--chip must be ay|ym";
        QTest::newRow("trim from the end")
            << QStringList{"trim", "in", "-o", "x", "--from", end} << song << "no frames from " + end + " to " + end;
        QTest::newRow("a loop past every frame")
            << QStringList{"loop", "in", "-o", "x", "--start", "1", "--period", "4294967295"} << song
            << "--start + --period 4294967296 is past the end";
        QTest::newRow("a WAV file too long")
            << QStringList{"render", "in", "-o", "out.wav", "--accurate", "--rate", "192000", "--frame-rate", "10"}
            << psg_header() + QByteArray(60000, '\xff') << "can't write out.wav: the sound is too long for a WAV file";
    }

    // One line naming what is wrong, exit 2, nothing written.
    void refusals()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(QString, says);
        QTemporaryDir work;
        QFile in(work.filePath("in"));
        QVERIFY(in.open(QIODevice::WriteOnly) && in.write(input) == input.size());
        in.close();
        const CliRun r = run_cli(args, work.path());
        QCOMPARE(r.status, 2);
        const QByteArray line = r.err.left(r.err.indexOf('\n'));
        QVERIFY2(line.startsWith("trelvane-cli: " + says.toUtf8()), r.err.constData());
        QCOMPARE(QDir(work.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"in"});
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "test_formats.moc"
