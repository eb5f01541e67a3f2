// plot: a picture of the song. For each channel its notes over time (the
// tone period as pitch, stronger where louder), its level, where it uses
// noise and the envelope; a time axis in seconds, marks at chosen frames
// and the best loop candidate.
#include "cli/cli.h"

#include "audio/chip.h"
#include "edit/loops.h"
#include "io/save.h"
#include "song/frontend.h"
#include "song/song.h"

#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

namespace {

constexpr uint32_t DEFAULT_WIDTH = 1200;
constexpr int CHANNELS = 3;

// Layout in pixels.
constexpr int LEFT = 72, RIGHT = 20;
constexpr int HEADER = 62, LEGEND_ROW_H = 18;
constexpr int PITCH_H = 150, LEVEL_H = 34, NOISE_H = 6, LANE_GAP = 16;
constexpr int LANE_H = PITCH_H + LEVEL_H + LANE_GAP;
constexpr int AXIS_H = 40;

const QColor channel_colour[CHANNELS] = {QColor(0x25, 0x63, 0xEB), QColor(0xDC, 0x26, 0x26),
                                         QColor(0x05, 0x96, 0x69)};
const QColor ink(0x1F, 0x29, 0x37), soft_ink(0x6B, 0x72, 0x80), grid(0xE3, 0xE7, 0xEC);
const QColor lane_fill(0xF7, 0xF8, 0xFA), noise_colour(0x4B, 0x55, 0x63);
const QColor loop_colour(0x7C, 0x3A, 0xED), mark_colour(0x11, 0x18, 0x27);

// What one channel does during a frame: the registers after its writes.
struct Voice {
    bool audible;   // some level, and tone or noise on
    bool tone;      // tone on and audible, with a period that makes a pitch
    bool noise;     // noise on and audible
    bool envelope;  // the level follows the envelope
    int level;      // 0..15; 15 with the envelope
    double note;    // pitch as a MIDI note number (69 = 440 Hz)
};

Voice voice(uint32_t frame, int c)
{
    const uint8_t* r = frames[frame + 1].regs;
    const uint8_t amp = r[amp_reg(c)] & reg_mask[amp_reg(c)];
    Voice v{};
    v.envelope = (amp & 0x10) != 0;
    v.level = v.envelope ? 15 : amp & 0x0F;
    const bool tone_on = ((r[REG_MIXER] >> c) & 1) == 0;
    const bool noise_on = ((r[REG_MIXER] >> (c + 3)) & 1) == 0;
    v.audible = v.level > 0 && (tone_on || noise_on);
    v.noise = v.audible && noise_on;
    const uint32_t fine = r[tone_fine_reg(c)];
    const uint32_t coarse = r[tone_fine_reg(c) + 1] & reg_mask[tone_fine_reg(c) + 1];
    const uint32_t samples = period_samples(coarse * 256 + fine);
    v.tone = v.audible && tone_on && samples >= 2;
    if (v.tone)
        v.note = 69 + 12 * std::log2(double(SAMPLE_RATE) / samples / 440.0);
    return v;
}

QFont font(int pixels, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

// A step for the time axis, in seconds, that leaves at least min_gap pixels
// between two ticks.
uint32_t tick_step(double pixels_per_second, int min_gap)
{
    static const uint32_t steps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 18000};
    for (uint32_t s : steps)
        if (s * pixels_per_second >= min_gap)
            return s;
    return 36000;
}

// Every label of one axis in one form: h:mm:ss where the song lasts an hour.
QString clock_text(uint32_t seconds, bool hours)
{
    if (hours)
        return QString::asprintf("%u:%02u:%02u", seconds / 3600, seconds / 60 % 60, seconds % 60);
    return QString::asprintf("%u:%02u", seconds / 60, seconds % 60);
}

class Picture {
public:
    Picture(int width, const QByteArray& name, const std::vector<uint32_t>& frames_marked,
            const LoopCandidate* best_loop)
        : marks(frames_marked), loop(best_loop), title(name)
    {
        plot_w = width - LEFT - RIGHT;
        // A legend that does not fit beside the title goes in rows below it.
        header = HEADER + legend_rows(width) * LEGEND_ROW_H;
        image = QImage(width, header + CHANNELS * LANE_H + AXIS_H, QImage::Format_RGB32);
        image.fill(Qt::white);
    }

