#include "io/report.h"

#include <QFile>

#include <cstdarg>
#include <cstdio>

Report report;

void show_error(const QString& text)
{
    show_failure(Failure{FAIL_PLAIN, text, {}, {}});
}

void show_failure(const Failure& failure)
{
    if (report.show_failure) {
        report.show_failure(failure);
        return;
    }
    QByteArray bytes = failure_text(failure).toLocal8Bit();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    fflush(stdout);
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    fflush(stderr);
}

QString failure_text(const Failure& failure)
{
    if (failure.kind != FAIL_FILE)
        return failure.text;
    QString text = failure.text;
    if (!text.endsWith(QLatin1Char('\n')))
        text += QLatin1Char('\n');
    return text + QFile::decodeName(failure.file) + QStringLiteral(": ") + failure.reason;
}

void io_diag(DiagKind kind, const char* format, ...)
{
    // Bytes stay bytes: a file name is printed as it was given.
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    QByteArray text(n > 0 ? n : 0, '\0');
    if (n > 0)
        vsnprintf(text.data(), static_cast<size_t>(n) + 1, format, again);
    va_end(again);
    if (report.diag) {
        report.diag(kind, text);
        return;
    }
    fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    fflush(stdout);
}
