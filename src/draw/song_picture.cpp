#include "draw/song_picture.h"

#include "audio/chip.h"
#include "song/registers.h"
#include "song/song.h"
#include "song/song_time.h"

#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr int CHANNELS = 3;
constexpr uint32_t PERIODS = 4096;  // tone periods: 12 bits

const QColor channel_colour[CHANNELS] = {QColor(0x25, 0x63, 0xEB), QColor(0xDC, 0x26, 0x26), QColor(0x05, 0x96, 0x69)};
const QColor ink(0x1F, 0x29, 0x37), soft_ink(0x6B, 0x72, 0x80), grid(0xE3, 0xE7, 0xEC);
const QColor lane_fill(0xF7, 0xF8, 0xFA), noise_colour(0x4B, 0x55, 0x63);
const QColor loop_colour(0x7C, 0x3A, 0xED), mark_colour(0x11, 0x18, 0x27);

// Pitch of each tone period as a MIDI note number (69 = 440 Hz): the chip's
// tone, clock / (16 * period), at the clock the plain model's periods stand
// for (not its whole samples a cycle, which make the top octaves sharp by up
// to a few semitones); NaN where the period is too short to make a pitch.
const std::vector<double>& note_table()
{
    static const std::vector<double> table = [] {
        std::vector<double> t(PERIODS);
        const double cycles = double(SAMPLE_RATE) * PERIOD_DIV / PERIOD_MUL;  // clock / 16
        for (uint32_t period = 0; period < PERIODS; ++period)
            t[period] = period_samples(period) >= 2 ? 69 + 12 * std::log2(cycles / period / 440.0) : NAN;
        return t;
    }();
    return table;
}