    QImage draw()
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        find_note_range();
        draw_header(p);
        for (int c = 0; c < CHANNELS; ++c)
            draw_lane(p, c);
        draw_time_axis(p);
        draw_loop_and_marks(p);
        p.end();
        return image;
    }

private:
    int lane_top(int c) const { return header + c * LANE_H; }
    int x_of(uint32_t frame) const
    {
        return LEFT + (frame_count ? static_cast<int>(uint64_t{frame} * plot_w / frame_count) : 0);
    }
    // The frames column x of the plot stands for: at least one.
    void column_frames(int x, uint32_t& first, uint32_t& end) const
    {
        first = static_cast<uint32_t>(uint64_t(x) * frame_count / plot_w);
        end = static_cast<uint32_t>(uint64_t(x + 1) * frame_count / plot_w);
        if (end <= first)
            end = first + 1;
        if (end > frame_count)
            end = frame_count;
    }
    double y_of(double note, int c) const
    {
        return lane_top(c) + PITCH_H - 4 - (note - low_note) * (PITCH_H - 8) / (high_note - low_note);
    }

    void find_note_range()
    {
        double low = 1e9, high = -1e9;
        for (uint32_t f = 0; f < frame_count; ++f) {
            for (int c = 0; c < CHANNELS; ++c) {
                const Voice v = voice(f, c);
                if (v.tone && v.note >= 12 && v.note <= 132) {
                    low = std::min(low, v.note);
                    high = std::max(high, v.note);
                }
            }
        }
        if (low > high) {
            low = 48;
            high = 84;
        }
        low_note = std::floor(low / 12) * 12;
        high_note = std::ceil((high + 0.5) / 12) * 12;
        if (high_note - low_note < 24)
            high_note = low_note + 24;
    }

    void draw_header(QPainter& p)
    {
        p.setPen(ink);
        p.setFont(font(17, true));
        p.drawText(QPoint(LEFT, 26), title_text());
        p.setFont(font(12));
        p.setPen(soft_ink);
        p.drawText(QPoint(LEFT, 46), QFontMetrics(font(12)).elidedText(info_text(), Qt::ElideRight, plot_w));

        // The legend, right-aligned beside the title, or in rows below it.
        const QFontMetrics metrics(font(12));
        const int rows = legend_rows(image.width());
        int x = image.width() - RIGHT, row = 0;
        if (rows > 0)
            x = LEFT;
        for (int n = 0; n < LEGEND_ITEMS; ++n) {
            const int k = rows > 0 ? n : LEGEND_ITEMS - 1 - n;
            const int w = metrics.horizontalAdvance(legend_text(k)) + 36;
            if (rows > 0 && x + w > image.width() - RIGHT && x > LEFT) {
                x = LEFT;
                ++row;
            }
            const int left = rows > 0 ? x : x - w;
            const int base = rows > 0 ? HEADER + row * LEGEND_ROW_H + 8 : 42;
            p.setPen(ink);
            p.setFont(font(12));
            p.drawText(QPoint(left + 36, base), legend_text(k));
            legend_swatch(p, QRect(left + 14, base - 11, 16, 12), k);
            x = rows > 0 ? x + w : x - w;
        }
    }

    static constexpr int LEGEND_ITEMS = 9;
    static QString legend_text(int kind)
    {
        static const char* const texts[LEGEND_ITEMS] = {"A", "B", "C", "note", "level", "envelope", "noise", "loop", "mark"};
        return QString::fromLatin1(texts[kind]);
    }

    // Rows the legend needs below the title: none where it fits beside it.
    int legend_rows(int width) const
    {
        const QFontMetrics metrics(font(12));
        int total = 0;
        for (int k = 0; k < LEGEND_ITEMS; ++k)
            total += metrics.horizontalAdvance(legend_text(k)) + 36;
        const int beside = std::max(QFontMetrics(font(17, true)).horizontalAdvance(title_text()),
                                    metrics.horizontalAdvance(info_text()));
        if (LEFT + beside + 16 + total <= width - RIGHT)
            return 0;
        int rows = 1, x = LEFT;
        for (int k = 0; k < LEGEND_ITEMS; ++k) {
            const int w = metrics.horizontalAdvance(legend_text(k)) + 36;
            if (x + w > width - RIGHT && x > LEFT) {
                x = LEFT;
                ++rows;
            }
            x += w;
        }
        return rows;
    }

    QString title_text() const { return QFileInfo(QFile::decodeName(title)).fileName(); }
    QString info_text() const
    {
        char length[16];
        return QStringLiteral("%1  \u00b7  %2 frames  \u00b7  %3 register writes")
            .arg(QString::fromLatin1(format_time(frame_count, length)))
            .arg(frame_count)
            .arg(event_count);
    }

