#include "support/cli_run.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <csignal>

QString cli_path()
{
    return qEnvironmentVariable("TRELVANE_BIN", QCoreApplication::applicationDirPath() + "/..") + "/trelvane-cli";
}

CliRun run_cli(const QStringList& args, const QString& dir, rlim_t file_limit, const QByteArray& input,
               const std::function<void()>& in_child)
{
    return run_program(cli_path(), args, dir, file_limit, input, in_child);
}

CliRun run_program(const QString& program, const QStringList& args, const QString& dir, rlim_t file_limit,
                   const QByteArray& input, const std::function<void()>& in_child)
{
    QProcess p;
    if (!dir.isEmpty())
        p.setWorkingDirectory(dir);
    p.setChildProcessModifier([file_limit, in_child] {
        if (file_limit) {
            signal(SIGXFSZ, SIG_DFL);
            struct rlimit limit = {file_limit, file_limit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (in_child)
            in_child();
    });
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return {-1, {}, p.readAllStandardError()};
    return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
}

QString put_file(const QString& dir, const QString& name, const QByteArray& bytes)
{
    QFile f(QDir(dir).filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(f.fileName()));
    return f.fileName();
}
