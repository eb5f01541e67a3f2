#include "io/report.h"

#include <cstdarg>
#include <cstdio>

Report report;

void show_error(const QString& text)
{
    if (report.show_error) {
        report.show_error(text);
        return;
    }
    QByteArray bytes = text.toLocal8Bit();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    fflush(stdout);
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    fflush(stderr);
}

void report_file_failure(const QByteArray& name, const QString& reason)
{
    if (report.file_failed)
        report.file_failed(name, reason);
}

void io_diag(const char* format, ...)
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
        report.diag(text);
        return;
    }
    fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stdout);
    fflush(stdout);
}
