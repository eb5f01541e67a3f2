// Standard error: the core's messages and the progress bar.
#include "cli/cli.h"

#include "io/report.h"

#include <QString>

#include <cstdio>
#include <unistd.h>

namespace {

// The file layer prints some of its diagnostics without a line end; the
// message that follows one of them starts on a new line.
bool diag_line_open;

// Once a file's failure has been said with its name and reason, the file
// layer's plainer words for it are left out.
bool failure_named;
QByteArray input_name;

void print_diag(const QByteArray& text)
{
    if (text.isEmpty() || (failure_named && text.startsWith("Failed to create ")))
        return;
    fflush(stdout);
    fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
    fflush(stderr);
    diag_line_open = !text.endsWith('\n');
}

void print_message(const QString& text)
{
    if (failure_named && (text == QLatin1String("Can't ceate file!") || text == QLatin1String("Can't write file!")))
        return;
    QByteArray bytes = text.toLocal8Bit();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    // Which file and which program: a batch over many files says so.
    if (!input_name.isEmpty() && !bytes.contains(input_name))
        bytes.prepend(input_name + ": ");
    bytes.prepend("trelvane-cli: ");
    if (diag_line_open)
        bytes.prepend('\n');
    diag_line_open = false;
    fflush(stdout);
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    fflush(stderr);
}

void print_file_failure(const QByteArray& name, const QString& reason)
{
    failure_named = true;
    fail("can't write " + name + ": " + reason.toLocal8Bit());
}

}  // namespace

void route_messages()
{
    report.diag = print_diag;
    report.show_error = print_message;
    report.file_failed = print_file_failure;
}

void set_message_file(const QByteArray& name)
{
    input_name = name;
}

Progress::Progress(const char* what)
    : label(what), terminal(isatty(STDERR_FILENO) == 1), start(std::chrono::steady_clock::now())
{
}

Progress::~Progress()
{
    if (drawn) {
        fprintf(stderr, "\r%*s\r", 60, "");
        fflush(stderr);
    }
}

void Progress::show(int percent)
{
    if (!terminal || percent == last)
        return;
    if (!drawn && std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300))
        return;
    last = percent;
    drawn = true;
    constexpr int width = 40;
    const int filled = percent * width / 100;
    char bar[width + 1];
    for (int i = 0; i < width; ++i)
        bar[i] = i < filled ? '#' : '.';
    bar[width] = '\0';
    fprintf(stderr, "\r%-7s %3d%% [%s]", label, percent, bar);
    fflush(stderr);
}
