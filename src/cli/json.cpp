#include "cli/json.h"

#include "song/song.h"

#include <QString>

#include <cstdio>

QByteArray json_string(const QByteArray& text)
{
    const QByteArray utf8 = QString::fromUtf8(text).toUtf8();
    QByteArray out = "\"";
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

QByteArray json_seconds(uint32_t frame_total)
{
    char text[24];
    snprintf(text, sizeof text, "%u.%02u", frame_total / FRAME_RATE, frame_total % FRAME_RATE * (100 / FRAME_RATE));
    return text;
}

JsonObject& JsonObject::add_raw(const char* key, const QByteArray& json)
{
    if (!members.isEmpty())
        members += ", ";
    members += json_string(key) + ": " + json;
    return *this;
}

JsonObject& JsonObject::add(const char* key, uint32_t number)
{
    return add_raw(key, QByteArray::number(number));
}

JsonObject& JsonObject::add(const char* key, bool flag)
{
    return add_raw(key, flag ? "true" : "false");
}

JsonObject& JsonObject::add_string(const char* key, const QByteArray& text)
{
    return add_raw(key, json_string(text));
}

QByteArray json_array(const QList<QByteArray>& values, bool one_per_line)
{
    if (values.isEmpty())
        return "[]";
    if (!one_per_line)
        return "[" + values.join(", ") + "]";
    QByteArray out = "[\n";
    for (qsizetype i = 0; i < values.size(); ++i)
        out += "  " + values[i] + (i + 1 < values.size() ? ",\n" : "\n");
    return out + "]";
}
