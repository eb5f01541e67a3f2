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
    // A file that cannot be made or written: its name as given and the
    // system's reason, said before the layer's own messages. Null: only
    // those are shown.
    void (*file_failed)(const QByteArray& name, const QString& reason);
};

extern Report report;

void show_error(const QString& text);
void report_file_failure(const QByteArray& name, const QString& reason);

// Formats a diagnostic of the file layer with printf rules and hands it on.
void io_diag(const char* format, ...) __attribute__((format(printf, 1, 2)));
