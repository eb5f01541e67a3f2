#include "formats/dump.h"

#include "edit/optimize.h"
#include "song/psg_format.h"

RegisterDump song_dump()
{
    // The optimized file is ours, so it holds only writes, frame ends and waits.
    const QByteArray psg = optimized_psg().bytes;
    RegisterDump dump;
    dump.writes.reserve(static_cast<size_t>(psg.size() / 2));
    const auto* p = reinterpret_cast<const uint8_t*>(psg.constData());
    const uint8_t* const end = p + psg.size();
    for (p += PSG_HEADER_LEN; p < end; ++p) {
        if (*p < 16 && p + 1 < end) {
            dump.write(p[0], p[1]);
            ++p;
        } else if (*p == PSG_WAIT && p + 1 < end) {
            for (int k = 0; k < 4 * p[1]; ++k)
                dump.end_frame();
            ++p;
        } else if (*p == PSG_FRAME_END) {
            dump.end_frame();
        }
    }
    return dump;
}

QByteArray dump_to_psg(const RegisterDump& dump)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(PSG_HEADER_LEN + dump.writes.size() * 2 + dump.frames()));
    out.append("PSG\x1a", 4);
    out.append(PSG_HEADER_LEN - 4, '\0');
    uint32_t ends = 0;
    // k frame ends: waits of up to 255 * 4 frames, then k % 4 single ends.
    auto flush_ends = [&]() {
        for (uint32_t units = ends / 4; units > 0;) {
            const uint32_t n = units < 255 ? units : 255;
            out.append(static_cast<char>(PSG_WAIT));
            out.append(static_cast<char>(n));
            units -= n;
        }
        out.append(static_cast<qsizetype>(ends % 4), static_cast<char>(PSG_FRAME_END));
        ends = 0;
    };
    for (uint32_t f = 0; f <= dump.frames(); ++f) {
        const uint32_t first = dump.begin(f), last = dump.end(f);
        if (first < last)
            flush_ends();
        for (uint32_t i = first; i < last; ++i) {
            out.append(static_cast<char>(dump.writes[i].reg));
            out.append(static_cast<char>(dump.writes[i].value));
        }
        if (f < dump.frames())
            ++ends;
    }
    flush_ends();
    return out;
}
