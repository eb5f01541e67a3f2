// trelvane-cli run as a separate process, the way scripts run it.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <sys/resource.h>

struct CliRun {
    int status;  // the exit status, -1 when the tool did not end by itself
    QByteArray out;
    QByteArray err;
};

// The tool of the build under test.
QString cli_path();

// Runs the tool in dir; file_limit > 0 caps the size of any file it writes
// (past it a write fails, or the process is ended if it lets the signal
// through); input goes to its standard input. in_child runs in the child
// before the tool starts.
CliRun run_cli(const QStringList& args, const QString& dir = QString(), rlim_t file_limit = 0,
               const QByteArray& input = QByteArray(), const std::function<void()>& in_child = {});
// The same with another copy of the tool.
CliRun run_program(const QString& program, const QStringList& args, const QString& dir = QString(),
                   rlim_t file_limit = 0, const QByteArray& input = QByteArray(),
                   const std::function<void()>& in_child = {});

// Writes bytes to dir/name and returns the file's path; ends the test
// program when it cannot.
QString put_file(const QString& dir, const QString& name, const QByteArray& bytes);
