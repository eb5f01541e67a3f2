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
    const auto number = [&](const char* option, const std::optional<uint32_t>& value) {
        if (value)
            w << option << QByteArray::number(*value);
    };
    if (!args.output.isEmpty())
        w << "-o" << args.output;
    number("--from", args.from);
    number("--to", args.to);
    number("--window", args.window);
    number("--at", args.at);
    number("--width", args.width);
    number("--start", args.start);
    number("--period", args.period);
    number("--pick", args.pick);
    if (args.min_ms)
        w << "--min-seconds=" + seconds_word(*args.min_ms);
    if (args.silence_ms)
        w << "--silence" << seconds_word(*args.silence_ms);
    for (uint32_t mark : args.marks)
        w << "--mark" << QByteArray::number(mark);
    number("--clock", args.clock);
    number("--rate", args.rate);
    if (args.frame_rate_millihertz)
        w << "--frame-rate" << seconds_word(*args.frame_rate_millihertz);
    for (const auto& [option, value] :
         {std::pair{"--chip", &args.chip}, {"--pan", &args.pan}, {"--gain", &args.gain}, {"--loop", &args.loop}})
        if (*value)
            w << option << **value;
    if (args.max_pieces != Arguments().max_pieces)
        w << "--max-pieces" << QByteArray::number(args.max_pieces);
    if (args.accurate)
        w << "--accurate";
    if (args.no_state)
        w << "--no-state";
    if (args.json)
        w << "--json";
    w << "--";
    w += args.files;
    return w;
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
    check(args.window.value_or(1) > 0, "zero window");
    check(args.min_ms.value_or(1) > 0, "no --min-seconds");
    check(args.silence_ms.value_or(1) > 0, "no --silence");
    check(args.width.value_or(PLOT_WIDTH_MIN) >= PLOT_WIDTH_MIN
              && args.width.value_or(PLOT_WIDTH_MIN) <= PLOT_WIDTH_MAX,
          "--width");
    const CommandLine again = parse_arguments(words_for(line.command, args));
    check(again.outcome == PARSE_RUN && again.command == line.command, "the same words are not taken again");
    check(again.args == args, "the same words give other arguments");
    return 0;
}
