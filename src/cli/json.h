// Plain JSON answers on standard output: one document, numbers as numbers.
#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

// A JSON string: quotes, backslashes and control characters escaped; bytes
// that are not UTF-8 (a file name may hold any) become U+FFFD.
QByteArray json_string(const QByteArray& text);
// A time in frames as seconds with two decimals ("92.18").
QByteArray json_seconds(uint32_t frame_total);

// One object, its members in the order added.
class JsonObject {
public:
    JsonObject& add(const char* key, uint32_t number);
    JsonObject& add(const char* key, bool flag);
    JsonObject& add_string(const char* key, const QByteArray& text);
    // A value already in JSON form.
    JsonObject& add_raw(const char* key, const QByteArray& json);
    QByteArray text() const { return "{" + members + "}"; }

private:
    QByteArray members;
};

// An array of values already in JSON form: on one line, or one value to a
// line.
QByteArray json_array(const QList<QByteArray>& values, bool one_per_line = false);
