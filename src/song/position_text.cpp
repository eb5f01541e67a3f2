#include "song/position_text.h"

#include <QList>

bool parse_number(const QByteArray& text, uint32_t& value)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > UINT32_MAX)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

bool parse_seconds(const QByteArray& text, uint32_t& ms)
{
    const qsizetype dot = text.indexOf('.');
    const QByteArray whole = dot < 0 ? text : text.left(dot);
    QByteArray fraction = dot < 0 ? QByteArray() : text.mid(dot + 1);
    if (dot >= 0 && fraction.isEmpty())
        return false;
    if (fraction.size() > 3)
        return false;
    uint32_t seconds = 0, part = 0;
    if (!parse_number(whole, seconds))
        return false;
    fraction = fraction.leftJustified(3, '0');
    if (!parse_number(fraction, part))
        return false;
    const uint64_t v = uint64_t{seconds} * 1000 + part;
    if (v > UINT32_MAX)
        return false;
    ms = static_cast<uint32_t>(v);
    return true;
}

namespace {

// "S", "SS" with one to three decimals or none, in milliseconds; at most
// 59.999 when minutes come before it (limited).
bool parse_clock_seconds(const QByteArray& text, bool limited, uint64_t& ms)
{
    const qsizetype dot = text.indexOf('.');
    const QByteArray whole = dot < 0 ? text : text.left(dot);
    if (limited && whole.size() != 2)
        return false;
    uint32_t part_ms = 0;
    if (!parse_seconds(text, part_ms))
        return false;
    if (limited && part_ms >= 60000)
        return false;
    ms = part_ms;
    return true;
}

// A time as the status line writes it, or seconds ending in "s", in
// milliseconds.
bool parse_time(const QByteArray& text, uint64_t& ms)
{
    if (text.endsWith('s'))
        return text.indexOf(':') < 0 && parse_clock_seconds(text.chopped(1), false, ms);
    const QList<QByteArray> parts = text.split(':');
    if (parts.size() < 2 || parts.size() > 3)
        return false;
    uint64_t seconds_ms = 0;
    uint32_t minutes = 0, hours = 0;
    if (!parse_clock_seconds(parts.last(), true, seconds_ms))
        return false;
    const QByteArray& minute_text = parts[parts.size() - 2];
    if (!parse_number(minute_text, minutes))
        return false;
    if (parts.size() == 3) {
        if (minute_text.size() != 2 || minutes >= 60 || !parse_number(parts[0], hours))
            return false;
    }
    ms = (uint64_t{hours} * 60 + minutes) * 60000 + seconds_ms;
    return true;
}

}  // namespace

bool parse_position(const QByteArray& text, uint32_t* frame)
{
    uint32_t number = 0;
    if (parse_number(text, number)) {
        *frame = number;
        return true;
    }
    uint64_t ms = 0;
    if (!parse_time(text, ms))
        return false;
    constexpr uint64_t MS_PER_FRAME = 1000 / 50;
    const uint64_t f = (ms + MS_PER_FRAME / 2) / MS_PER_FRAME;
    if (f > UINT32_MAX)
        return false;
    *frame = static_cast<uint32_t>(f);
    return true;
}
