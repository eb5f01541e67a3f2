// Any words as trelvane-cli's command line (the input split at NUL bytes).
// The parser must answer every one without a crash; what it runs must have
// its input files and needed options, and the command line that its answer
// stands for must give the same answer again. Any difference aborts.
#include "cli/arguments.h"

#include <cstdio>
#include <cstdlib>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        fprintf(stderr, "fuzz_cli_args: %s\n", what);
        abort();
    }
}

QByteArray seconds_word(uint32_t ms)
{
    char text[24];
    snprintf(text, sizeof text, "%u.%03u", ms / 1000, ms % 1000);
    return text;
}

// The words of a command line that says exactly args.
QList<QByteArray> words_for(CommandId command, const Arguments& args)
{
    QList<QByteArray> w{command_name(command)};
    const auto number = [&](const char* option, bool has, uint32_t value) {
        if (has)
            w << option << QByteArray::number(value);
    };
    if (args.has_output)
        w << "-o" << args.output;
    number("--from", args.has_from, args.from);
    number("--to", args.has_to, args.to);
    number("--window", args.has_window, args.window);
    number("--at", args.has_at, args.at);
    number("--width", args.has_width, args.width);
    number("--start", args.has_start, args.start);
    number("--period", args.has_period, args.period);
    number("--pick", args.has_pick, args.pick);
    if (args.has_min)
        w << "--min-seconds=" + seconds_word(args.min_ms);
    if (args.has_silence)
        w << "--silence" << seconds_word(args.silence_ms);
    for (uint32_t mark : args.marks)
        w << "--mark" << QByteArray::number(mark);
    if (args.no_state)
        w << "--no-state";
    if (args.json)
        w << "--json";
    w << "--";
    w += args.files;
    return w;
}

bool same(const Arguments& a, const Arguments& b)
{
    return a.files == b.files && a.output == b.output && a.has_output == b.has_output && a.from == b.from &&
           a.has_from == b.has_from && a.to == b.to && a.has_to == b.has_to && a.window == b.window &&
           a.has_window == b.has_window && a.at == b.at && a.has_at == b.has_at && a.min_ms == b.min_ms &&
           a.has_min == b.has_min && a.silence_ms == b.silence_ms && a.has_silence == b.has_silence &&
           a.width == b.width && a.has_width == b.has_width && a.marks == b.marks && a.no_state == b.no_state &&
           a.json == b.json && a.start == b.start && a.has_start == b.has_start && a.period == b.period &&
           a.has_period == b.has_period && a.pick == b.pick && a.has_pick == b.has_pick;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QList<QByteArray> words = input.split('\0');
    if (words.size() > 1 && words.last().isEmpty())
        words.removeLast();  // a NUL ends the last word
    const CommandLine line = parse_arguments(words);

    bool help = false;
    for (const QByteArray& word : words) {
        if (word == "--")
            break;
        help = help || word == "--help";
    }
    check((line.outcome == PARSE_HELP) == help, "--help");
    check((line.outcome == PARSE_ERROR) == !line.error.isEmpty(), "error without a text, or text without error");
    if (line.outcome != PARSE_RUN)
        return 0;

    const Arguments& args = line.args;
    check(!args.files.isEmpty(), "runs without an input file");
    check(!args.has_output || !args.output.isEmpty(), "empty output name");
    check(!args.has_window || args.window > 0, "zero window");
    check(!args.has_min || args.min_ms > 0, "no --min-seconds");
    check(!args.has_silence || args.silence_ms > 0, "no --silence");
    check(!args.has_width || (args.width >= PLOT_WIDTH_MIN && args.width <= PLOT_WIDTH_MAX), "--width");
    const CommandLine again = parse_arguments(words_for(line.command, args));
    check(again.outcome == PARSE_RUN && again.command == line.command, "the same words are not taken again");
    check(same(again.args, args), "the same words give other arguments");
    return 0;
}
