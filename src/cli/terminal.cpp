// Standard error: the core's messages and the progress bar.
#include "cli/cli.h"

#include "song/frontend.h"

#include <QString>

#include <cstdio>
#include <unistd.h>

namespace {

// The file layer prints some of its diagnostics without a line end; the
// message that follows one of them starts on a new line.
bool diag_line_open;

ssize_t diag_write(void*, const char* bytes, size_t size)
{
    if (size == 0)
        return 0;
    fflush(stdout);
    size_t done = fwrite(bytes, 1, size, stderr);
    fflush(stderr);
    diag_line_open = bytes[size - 1] != '\n';
    return static_cast<ssize_t>(done);
}

void print_message(const QString& text)
{
    QByteArray bytes = text.toLocal8Bit();
    if (!bytes.endsWith('\n'))
        bytes.append('\n');
    if (diag_line_open)
        bytes.prepend('\n');
    diag_line_open = false;
    fflush(stdout);
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    fflush(stderr);
}

}  // namespace

void route_messages()
{
    cookie_io_functions_t io{};
    io.write = diag_write;
    FILE* diag = fopencookie(nullptr, "w", io);
    if (diag) {
        setvbuf(diag, nullptr, _IONBF, 0);
        io_diag = diag;
    } else {
        io_diag = stderr;
    }
    front_end.show_error = print_message;
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
