// trelvane-cli: the song commands of the desktop program for scripts.
#include "cli/cli.h"

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

const char usage_text[] =
    "Usage: trelvane-cli COMMAND FILE... [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  info FILE [MORE...]            print the song's frames, writes and length;\n"
    "                                 further files are appended\n"
    "  find FILE [--from I] [--window W]\n"
    "                                 find where the song starts to repeat itself\n"
    "                                 (search from write I, W writes must recur;\n"
    "                                 default 0 and 12000)\n"
    "  cut FILE --at FRAME -o NAME [--no-state]\n"
    "                                 save frames 0..FRAME-1 as NAME(.psg) and the\n"
    "                                 rest as NAME.rest.psg; prints both names. The\n"
    "                                 rest begins with the chip state the song has\n"
    "                                 at FRAME; with --no-state it holds only its\n"
    "                                 own writes, and the two join back into the\n"
    "                                 song's bytes\n"
    "  save FILE [MORE...] -o NAME    save the song, further files appended, as\n"
    "                                 NAME(.psg); prints the name\n"
    "  render FILE -o OUT.wav [--from F]\n"
    "                                 render the song from frame F (default 0) to\n"
    "                                 a 44,100 Hz 16-bit stereo WAV file (a pipe\n"
    "                                 such as /dev/stdout works too)\n"
    "\n"
    "Options:\n"
    "  --help                         show this text\n"
    "  --version                      show the version\n"
    "  --                             the arguments after it are file names\n"
    "\n"
    "Exit status: 0 done, 1 find found no repetition, 2 error.\n";

enum Option { OPT_OUTPUT = 1, OPT_FROM = 2, OPT_WINDOW = 4, OPT_AT = 8, OPT_NO_STATE = 16 };
constexpr int FLAG_OPTIONS = OPT_NO_STATE;  // options without a value

struct Command {
    const char* name;
    int (*run)(const Arguments&);
    int options;        // Option bits the command takes
    int required;       // Option bits it needs
    bool several_files; // more than one FILE allowed
};

const Command commands[] = {
    {"info", run_info, 0, 0, true},
    {"find", run_find, OPT_FROM | OPT_WINDOW, 0, false},
    {"cut", run_cut, OPT_OUTPUT | OPT_AT | OPT_NO_STATE, OPT_OUTPUT | OPT_AT, false},
    {"save", run_save, OPT_OUTPUT, OPT_OUTPUT, true},
    {"render", run_render, OPT_OUTPUT | OPT_FROM, OPT_OUTPUT, false},
};

const char* option_name(int option)
{
    switch (option) {
    case OPT_OUTPUT: return "-o";
    case OPT_FROM: return "--from";
    case OPT_WINDOW: return "--window";
    case OPT_NO_STATE: return "--no-state";
    default: return "--at";
    }
}

int option_of(const QByteArray& word)
{
    if (word == "-o")
        return OPT_OUTPUT;
    if (word == "--from")
        return OPT_FROM;
    if (word == "--window")
        return OPT_WINDOW;
    if (word == "--at")
        return OPT_AT;
    if (word == "--no-state")
        return OPT_NO_STATE;
    return 0;
}

// A plain decimal number that fits 32 bits, no sign, no spaces.
bool parse_number(const QByteArray& text, uint32_t& value)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > UINT32_MAX)
        return false;
    value = static_cast<uint32_t>(v);
    return true;
}

int store_option(Arguments& args, int option, const QByteArray& value)
{
    if (option == OPT_OUTPUT) {
        if (value.isEmpty())
            return usage_error("-o needs a file name");
        args.output = value;
        args.has_output = true;
        return 0;
    }
    uint32_t number = 0;
    if (!parse_number(value, number)) {
        QByteArray text = QByteArray(option_name(option)) + " needs a number, not '" + value + "'";
        return usage_error(text.constData());
    }
    switch (option) {
    case OPT_FROM:
        args.from = number;
        args.has_from = true;
        break;
    case OPT_WINDOW:
        if (number == 0)
            return usage_error("--window must be at least 1");
        args.window = number;
        args.has_window = true;
        break;
    default:
        args.at = number;
        args.has_at = true;
        break;
    }
    return 0;
}

int run_command(const Command& command, int argc, char** argv)
{
    Arguments args;
    int seen = 0;
    bool only_files = false;
    for (int i = 2; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (only_files || word == "-" || !word.startsWith('-')) {
            args.files.append(word);
            continue;
        }
        if (word == "--") {
            only_files = true;
            continue;
        }
        QByteArray name = word;
        QByteArray value;
        bool has_value = false;
        const qsizetype eq = word.indexOf('=');
        if (word.startsWith("--") && eq > 0) {
            name = word.left(eq);
            value = word.mid(eq + 1);
            has_value = true;
        }
        const int option = option_of(name);
        if (option == 0 || !(command.options & option)) {
            QByteArray text = QByteArray("'") + command.name + "' does not take " + name;
            if (option == 0)
                text = "unknown option " + name;
            return usage_error(text.constData());
        }
        if (seen & option) {
            QByteArray text = QByteArray(option_name(option)) + " given twice";
            return usage_error(text.constData());
        }
        if (option & FLAG_OPTIONS) {
            if (has_value) {
                QByteArray text = QByteArray(option_name(option)) + " takes no value";
                return usage_error(text.constData());
            }
            args.no_state = true;
            seen |= option;
            continue;
        }
        if (!has_value) {
            if (i + 1 >= argc) {
                QByteArray text = QByteArray(option_name(option)) + " needs a value";
                return usage_error(text.constData());
            }
            value = argv[++i];
        }
        if (int status = store_option(args, option, value))
            return status;
        seen |= option;
    }
    if (args.files.isEmpty())
        return usage_error("no input file");
    if (args.files.size() > 1 && !command.several_files) {
        QByteArray text = "'" + QByteArray(command.name) + "' takes one input file";
        return usage_error(text.constData());
    }
    const int missing = command.required & ~seen;
    if (missing) {
        int option = missing & -missing;
        QByteArray text = QByteArray("'") + command.name + "' needs " + option_name(option);
        return usage_error(text.constData());
    }
    return command.run(args);
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

int main(int argc, char** argv)
{
    // A file size limit fails the write, which the tool then reports and
    // cleans up after, instead of ending the process.
    signal(SIGXFSZ, SIG_IGN);
    if (argc < 2)
        return usage_error("no command");
    const QByteArray first(argv[1]);
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--") == 0)
            break;
        if (strcmp(argv[i], "--help") == 0) {
            fputs(usage_text, stdout);
            return fflush(stdout) == 0 ? 0 : EXIT_ERROR;
        }
    }
    if (first == "--version") {
        fputs("trelvane-cli " TRELVANE_VERSION "\n", stdout);
        return fflush(stdout) == 0 ? 0 : EXIT_ERROR;
    }

    for (const Command& command : commands) {
        if (first == command.name) {
            route_messages();
            int status = run_command(command, argc, argv);
            if (fflush(stdout) != 0 && status == 0)
                status = fail("cannot write to standard output");
            return status;
        }
    }
    QByteArray text = "unknown command '" + first + "'";
    return usage_error(text.constData());
}
