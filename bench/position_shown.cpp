// The position shown against the frame heard: the real application plays a
// song whose every frame sounds its own number (channel A's level is the
// frame number's low four bits, channel C's the next four; tone and noise
// off, so each channel is a constant level for the whole frame), and the
// sound server's monitor is recorded with the time each chunk arrives.
// After every tick of the clock the play slider's value is noted with the
// time; the frame the recording holds at that time is the frame heard then.
// Reports the difference shown - heard (frames): median, 99th percentile,
// max of its size, and the share of ticks within 2 frames.
// Run by hand against the tests' private sound server:
//   S=$(scripts/pulse.sh start build/pulse)
//   PULSE_SERVER=$S QT_QPA_PLATFORM=offscreen build/bench/position_shown [seconds [monitor]]
//   scripts/pulse.sh stop build/pulse
// seconds: how long to measure after the first second (default 60); monitor:
// the source to record with parec (default trelvane_null.monitor).
#include "app/app.h"
#include "app/myclass.h"
#include "audio/chip.h"
#include "song/psg_read.h"
#include "song/song.h"
#include "sound_bench.h"
#include "support/psg_data.h"
#include "support/wave_analysis.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr double PAIR_RATE = SAMPLE_RATE;
constexpr int CODES = 256;  // frame numbers are told apart modulo this

// The level whose halved table value a sample holds, or -1.
int level_of(int16_t sample)
{
    for (int l = 0; l < 16; ++l)
        if (volume_table[l] / 2 == static_cast<uint16_t>(sample))
            return l;
    return -1;
}

struct Shown {
    double time;
    int frame;
    int rendered;  // the frame the clock renders next
};

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const QString monitor = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("trelvane_null.monitor");
    controller = new MyClass();
    int qt_argc = 1;
    char name[] = "position_shown";
    char* qt_argv[] = {name, nullptr};
    QApplication app(qt_argc, qt_argv);
    wall.start();
    app_start();

    PsgBuilder song;
    song.write(7, 0x3F).write(9, 0);
    const int frames_total = (seconds + 12) * 50;
    for (int f = 0; f < frames_total; ++f)
        song.write(8, f % 16).write(10, f / 16 % 16).end();
    if (!read_song_bytes(song.bytes))
        return 1;

    QProcess parec;
    QByteArray recording;
    std::vector<Arrival> arrivals;
    QObject::connect(&parec, &QProcess::readyReadStandardOutput, [&] {
        const double t = now();
        recording += parec.readAllStandardOutput();
        arrivals.push_back({t, recording.size() / 4});
    });
    parec.start(QStringLiteral("parec"),
                {QStringLiteral("--device=") + monitor, QStringLiteral("--format=s16le"),
                 QStringLiteral("--rate=44100"), QStringLiteral("--channels=2"), QStringLiteral("--raw"),
                 QStringLiteral("--latency-msec=5")});
    if (!parec.waitForStarted(5000))
        return 1;
    for (int i = 0; i < 500 && recording.size() < 4 * 22050; ++i)
        wait_ms(10);
    if (recording.size() < 4 * 22050) {
        fprintf(stderr, "no data from parec on %s\n", qPrintable(monitor));
        return 1;
    }

    // Made after the clock's own connection: runs after each tick.
    std::vector<Shown> shown;
    bool sampling = false;
    QObject::connect(play_timer, &QTimer::timeout, [&] {
        if (sampling)
            shown.push_back({now(), play_slider->value(), static_cast<int>(play_pos)});
    });
    find_button("Play from &Begin")->click();
    wait_ms(1000);
    sampling = true;
    wait_ms(seconds * 1000);
    sampling = false;
    find_button("S&top")->click();
    wait_ms(500);
    parec.terminate();
    parec.waitForFinished(5000);

    // When pair 0 of the recording went out: the earliest any chunk could
    // have (its arrival less the sound up to its end).
    double origin = 1e300;
    for (const Arrival& a : arrivals)
        origin = std::min(origin, a.time - static_cast<double>(a.pairs) / PAIR_RATE);
    const Stereo rec = split_stereo(recording);
    std::vector<int> apart;  // |shown - heard|
    std::vector<int> signed_apart;
    std::vector<int> ahead;  // rendered - heard: the sound queued, a check of the decoding
    int undecoded = 0;
    for (const Shown& s : shown) {
        const auto pair = static_cast<int64_t>((s.time - origin) * PAIR_RATE);
        if (pair < 0 || pair >= rec.size()) {
            ++undecoded;
            continue;
        }
        const int low = level_of(rec.left[size_t(pair)]), high = level_of(rec.right[size_t(pair)]);
        if (low < 0 || high < 0) {
            ++undecoded;
            continue;
        }
        const int code = high * 16 + low;
        const auto apart_from_code = [code](int frame) {
            int d = ((frame - code) % CODES + CODES) % CODES;
            return d >= CODES / 2 ? d - CODES : d;
        };
        const int d = apart_from_code(s.frame);
        ahead.push_back(apart_from_code(s.rendered));
        signed_apart.push_back(d);
        apart.push_back(std::abs(d));
    }
    if (apart.empty()) {
        fprintf(stderr, "no tick could be matched with the recording\n");
        return 1;
    }
    const auto within = std::count_if(apart.begin(), apart.end(), [](int d) { return d <= 2; });
    printf("position shown - frame heard over %zu ticks (%d not matched): median %d, 99th percentile %d, "
           "max %d frames (signed: median %d, min %d, max %d); within 2 frames: %.2f %%\n",
           apart.size(), undecoded, percentile(apart, 0.5), percentile(apart, 0.99),
           *std::max_element(apart.begin(), apart.end()), percentile(signed_apart, 0.5),
           *std::min_element(signed_apart.begin(), signed_apart.end()),
           *std::max_element(signed_apart.begin(), signed_apart.end()),
           100.0 * static_cast<double>(within) / static_cast<double>(apart.size()));
    printf("frames rendered ahead of the frame heard: median %d, min %d, max %d\n", percentile(ahead, 0.5),
           *std::min_element(ahead.begin(), ahead.end()), *std::max_element(ahead.begin(), ahead.end()));
    fflush(stdout);
    app_exit(0);
}
