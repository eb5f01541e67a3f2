#include "support/song_check.h"

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
    report.show_error = [](const QString& text) { reports.errors << text; };
    report.diag = [](const QByteArray& text) { reports.diagnostics += text; };
    front_end.song_read = [] { ++reports.song_reads; };
    return reports;
}
