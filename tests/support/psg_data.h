// Small PSG files made by the tests themselves.
#pragma once

#include "song/psg_read.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <initializer_list>

// The usual 16-byte header: "PSG", 0x1A and twelve zero bytes.
QByteArray psg_header();
// Header followed by the given command bytes.
QByteArray psg_bytes(std::initializer_list<int> commands);
// A PSG file put together command by command.
struct PsgBuilder {
    QByteArray bytes = psg_header();
    PsgBuilder& write(int reg, int value);
    PsgBuilder& end(int count = 1);  // frame ends
    PsgBuilder& wait(int n);         // 0xFE n: 4n frame ends
    int frames = 0;                  // frame ends so far
};

// Writes bytes to a file in the test's own temporary folder; returns its path.
QString write_temp_psg(const QString& name, const QByteArray& bytes);
// Writes bytes to a new file in the test's temporary folder and reads it as
// "&Load file" (reset) or "Appen&d file" does.
ReadResult load_psg(const QByteArray& bytes, bool reset = true);
// The whole content of a file; "<missing>" when it cannot be read.
QByteArray read_file(const QString& path);
// Every entry of a folder, hidden ones too: a file's bytes, "<folder>",
// or "<link to TARGET>" for a symbolic link.
QMap<QString, QByteArray> folder_listing(const QString& path);
// The folder where tests leave output for people to look at.
QString test_output_dir();
