// How the core talks to a person: the one error box and the file layer's
// diagnostics. Whoever shows the program (the window, the command-line tool,
// a test) installs its own hooks; without them errors go to standard error
// and diagnostics to standard output.
#pragma once

#include <QByteArray>
#include <QString>

// What a failure is about, so that each front end can choose its words.
enum FailureKind {
    FAIL_PLAIN,  // the text says it all
    FAIL_FILE,   // a file that could not be made or written: file and reason say which and why
};

struct Failure {
    FailureKind kind = FAIL_PLAIN;
    QString text;     // the error box's own words
    QByteArray file;  // FAIL_FILE: the name as given
    QString reason;   // FAIL_FILE: the system's reason
};

// Which of the file layer's diagnostics a diagnostic is.
enum DiagKind {
    DIAG_NOTE,           // said on its own
    DIAG_CREATE_FAILED,  // "Failed to create": the failure itself follows as a FAIL_FILE
    DIAG_WAITING,        // a writer waits for another Trelvane process
};

struct Report {
    // The one error box, said once per failure. Null: the text (and for a
    // file, its name and reason) goes to standard error.
    void (*show_failure)(const Failure& failure);
    // The file layer's diagnostics, exactly as formatted (some have no line
    // end). Null: standard output.
    void (*diag)(DiagKind kind, const QByteArray& text);
};

extern Report report;

void show_error(const QString& text);
void show_failure(const Failure& failure);

// The box's text followed, for a file, by a line with its name and the
// system's reason.
QString failure_text(const Failure& failure);

// Formats a diagnostic of the file layer with printf rules and hands it on.
void io_diag(DiagKind kind, const char* format, ...) __attribute__((format(printf, 2, 3)));
