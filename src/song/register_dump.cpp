#include "song/register_dump.h"

#include "song/psg_format.h"

QByteArray psg_encode(const RegisterDump& dump)
{
    QByteArray out;
    out.reserve(static_cast<qsizetype>(PSG_HEADER_LEN + dump.writes.size() * 2 + dump.frames()));
    out.append(PSG_SIGNATURE, sizeof PSG_SIGNATURE);
    out.append(PSG_HEADER_LEN - static_cast<qsizetype>(sizeof PSG_SIGNATURE), '\0');
    uint32_t ends = 0;
    // k frame ends take k % 4 bytes 0xFF and the rest in waits of up to
    // PSG_WAIT_MAX * 4 frames, two bytes each: no other mix is shorter.
    auto flush_ends = [&]() {
        for (uint32_t units = ends / 4; units > 0;) {
            const uint32_t n = units < PSG_WAIT_MAX ? units : PSG_WAIT_MAX;
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
