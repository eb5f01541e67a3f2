// trelvane-cli: the song commands of the desktop program for scripts, and a
// toolbox for collections of PSG files.
#include "cli/cli.h"

#include "io/save.h"
#include "song/song.h"

#include <csignal>
#include <cstdio>

namespace {

// Runs the command; the compiler checks that every command has its case.
int run(CommandId command, const Arguments& args)
{
    switch (command) {
    case CMD_INFO:
        return run_info(args);
    case CMD_FIND:
        return run_find(args);
    case CMD_CUT:
        return run_cut(args);
    case CMD_SAVE:
        return run_save(args);
    case CMD_RENDER:
        return run_render(args);
    case CMD_OPTIMIZE:
        return run_optimize(args);
    case CMD_LOOPS:
        return run_loops(args);
    case CMD_SPLIT:
        return run_split(args);
    case CMD_TRIM:
        return run_trim(args);
    case CMD_PLOT:
        return run_plot(args);
    case CMD_LOOP:
        return run_loop(args);
    case CMD_EXPORT:
        return run_export(args);
    case CMD_IMPORT:
        return run_import(args);
    case CMD_COUNT:
        break;
    }
    return EXIT_ERROR;
}

}  // namespace

int usage_error(const char* text)
{
    fflush(stdout);
    fprintf(stderr, "trelvane-cli: %s\nTry 'trelvane-cli --help'.\n", text);
    return EXIT_ERROR;
}

int fail(const QByteArray& text)
{
    fflush(stdout);
    fprintf(stderr, "trelvane-cli: %s\n", text.constData());
    return EXIT_ERROR;
}

int past_the_end(const char* option, uint64_t frame)
{
    const QByteArray text = QByteArray(option) + " " + QByteArray::number(static_cast<qulonglong>(frame))
        + " is past the end of the song (frame " + QByteArray::number(frame_count) + ")";
    return usage_error(text.constData());
}

int main(int argc, char** argv)
{
    // A file size limit fails the write, which the tool then reports and
    // cleans up after, instead of ending the process.
    signal(SIGXFSZ, SIG_IGN);
    // Ctrl+C, timeout's SIGTERM or a closed terminal leave no half-written file.
    save_clean_up_on_signals();
    QList<QByteArray> words;
    for (int i = 1; i < argc; ++i)
        words.append(QByteArray(argv[i]));
    const CommandLine line = parse_arguments(words);
    switch (line.outcome) {
    case PARSE_HELP:
        fputs(usage_text().constData(), stdout);
        return fflush(stdout) == 0 ? 0 : EXIT_ERROR;
    case PARSE_VERSION:
        fputs("trelvane-cli " TRELVANE_VERSION "\n", stdout);
        return fflush(stdout) == 0 ? 0 : EXIT_ERROR;
    case PARSE_ERROR:
        return usage_error(line.error.constData());
    case PARSE_RUN:
        break;
    }
    route_messages();
    int status = run(line.command, line.args);
    if (fflush(stdout) != 0 && status == 0)
        status = fail("cannot write to standard output");
    return status;
}
