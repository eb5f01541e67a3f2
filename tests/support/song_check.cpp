#include "support/song_check.h"

#include "audio/chip.h"
#include "audio/playback.h"
#include "io/report.h"
#include "song/frontend.h"
#include "song/song.h"

std::vector<Write> song_writes()
{
    std::vector<Write> out;
    for (uint32_t k = 0; k < event_count; ++k)
        out.push_back({music[k].reg, music[k].value, music[k].frame});
    return out;
}

std::vector<Write> frame_writes(unsigned f)
{
    std::vector<Write> out;
    const MusicEvent* end = frame_end_event(f);
    for (const MusicEvent* e = frames[f].first_event; e && e < end; ++e)
        out.push_back({e->reg, e->value, e->frame});
    return out;
}

QString song_invariant_violation()
{
    if (event_count > MUSIC_MAX_LEN || frame_count > FRAMES_MAX_LEN - 1)
        return QStringLiteral("limits");
    uint32_t k = 0;
    for (uint32_t f = 0; f <= frame_count; ++f) {
        while (k < event_count && music[k].frame < f)
            ++k;
        if (frames[f].first_event != music + k)
            return QStringLiteral("first_event of frame %1").arg(f);
    }
    for (uint32_t i = 0; i < event_count; ++i) {
        if (music[i].frame > frame_count)
            return QStringLiteral("write %1 past the last frame").arg(i);
        if (i > 0 && music[i].frame < music[i - 1].frame)
            return QStringLiteral("write %1 out of order").arg(i);
    }
    return QString();
}

namespace {
Reports reports;
}

Reports& capture_reports()
{
    reports = Reports{};
    report.show_failure = [](const Failure& f) {
        reports.errors << f.text;
        reports.failures.push_back(f);
    };
    report.diag = [](DiagKind, const QByteArray& text) { reports.diagnostics += text; };
    front_end.song_read = [] { ++reports.song_reads; };
    return reports;
}

ChipState replayed_state(uint32_t frame)
{
    chip_reset();
    reg_queue_len = 0;
    for (uint32_t f = 0; f < frame && f < frame_count; ++f) {
        const MusicEvent* end = frame_end_event(f);
        for (const MusicEvent* e = frames[f].first_event; e < end; ++e)
            reg_queue_push(e->reg, e->value);
        for (uint8_t r = 0; r <= REG_ENV_COARSE; ++r)
            reg_queue_push(r, frames[f + 1].regs[r]);
        chip_render_frame();
    }
    return chip_save();
}

QString chip_difference(const ChipState& a, const ChipState& b)
{
    auto differ = [](const char* what, int index, uint64_t x, uint64_t y) {
        return QStringLiteral("%1[%2]: %3 against %4").arg(QLatin1String(what)).arg(index).arg(x).arg(y);
    };
    for (int r = 0; r < REG_COUNT; ++r)
        if (a.regs[r] != b.regs[r])
            return differ("register", r, a.regs[r], b.regs[r]);
    const Chip &x = a.chip, &y = b.chip;
    for (int c = 0; c < 3; ++c) {
        const uint64_t vx[]
            = {x.tone_period[c], x.tone_count[c], x.tone_out[c], x.tone_off[c], x.noise_off[c], x.noise_value[c]};
        const uint64_t vy[]
            = {y.tone_period[c], y.tone_count[c], y.tone_out[c], y.tone_off[c], y.noise_off[c], y.noise_value[c]};
        static const char* names[] = {"tone_period", "tone_count", "tone_out", "tone_off", "noise_off", "noise_value"};
        for (int k = 0; k < 6; ++k)
            if (vx[k] != vy[k])
                return differ(names[k], c, vx[k], vy[k]);
    }
    const Envelope &e = x.env, &f = y.env;
    const uint64_t ex[] = {x.noise_period, x.noise_count, a.noise_seed, e.period, e.count,     e.level,
                           e.rising,       e.stopped,     e.cont,       e.attack, e.alternate, e.hold};
    const uint64_t fx[] = {y.noise_period, y.noise_count, b.noise_seed, f.period, f.count,     f.level,
                           f.rising,       f.stopped,     f.cont,       f.attack, f.alternate, f.hold};
    static const char* names[]
        = {"noise_period", "noise_count", "noise_seed", "env.period", "env.count",     "env.level",
           "env.rising",   "env.stopped", "env.cont",   "env.attack", "env.alternate", "env.hold"};
    for (int k = 0; k < 12; ++k)
        if (ex[k] != fx[k])
            return differ(names[k], 0, ex[k], fx[k]);
    return QString();
}

QByteArray rendered(uint32_t from)
{
    QByteArray pcm;
    playback_start(from);
    while (play_tick(seek_play))
        pcm.append(reinterpret_cast<const char*>(frame_buf), FRAME_BYTES);
    playing = 0;
    return pcm;
}