SongSketch::Voice read_voice(uint32_t frame, int c)
{
    const uint8_t* r = frames[frame + 1].regs;
    const uint8_t amp = r[amp_reg(c)] & reg_mask[amp_reg(c)];
    SongSketch::Voice v{};
    const bool envelope = (amp & AMP_ENVELOPE) != 0;
    v.level = static_cast<uint8_t>(envelope ? 15 : amp & AMP_LEVEL);
    const bool tone_on = (r[REG_MIXER] & mixer_tone_off(c)) == 0;
    const bool noise_on = (r[REG_MIXER] & mixer_noise_off(c)) == 0;
    if (v.level == 0 || !(tone_on || noise_on))
        return v;
    v.flags = SongSketch::AUDIBLE;
    if (envelope)
        v.flags |= SongSketch::ENVELOPE;
    if (noise_on)
        v.flags |= SongSketch::NOISE;
    const uint32_t fine = r[tone_fine_reg(c)];
    const uint32_t coarse = r[tone_fine_reg(c) + 1] & reg_mask[tone_fine_reg(c) + 1];
    v.period = static_cast<uint16_t>(coarse * 256 + fine);
    if (tone_on && period_samples(v.period) >= 2)
        v.flags |= SongSketch::TONE;
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

// The plot's header: title and summary, with the legend beside them or, where
// it does not fit, in rows below them.
constexpr int PLOT_HEADER = 62, LEGEND_ROW_H = 18;
constexpr int LEGEND_ITEMS = 9;

QString legend_text(int kind)
{
    static const char* const texts[LEGEND_ITEMS]
        = {"A", "B", "C", "note", "level", "envelope", "noise", "loop", "mark"};
    return QString::fromLatin1(texts[kind]);
}

QString title_text(const QByteArray& title)
{
    return QFileInfo(QFile::decodeName(title)).fileName();
}

QString info_text()
{
    char length[16];
    return QStringLiteral("%1  \u00b7  %2 frames  \u00b7  %3 register writes")
        .arg(QString::fromLatin1(format_time(frame_count, length)))
        .arg(frame_count)
        .arg(event_count);
}

// Rows the legend needs below the title: none where it fits beside it.
int legend_rows(int width, int left, int right, const QByteArray& title)
{
    const QFontMetrics metrics(font(12));
    int total = 0;
    for (int k = 0; k < LEGEND_ITEMS; ++k)
        total += metrics.horizontalAdvance(legend_text(k)) + 36;
    const int beside = std::max(QFontMetrics(font(17, true)).horizontalAdvance(title_text(title)),
                                metrics.horizontalAdvance(info_text()));
    if (left + beside + 16 + total <= width - right)
        return 0;
    int rows = 1, x = left;
    for (int k = 0; k < LEGEND_ITEMS; ++k) {
        const int w = metrics.horizontalAdvance(legend_text(k)) + 36;
        if (x + w > width - right && x > left) {
            x = left;
            ++rows;
        }
        x += w;
    }
    return rows;
}

QFont axis_font(const PictureLayout& L)
{
    return font(std::min(11, std::min(16, L.axis_h - 8)));
}

class Picture {
public:
    Picture(const QRect& area, const PictureLayout& layout, const FrameScale& scale, const SongSketch& drawn,
            const PictureContent& content)
        : width(area.width()), L(layout), S(scale), sketch(drawn), marks(content.marks), loop(content.loop),
          title(content.title), low_note(drawn.low_note), high_note(drawn.high_note)
    {
        plot_w = scale.width;
    }

    void draw_base(QPainter& p)
    {
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        if (L.header)
            draw_header(p);
        for (int c = 0; c < CHANNELS; ++c)
            draw_lane(p, c);
        draw_time_axis(p);
    }

    void draw_overlay(QPainter& p)
    {
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        draw_loop_and_marks(p);
    }

private:
    int lane_top(int c) const { return L.header + c * L.lane_h(); }
    int x_of(uint32_t frame) const { return S.x_of(frame); }
    double y_of(double note, int c) const
    {
        return lane_top(c) + L.pitch_h - 4 - (note - low_note) * (L.pitch_h - 8) / (high_note - low_note);
    }

    void draw_header(QPainter& p)
    {
        p.setPen(ink);
        p.setFont(font(17, true));
        p.drawText(QPoint(L.left, 26), title_text(title));
        p.setFont(font(12));
        p.setPen(soft_ink);
        p.drawText(QPoint(L.left, 46), QFontMetrics(font(12)).elidedText(info_text(), Qt::ElideRight, plot_w));

        // The legend, right-aligned beside the title, or in rows below it.
        const QFontMetrics metrics(font(12));
        const int rows = legend_rows(width, L.left, L.right, title);
        int x = width - L.right, row = 0;
        if (rows > 0)
            x = L.left;
        for (int n = 0; n < LEGEND_ITEMS; ++n) {
            const int k = rows > 0 ? n : LEGEND_ITEMS - 1 - n;
            const int w = metrics.horizontalAdvance(legend_text(k)) + 36;
            if (rows > 0 && x + w > width - L.right && x > L.left) {
                x = L.left;
                ++row;
            }
            const int left = rows > 0 ? x : x - w;
            const int base = rows > 0 ? PLOT_HEADER + row * LEGEND_ROW_H + 8 : 42;
            p.setPen(ink);
            p.setFont(font(12));
            p.drawText(QPoint(left + 36, base), legend_text(k));
            legend_swatch(p, QRect(left + 14, base - 11, 16, 12), k);
            x = rows > 0 ? x + w : x - w;
        }
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
            p.fillRect(QRect(r.left(), r.top() + 3, r.width(), L.noise_h), noise_colour);
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
        const int level_top = top + L.pitch_h + 2;
        const int level_h = L.level_h - 2;
        p.fillRect(QRect(L.left, top, plot_w, L.pitch_h), lane_fill);
        p.fillRect(QRect(L.left, level_top, plot_w, level_h), QColor(0xFB, 0xFB, 0xFC));

        // Octaves: a line and the name of each C, in the margin or, where
        // there is none, at the lane's right end above its line.
        p.setFont(font(10));
        int named_y = INT32_MAX;
        for (double n = low_note; n <= high_note + 0.01; n += 12) {
            const int y = static_cast<int>(std::lround(y_of(n, c)));
            p.setPen(grid);
            p.drawLine(L.left, y, L.left + plot_w - 1, y);
            if (!L.margin_labels) {
                if (named_y - y < 10 || y - 9 < top)
                    continue;
                named_y = y;
                p.setFont(font(9));
                p.setPen(soft_ink);
                p.drawText(QRect(L.left + plot_w - 30, y - 10, 28, 10), Qt::AlignRight | Qt::AlignBottom,
                           note_name(static_cast<int>(n)));
                p.setFont(font(10));
                continue;
            }
            p.setPen(soft_ink);
            p.drawText(QRect(L.left - 34, y - 7, 30, 14), Qt::AlignRight | Qt::AlignVCenter,
                       note_name(static_cast<int>(n)));
        }
        // The channel's name.
        p.setPen(channel_colour[c]);
        if (L.margin_labels) {
            p.setFont(font(22, true));
            p.drawText(QRect(6, top + L.pitch_h / 2 - 16, 28, 32), Qt::AlignCenter, QString(QChar('A' + c)));
            p.setFont(font(10));
            p.setPen(soft_ink);
            p.drawText(QRect(L.left - 62, level_top, 56, level_h), Qt::AlignRight | Qt::AlignVCenter,
                       QStringLiteral("level"));
        } else {
            p.setFont(font(11, true));
            p.drawText(QRect(L.left + 3, top + 1, 14, 14), Qt::AlignCenter, QString(QChar('A' + c)));
        }

        // Where each tone period's note lies in this lane.
        const std::vector<double>& notes = note_table();
        std::vector<int> row_of(PERIODS, -1);
        for (uint32_t period = 0; period < PERIODS; ++period)
            if (!std::isnan(notes[period]))
                row_of[period] = static_cast<int>(std::lround(y_of(notes[period], c))) - top;

        // Column by column: every pitch the frames there play, and the
        // loudest level.
        p.setRenderHint(QPainter::Antialiasing, false);
        QColor level_colour = channel_colour[c];
        level_colour.setAlpha(110);
        QColor envelope_colour = channel_colour[c];
        envelope_colour.setAlpha(170);
        std::vector<int> strength(L.pitch_h + 1);
        const uint32_t last = std::min(sketch.frames(), S.first + S.span);
        for (int x = 0; x < plot_w && S.span; ++x) {
            uint32_t first, end;
            S.column_frames(x, last, first, end);
            std::fill(strength.begin(), strength.end(), 0);
            int level = 0;
            bool envelope = false, noise = false, any = false;
            for (uint32_t f = first; f < end; ++f) {
                const SongSketch::Voice& v = sketch.voice(f, c);
                if (!(v.flags & SongSketch::AUDIBLE))
                    continue;
                noise = noise || (v.flags & SongSketch::NOISE);
                if (v.flags & SongSketch::ENVELOPE)
                    envelope = true;
                else
                    level = std::max(level, int(v.level));
                if (v.flags & SongSketch::TONE) {
                    const int row = row_of[v.period];
                    if (row >= 0 && row <= L.pitch_h) {
                        strength[row] = std::max(strength[row], int(v.level));
                        any = true;
                    }
                }
            }
            for (int row = 0; any && row <= L.pitch_h; ++row) {
                if (!strength[row])
                    continue;
                QColor note = channel_colour[c];
                note.setAlpha(70 + strength[row] * 185 / 15);
                p.fillRect(QRect(L.left + x, top + row - 1, 1, 3), note);
            }
            const int noise_top = level_top + level_h - L.noise_h;
            if (envelope)
                p.fillRect(QRect(L.left + x, level_top, 1, level_h - L.noise_h - 1),
                           QBrush(envelope_colour, Qt::BDiagPattern));
            if (level > 0) {
                const int h = (level_h - L.noise_h - 1) * level / 15;
                p.fillRect(QRect(L.left + x, noise_top - 1 - h, 1, h), level_colour);
            }
            if (noise)
                p.fillRect(QRect(L.left + x, noise_top, 1, L.noise_h), noise_colour);
        }
        p.setRenderHint(QPainter::Antialiasing, true);
    }

    void draw_time_axis(QPainter& p)
    {
        const int bottom = L.header + CHANNELS * L.lane_h() - L.lane_gap;
        const bool hours = double(sketch.frames()) / FRAME_RATE >= 3600;
        p.setFont(axis_font(L));
        for (const TimeLabel& t : time_labels(L, S, sketch.frames(), width)) {
            QColor line = grid;
            line.setAlpha(150);
            p.setPen(QPen(line, 1));
            for (int c = 0; c < CHANNELS; ++c)
                p.drawLine(t.x, lane_top(c), t.x, lane_top(c) + L.pitch_h + L.level_h - 1);
            p.setPen(soft_ink);
            p.drawLine(t.x, bottom + 2, t.x, bottom + 7);
            const int left = t.align == Qt::AlignHCenter ? t.x - 40 : t.align == Qt::AlignLeft ? 0 : width - 80;
            p.drawText(QRect(left, t.box.top(), 80, t.box.height()), t.align | Qt::AlignTop, t.text);
        }
        p.setPen(soft_ink);
        p.drawLine(L.left, bottom + 2, L.left + plot_w - 1, bottom + 2);
        if (L.margin_labels)
            p.drawText(QRect(L.left, bottom + 22, plot_w, 16), Qt::AlignRight | Qt::AlignTop,
                       hours ? QStringLiteral("time (hours:minutes:seconds)")
                             : QStringLiteral("time (minutes:seconds)"));
    }

    void label(QPainter& p, int x, int y, const QString& text, const QColor& colour)
    {
        p.setFont(font(10, true));
        const QFontMetrics metrics(p.font());
        const int w = metrics.horizontalAdvance(text) + 8;
        int left = x + 3;
        if (left + w > L.left + plot_w)
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
        const int top = L.header;
        const int bottom = L.header + CHANNELS * L.lane_h() - L.lane_gap;
        char time[16];
        if (loop) {
            const uint32_t repeat = loop->start + loop->period;
            QColor shade = loop_colour;
            shade.setAlpha(26);
            const int x0 = x_of(repeat), x1 = x_of(repeat + loop->length);
            for (int c = 0; c < CHANNELS; ++c)
                p.fillRect(QRect(x0, lane_top(c), std::max(1, x1 - x0), L.pitch_h + L.level_h), shade);
            p.setPen(QPen(loop_colour, 2));
            for (uint32_t f : {loop->start, repeat})
                p.drawLine(x_of(f), top - 4, x_of(f), bottom);
            label(p, x_of(loop->start), top - 2 + (L.header ? 0 : 2), QStringLiteral("loop start %1").arg(loop->start),
                  loop_colour);
            label(p, x_of(repeat), top + 14 + (L.header ? 0 : 2),
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

    int width;
    const PictureLayout& L;
    const FrameScale& S;
    const SongSketch& sketch;
    const std::vector<uint32_t>& marks;
    const LoopCandidate* loop;
    QByteArray title;
    int plot_w = 0;
    double low_note, high_note;
};

}  // namespace

int FrameScale::x_of(uint32_t frame) const
{
    if (!span)
        return left;
    return left + static_cast<int>((int64_t(frame) - int64_t(first)) * width / int64_t(span));
}

uint32_t FrameScale::frame_at(double x) const
{
    const double f = double(first) + (x - left) * double(span) / width;
    if (f <= double(first))
        return first;
    if (f >= double(first) + double(span))
        return first + span;
    return static_cast<uint32_t>(std::lround(f));
}

void FrameScale::column_frames(int x, uint32_t last, uint32_t& begin, uint32_t& end) const
{
    const auto starting_before = [&](int column) {
        return static_cast<uint32_t>((uint64_t(column) * span + uint64_t(width) - 1) / uint64_t(width));
    };
    begin = first + starting_before(x);
    end = first + starting_before(x + 1);
    if (end <= begin)
        begin = end - 1;
    if (end > last)
        end = last;
}

std::vector<TimeLabel> time_labels(const PictureLayout& L, const FrameScale& S, uint32_t song_frames, int width)
{
    std::vector<TimeLabel> labels;
    const int bottom = L.header + CHANNELS * L.lane_h() - L.lane_gap;
    const double seconds = double(S.span) / FRAME_RATE;
    const double per_second = seconds > 0 ? S.width / seconds : S.width;
    const uint32_t step = tick_step(per_second, 70);
    const double end = double(S.first + S.span) / FRAME_RATE;
    const bool hours = double(song_frames) / FRAME_RATE >= 3600;
    const int text_h = std::min(16, L.axis_h - 8);
    const QFontMetrics metrics(axis_font(L));
    // The first tick at or after the first frame in view.
    const uint32_t first_second = (S.first + FRAME_RATE - 1) / FRAME_RATE;
    int free_from = 0;  // where the next label may begin
    for (uint32_t s = (first_second + step - 1) / step * step; s <= end; s += step) {
        const int x = S.x_of(s * FRAME_RATE);
        const QString text = clock_text(s, hours);
        const int w = metrics.horizontalAdvance(text);
        // Centred under its tick, but never cut off at the left edge, nor
        // over the label before it.
        TimeLabel label{x, QRect(x - w / 2 - 1, bottom + 8, w + 2, text_h), text, Qt::AlignHCenter};
        if (x - (w / 2 + 1) < 0) {
            label.box = QRect(0, bottom + 8, w + 1, text_h);
            label.align = Qt::AlignLeft;
        } else if (label.box.right() >= width) {
            label.box.moveRight(width - 1);
            label.align = Qt::AlignRight;
        }
        if (label.box.left() < free_from)
            continue;
        const QRect& box = label.box;
        labels.push_back(label);
        free_from = box.right() + 6;
    }
    return labels;
}

PictureLayout plot_layout()
{
    return {72, 20, PLOT_HEADER, 150, 34, 6, 16, 40, true};
}

PictureLayout view_layout(int height, int margin)
{
    const int axis_h = 20, gap = 4;
    const int lane = std::max(30, (height - axis_h) / 3);
    const int level_h = std::max(10, lane / 4);
    return {margin, margin, 0, lane - level_h - gap, level_h, 3, gap, height - 3 * lane, false};
}

QString note_name(int note)
{
    static const char* const names[12] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};
    const int octave = (note >= 0 ? note / 12 : (note - 11) / 12) - 1;
    return QString::fromLatin1(names[note - (octave + 1) * 12]) + QString::number(octave);
}

double SongSketch::note_of(uint16_t period)
{
    return note_table()[period & (PERIODS - 1)];
}

void SongSketch::build(const std::atomic<bool>* stop)
{
    count = frame_count;
    voices.resize(size_t(count) * CHANNELS);
    double low = 1e9, high = -1e9;
    const std::vector<double>& notes = note_table();
    for (uint32_t f = 0; f < count; ++f) {
        if ((f & 0x3FFF) == 0 && stop_asked(stop)) {
            *this = SongSketch();
            return;
        }
        for (int c = 0; c < CHANNELS; ++c) {
            const Voice v = read_voice(f, c);
            voices[size_t(f) * CHANNELS + size_t(c)] = v;
            if (v.flags & TONE) {
                const double note = notes[v.period];
                if (note >= 12 && note <= 132) {
                    low = std::min(low, note);
                    high = std::max(high, note);
                }
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

void draw_song(QPainter& p, const QRect& area, const PictureLayout& layout, const FrameScale& scale,
               const SongSketch& sketch, const PictureContent& content)
{
    draw_song_base(p, area, layout, scale, sketch, content);
    draw_song_overlay(p, area, layout, scale, sketch, content);
}

void draw_song_base(QPainter& p, const QRect& area, const PictureLayout& layout, const FrameScale& scale,
                    const SongSketch& sketch, const PictureContent& content)
{
    p.save();
    p.translate(area.topLeft());
    Picture(area, layout, scale, sketch, content).draw_base(p);
    p.restore();
}

void draw_song_overlay(QPainter& p, const QRect& area, const PictureLayout& layout, const FrameScale& scale,
                       const SongSketch& sketch, const PictureContent& content)
{
    p.save();
    p.translate(area.topLeft());
    Picture(area, layout, scale, sketch, content).draw_overlay(p);
    p.restore();
}

QImage plot_picture(int width, const SongSketch& sketch, const PictureContent& content)
{
    PictureLayout layout = plot_layout();
    // A legend that does not fit beside the title goes in rows below it.
    layout.header = PLOT_HEADER + legend_rows(width, layout.left, layout.right, content.title) * LEGEND_ROW_H;
    QImage image(width, layout.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    FrameScale scale;
    scale.left = layout.left;
    scale.width = width - layout.left - layout.right;
    scale.span = sketch.frames();
    QPainter p(&image);
    draw_song(p, image.rect(), layout, scale, sketch, content);
    p.end();
    return image;
}