    void legend_swatch(QPainter& p, const QRect& r, int kind)
    {
        p.save();
        p.setPen(Qt::NoPen);
        switch (kind) {
        case 0:
        case 1:
        case 2:
            p.setBrush(channel_colour[kind]);
            p.drawRoundedRect(r, 3, 3);
            break;
        case 3:
            p.fillRect(r, lane_fill);
            p.fillRect(QRect(r.left() + 1, r.center().y() - 1, r.width() - 2, 3), ink);
            break;
        case 4: {
            QColor c = ink;
            c.setAlpha(90);
            p.fillRect(QRect(r.left(), r.top() + 5, r.width(), r.height() - 5), c);
            break;
        }
        case 5: {
            QColor c = ink;
            c.setAlpha(140);
            p.fillRect(r, QBrush(c, Qt::BDiagPattern));
            break;
        }
        case 6:
            p.fillRect(QRect(r.left(), r.top() + 3, r.width(), NOISE_H), noise_colour);
            break;
        case 7: {
            QColor c = loop_colour;
            c.setAlpha(40);
            p.fillRect(r, c);
            p.fillRect(QRect(r.left(), r.top(), 2, r.height()), loop_colour);
            break;
        }
        default:
            p.setPen(QPen(mark_colour, 1.5, Qt::DashLine));
            p.drawLine(r.center().x(), r.top(), r.center().x(), r.bottom());
            break;
        }
        p.restore();
    }

    void draw_lane(QPainter& p, int c)
    {
        const int top = lane_top(c);
        const int level_top = top + PITCH_H + 2;
        const int level_h = LEVEL_H - 2;
        p.fillRect(QRect(LEFT, top, plot_w, PITCH_H), lane_fill);
        p.fillRect(QRect(LEFT, level_top, plot_w, level_h), QColor(0xFB, 0xFB, 0xFC));

        // Octaves: a line and the name of each C.
        p.setFont(font(10));
        for (double n = low_note; n <= high_note + 0.01; n += 12) {
            const int y = static_cast<int>(std::lround(y_of(n, c)));
            p.setPen(grid);
            p.drawLine(LEFT, y, LEFT + plot_w - 1, y);
            p.setPen(soft_ink);
            p.drawText(QRect(LEFT - 34, y - 7, 30, 14), Qt::AlignRight | Qt::AlignVCenter,
                       QStringLiteral("C%1").arg(static_cast<int>(n) / 12 - 1));
        }
        // The channel's name.
        p.setPen(channel_colour[c]);
        p.setFont(font(22, true));
        p.drawText(QRect(6, top + PITCH_H / 2 - 16, 28, 32), Qt::AlignCenter, QString(QChar('A' + c)));
        p.setFont(font(10));
        p.setPen(soft_ink);
        p.drawText(QRect(LEFT - 62, level_top, 56, level_h), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("level"));

        // Column by column: every pitch the frames there play, and the
        // loudest level.
        p.setRenderHint(QPainter::Antialiasing, false);
        QColor level_colour = channel_colour[c];
        level_colour.setAlpha(110);
        QColor envelope_colour = channel_colour[c];
        envelope_colour.setAlpha(170);
        std::vector<int> strength(PITCH_H + 1);
        for (int x = 0; x < plot_w && frame_count; ++x) {
            uint32_t first, end;
            column_frames(x, first, end);
            std::fill(strength.begin(), strength.end(), 0);
            int level = 0;
            bool envelope = false, noise = false;
            for (uint32_t f = first; f < end; ++f) {
                const Voice v = voice(f, c);
                if (!v.audible)
                    continue;
                noise = noise || v.noise;
                if (v.envelope)
                    envelope = true;
                else
                    level = std::max(level, v.level);
                if (v.tone) {
                    const int row = static_cast<int>(std::lround(y_of(v.note, c))) - top;
                    if (row >= 0 && row <= PITCH_H)
                        strength[row] = std::max(strength[row], v.level);
                }
            }
            for (int row = 0; row <= PITCH_H; ++row) {
                if (!strength[row])
                    continue;
                QColor note = channel_colour[c];
                note.setAlpha(70 + strength[row] * 185 / 15);
                p.fillRect(QRect(LEFT + x, top + row - 1, 1, 3), note);
            }
            const int noise_top = level_top + level_h - NOISE_H;
            if (envelope)
                p.fillRect(QRect(LEFT + x, level_top, 1, level_h - NOISE_H - 1), QBrush(envelope_colour, Qt::BDiagPattern));
            if (level > 0) {
                const int h = (level_h - NOISE_H - 1) * level / 15;
                p.fillRect(QRect(LEFT + x, noise_top - 1 - h, 1, h), level_colour);
            }
            if (noise)
                p.fillRect(QRect(LEFT + x, noise_top, 1, NOISE_H), noise_colour);
        }
        p.setRenderHint(QPainter::Antialiasing, true);
    }

