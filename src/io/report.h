// How the core talks to a person: the one error box and the file layer's
// diagnostics. Whoever shows the program (the window, the command-line tool,
// a test) installs its own hooks; without them errors go to standard error
// and diagnostics to standard output.
#pragma once

#include <QByteArray>
#include <QString>

struct Report {
    // The one error box. Null: the text goes to standard error.
    void (*show_error)(const QString& text);
    // The file layer's diagnostics, exactly as formatted (some have no line
    // end). Null: standard output.
    void (*diag)(const QByteArray& text);
};

extern Report report;

void show_error(const QString& text);

// Formats a diagnostic of the file layer with printf rules and hands it on.
void io_diag(const char* format, ...) __attribute__((format(printf, 1, 2)));
