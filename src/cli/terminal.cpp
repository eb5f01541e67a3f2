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

QByteArray input_name;

void print_line_on_stderr(QByteArray bytes)
{
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    bytes.prepend("trelvane-cli: ");
    if (diag_line_open)
        bytes.prepend('\n');
    diag_line_open = false;
    fflush(stdout);
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    fflush(stderr);
}

void print_diag(DiagKind kind, const QByteArray& text)
{
    // A file that cannot be made is said once, by its failure with the name
    // and the reason.
    if (text.isEmpty() || kind == DIAG_CREATE_FAILED)
        return;
    if (kind == DIAG_WAITING) {
        print_line_on_stderr(text);
        return;
    }
    fflush(stdout);
    fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
    fflush(stderr);
    diag_line_open = !text.endsWith('\n');
}

void print_failure(const Failure& failure)
{
    // A file's failure in the words of the shell's tools: its name and the
    // system's reason, not the box's general words.
    if (failure.kind == FAIL_FILE) {
        print_line_on_stderr("can't write " + failure.file + ": " + failure.reason.toLocal8Bit());
        return;
    }
    QByteArray bytes = failure.text.toLocal8Bit();
    // Which file: a batch over many files says so.
    if (!input_name.isEmpty() && !bytes.contains(input_name))
        bytes.prepend(input_name + ": ");
    print_line_on_stderr(bytes);
}

}  // namespace

void route_messages()
{
    report.diag = print_diag;
    report.show_failure = print_failure;
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