    void draw_time_axis(QPainter& p)
    {
        const int bottom = header + CHANNELS * LANE_H - LANE_GAP;
        const double seconds = double(frame_count) / FRAME_RATE;
        const double per_second = seconds > 0 ? plot_w / seconds : plot_w;
        const uint32_t step = tick_step(per_second, 70);
        p.setFont(font(11));
        for (uint32_t s = 0; s <= seconds; s += step) {
            const int x = x_of(s * FRAME_RATE);
            QColor line = grid;
            line.setAlpha(150);
            p.setPen(QPen(line, 1));
            for (int c = 0; c < CHANNELS; ++c)
                p.drawLine(x, lane_top(c), x, lane_top(c) + PITCH_H + LEVEL_H - 1);
            p.setPen(soft_ink);
            p.drawLine(x, bottom + 2, x, bottom + 7);
            p.drawText(QRect(x - 40, bottom + 8, 80, 16), Qt::AlignHCenter | Qt::AlignTop, clock_text(s, seconds >= 3600));
        }
        p.setPen(soft_ink);
        p.drawLine(LEFT, bottom + 2, LEFT + plot_w - 1, bottom + 2);
        p.drawText(QRect(LEFT, bottom + 22, plot_w, 16), Qt::AlignRight | Qt::AlignTop,
                   seconds >= 3600 ? QStringLiteral("time (hours:minutes:seconds)") : QStringLiteral("time (minutes:seconds)"));
    }

    void label(QPainter& p, int x, int y, const QString& text, const QColor& colour)
    {
        p.setFont(font(10, true));
        const QFontMetrics metrics(p.font());
        const int w = metrics.horizontalAdvance(text) + 8;
        int left = x + 3;
        if (left + w > LEFT + plot_w)
            left = x - 3 - w;
        const QRect box(left, y, w, 15);
        QColor back = Qt::white;
        back.setAlpha(225);
        p.fillRect(box, back);
        p.setPen(colour);
        p.drawText(box, Qt::AlignCenter, text);
    }

    void draw_loop_and_marks(QPainter& p)
    {
        const int top = header;
        const int bottom = header + CHANNELS * LANE_H - LANE_GAP;
        char time[16];
        if (loop) {
            const uint32_t repeat = loop->start + loop->period;
            QColor shade = loop_colour;
            shade.setAlpha(26);
            const int x0 = x_of(repeat), x1 = x_of(repeat + loop->length);
            for (int c = 0; c < CHANNELS; ++c)
                p.fillRect(QRect(x0, lane_top(c), std::max(1, x1 - x0), PITCH_H + LEVEL_H), shade);
            p.setPen(QPen(loop_colour, 2));
            for (uint32_t f : {loop->start, repeat})
                p.drawLine(x_of(f), top - 4, x_of(f), bottom);
            label(p, x_of(loop->start), top - 2, QStringLiteral("loop start %1").arg(loop->start), loop_colour);
            label(p, x_of(repeat), top + 14,
                  QStringLiteral("repeat %1 (%2)").arg(repeat).arg(QString::fromLatin1(format_time(repeat, time))),
                  loop_colour);
        }
        for (size_t k = 0; k < marks.size(); ++k) {
            const int x = x_of(marks[k]);
            p.setPen(QPen(mark_colour, 1.5, Qt::DashLine));
            p.drawLine(x, top - 4, x, bottom);
            label(p, x, bottom - 16 - static_cast<int>(k % 3) * 16,
                  QStringLiteral("%1 (%2)").arg(marks[k]).arg(QString::fromLatin1(format_time(marks[k], time))),
                  mark_colour);
        }
    }

    QImage image;
    std::vector<uint32_t> marks;
    const LoopCandidate* loop;
    QByteArray title;
    int plot_w = 0;
    int header = HEADER;
    double low_note = 48, high_note = 84;
};

// Qt's own notes, on standard error, but for the one about a missing
// runtime folder, which a picture does not need.
void print_qt_message(QtMsgType, const QMessageLogContext&, const QString& text)
{
    if (text.startsWith(QLatin1String("QStandardPaths:")))
        return;
    fail(text.toLocal8Bit());
}

// The platform plugin draws text; without a display the offscreen one does.
QGuiApplication& gui()
{
    qInstallMessageHandler(print_qt_message);
    static int argc = 1;
    static char name[] = "trelvane-cli";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(argc, argv);
    return app;
}

}  // namespace

int run_plot(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    for (uint32_t mark : args.marks)
        if (mark > frame_count)
            return past_the_end("--mark", mark);
    gui();

    const std::vector<LoopCandidate> loops = find_loops(min_loop_frames(args));
    const std::vector<uint32_t> marks(args.marks.begin(), args.marks.end());
    Picture picture(static_cast<int>(args.has_width ? args.width : DEFAULT_WIDTH), args.files.first(), marks,
                    loops.empty() ? nullptr : &loops.front());
    const QImage image = picture.draw();

    QBuffer png;
    png.open(QIODevice::WriteOnly);
    if (!image.save(&png, "PNG"))
        return fail("can't make the picture");
    QString reason;
    if (!save_file(args.output, png.data(), &reason))
        return fail("can't write " + args.output + ": " + reason.toLocal8Bit());
    return 0;
}
