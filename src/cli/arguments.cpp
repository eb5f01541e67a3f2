#include "cli/arguments.h"

namespace {

enum Option {
    OPT_OUTPUT = 1 << 0,
    OPT_FROM = 1 << 1,
    OPT_WINDOW = 1 << 2,
    OPT_AT = 1 << 3,
    OPT_NO_STATE = 1 << 4,
    OPT_JSON = 1 << 5,
    OPT_TO = 1 << 6,
    OPT_MIN_SECONDS = 1 << 7,
    OPT_SILENCE = 1 << 8,
    OPT_MARK = 1 << 9,
    OPT_WIDTH = 1 << 10,
    OPT_START = 1 << 11,
    OPT_PERIOD = 1 << 12,
    OPT_PICK = 1 << 13,
    OPT_ACCURATE = 1 << 14,
    OPT_CLOCK = 1 << 15,
    OPT_CHIP = 1 << 16,
    OPT_PAN = 1 << 17,
    OPT_RATE = 1 << 18,
    OPT_FRAME_RATE = 1 << 19,
    OPT_LOOP = 1 << 20,
    OPT_MAX_PIECES = 1 << 21,
    OPT_TO_END = 1 << 22,
    OPT_KEEP_ALL = 1 << 23,
};
constexpr int FLAG_OPTIONS = OPT_NO_STATE | OPT_JSON | OPT_ACCURATE | OPT_TO_END | OPT_KEEP_ALL;  // options without a value
constexpr int ACCURATE_OPTIONS = OPT_CLOCK | OPT_CHIP | OPT_PAN | OPT_RATE | OPT_FRAME_RATE;
constexpr int REPEATED_OPTIONS = OPT_MARK;             // options that may come more than once
constexpr int SECONDS_OPTIONS = OPT_MIN_SECONDS | OPT_SILENCE;
// Options that take a position (a frame or a time); find's --from is a
// write index instead.
constexpr int POSITION_OPTIONS = OPT_FROM | OPT_TO | OPT_AT | OPT_MARK | OPT_START | OPT_PERIOD;

struct OptionName {
    Option option;
    const char* name;
};

const OptionName option_names[] = {
    {OPT_OUTPUT, "-o"},          {OPT_FROM, "--from"},       {OPT_WINDOW, "--window"},
    {OPT_AT, "--at"},            {OPT_NO_STATE, "--no-state"}, {OPT_JSON, "--json"},
    {OPT_TO, "--to"},            {OPT_MIN_SECONDS, "--min-seconds"},
    {OPT_SILENCE, "--silence"},  {OPT_MARK, "--mark"},       {OPT_WIDTH, "--width"},
    {OPT_START, "--start"},      {OPT_PERIOD, "--period"},   {OPT_PICK, "--pick"},
    {OPT_ACCURATE, "--accurate"}, {OPT_CLOCK, "--clock"},    {OPT_CHIP, "--chip"},
    {OPT_PAN, "--pan"},          {OPT_RATE, "--rate"},       {OPT_FRAME_RATE, "--frame-rate"},
    {OPT_LOOP, "--loop"},
    {OPT_MAX_PIECES, "--max-pieces"},
    {OPT_TO_END, "--to-end"},    {OPT_KEEP_ALL, "--keep-all"},
};

struct Command {
    const char* name;
    int options;         // Option bits the command takes
    int required;        // Option bits it needs
    bool several_files;  // more than one FILE allowed
};

// Indexed by CommandId.
const Command commands[CMD_COUNT] = {
    {"info", OPT_JSON, 0, true},
    {"find", OPT_FROM | OPT_WINDOW | OPT_JSON, 0, false},
    {"cut", OPT_OUTPUT | OPT_AT | OPT_NO_STATE, OPT_OUTPUT | OPT_AT, false},
    {"save", OPT_OUTPUT, OPT_OUTPUT, true},
    {"render", OPT_OUTPUT | OPT_FROM | OPT_TO | OPT_ACCURATE | ACCURATE_OPTIONS, OPT_OUTPUT, false},
    {"optimize", OPT_OUTPUT, OPT_OUTPUT, false},
    {"loops", OPT_MIN_SECONDS | OPT_TO_END | OPT_JSON, 0, false},
    {"split", OPT_SILENCE | OPT_OUTPUT | OPT_MAX_PIECES | OPT_JSON, OPT_SILENCE | OPT_OUTPUT, false},
    {"trim", OPT_FROM | OPT_TO | OPT_OUTPUT | OPT_NO_STATE, OPT_FROM | OPT_OUTPUT, false},
    {"plot", OPT_OUTPUT | OPT_MARK | OPT_WIDTH, OPT_OUTPUT, false},
    {"loop", OPT_OUTPUT | OPT_START | OPT_PERIOD | OPT_PICK | OPT_MIN_SECONDS | OPT_JSON, OPT_OUTPUT, false},
    {"export", OPT_OUTPUT | OPT_CLOCK | OPT_LOOP | OPT_CHIP | OPT_KEEP_ALL | OPT_JSON, OPT_OUTPUT, false},
    {"import", OPT_OUTPUT | OPT_JSON, OPT_OUTPUT, false},
};

const char* option_name(int option)
{
    for (const OptionName& o : option_names)
        if (o.option == option)
            return o.name;
    return "?";
}

int option_of(const QByteArray& word)
{
    for (const OptionName& o : option_names)
        if (word == o.name)
            return o.option;
    return 0;
}

QByteArray store_option(Arguments& args, int option, const QByteArray& value, bool positions)
{
    if (option == OPT_OUTPUT) {
        if (value.isEmpty())
            return "-o needs a file name";
        if (value.endsWith('/'))
            return "-o " + value + " names a folder: give a file name in it";
        args.output = value;
        args.has_output = true;
        return {};
    }
    if (option == OPT_CHIP || option == OPT_PAN) {
        const bool chip = option == OPT_CHIP;
        const QList<QByteArray> names = chip ? QList<QByteArray>{"ay", "ym"}
                                             : QList<QByteArray>{"plain", "abc", "acb", "mono"};
        if (!names.contains(value))
            return QByteArray(option_name(option)) + " must be " + names.join('|') + ", not '" + value + "'";
        (chip ? args.chip : args.pan) = value;
        (chip ? args.has_chip : args.has_pan) = true;
        return {};
    }
    if (option == OPT_FRAME_RATE) {
        uint32_t mhz = 0;
        if (!parse_seconds(value, mhz))
            return "--frame-rate needs a number of hertz, not '" + value + "'";
        if (mhz < FRAME_RATE_MIN || mhz > FRAME_RATE_MAX)
            return "--frame-rate must be from " + QByteArray::number(FRAME_RATE_MIN / 1000) + " to " +
                   QByteArray::number(FRAME_RATE_MAX / 1000);
        args.frame_rate_mhz = mhz;
        args.has_frame_rate = true;
        return {};
    }
    if (option == OPT_LOOP) {
        // A frame or a time needs the song; export checks it.
        if (value.isEmpty())
            return "--loop needs a frame, a time, auto or none";
        args.loop = value;
        args.has_loop = true;
        return {};
    }
    if (option & SECONDS_OPTIONS) {
        uint32_t ms = 0;
        if (!parse_seconds(value, ms) || ms == 0)
            return QByteArray(option_name(option)) + " needs seconds from 0.001 to 4294967.295, not '" + value + "'";
        if (option == OPT_MIN_SECONDS) {
            args.min_ms = ms;
            args.has_min = true;
        } else {
            args.silence_ms = ms;
            args.has_silence = true;
        }
        return {};
    }
    uint32_t number = 0;
    if (positions && (option & POSITION_OPTIONS)) {
        if (!parse_position(value, &number))
            return QByteArray(option_name(option)) + " needs a frame or a time, not '" + value + "'";
    } else if (!parse_number(value, number) && option == OPT_WIDTH) {
        number = 0;  // told below with the range
    } else if (!parse_number(value, number)) {
        return QByteArray(option_name(option)) + " needs a number, not '" + value + "'";
    }
    switch (option) {
    case OPT_FROM:
        args.from = number;
        args.has_from = true;
        break;
    case OPT_TO:
        args.to = number;
        args.has_to = true;
        break;
    case OPT_WINDOW:
        if (number == 0)
            return "--window must be at least 1";
        args.window = number;
        args.has_window = true;
        break;
    case OPT_MARK:
        args.marks.append(number);
        break;
    case OPT_START:
        args.start = number;
        args.has_start = true;
        break;
    case OPT_PERIOD:
        if (number == 0)
            return "--period must be at least 1 frame";
        args.period = number;
        args.has_period = true;
        break;
    case OPT_PICK:
        if (number == 0)
            return "--pick counts from 1";
        args.pick = number;
        args.has_pick = true;
        break;
    case OPT_CLOCK:
        if (number < CLOCK_MIN || number > CLOCK_MAX)
            return "--clock must be from " + QByteArray::number(CLOCK_MIN) + " to " +
                   QByteArray::number(CLOCK_MAX) + " Hz";
        args.clock = number;
        args.has_clock = true;
        break;
    case OPT_RATE:
        if (number < RATE_MIN || number > RATE_MAX)
            return "--rate must be from " + QByteArray::number(RATE_MIN) + " to " +
                   QByteArray::number(RATE_MAX);
        args.rate = number;
        args.has_rate = true;
        break;
    case OPT_MAX_PIECES:
        if (number == 0)
            return "--max-pieces must be at least 1";
        args.max_pieces = number;
        break;
    case OPT_WIDTH:
        if (number < PLOT_WIDTH_MIN || number > PLOT_WIDTH_MAX)
            return "--width needs a number from " + QByteArray::number(PLOT_WIDTH_MIN) + " to " +
                   QByteArray::number(PLOT_WIDTH_MAX) + ", not '" + value + "'";
        args.width = number;
        args.has_width = true;
        break;
    default:
        args.at = number;
        args.has_at = true;
        break;
    }
    return {};
}

CommandLine error(const QByteArray& text)
{
    CommandLine line;
    line.outcome = PARSE_ERROR;
    line.error = text;
    return line;
}

}  // namespace

const char* command_name(CommandId command)
{
    return command >= 0 && command < CMD_COUNT ? commands[command].name : "?";
}

CommandLine parse_arguments(const QList<QByteArray>& words)
{
    for (const QByteArray& word : words) {
        if (word == "--")
            break;
        if (word == "--help") {
            CommandLine line;
            line.outcome = PARSE_HELP;
            return line;
        }
    }
    if (words.isEmpty())
        return error("no command");
    if (words[0] == "--version") {
        CommandLine line;
        line.outcome = PARSE_VERSION;
        return line;
    }
    int id = 0;
    while (id < CMD_COUNT && words[0] != commands[id].name)
        ++id;
    if (id == CMD_COUNT)
        return error("unknown command '" + words[0] + "'");
    const Command& command = commands[id];

    CommandLine line;
    line.command = static_cast<CommandId>(id);
    Arguments& args = line.args;
    int seen = 0;
    bool only_files = false;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QByteArray& word = words[i];
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
        if (option == 0)
            return error("unknown option " + name);
        if (!(command.options & option))
            return error(QByteArray("'") + command.name + "' does not take " + name);
        if ((seen & option) && !(option & REPEATED_OPTIONS))
            return error(QByteArray(option_name(option)) + " given twice");
        seen |= option;
        if (option & FLAG_OPTIONS) {
            if (has_value)
                return error(QByteArray(option_name(option)) + " takes no value");
            if (option == OPT_NO_STATE)
                args.no_state = true;
            else if (option == OPT_ACCURATE)
                args.accurate = true;
            else if (option == OPT_TO_END)
                args.to_end = true;
            else if (option == OPT_KEEP_ALL)
                args.keep_all = true;
            else
                args.json = true;
            continue;
        }
        if (!has_value) {
            if (i + 1 >= words.size())
                return error(QByteArray(option_name(option)) + " needs a value");
            value = words[++i];
        }
        const QByteArray problem = store_option(args, option, value, id != CMD_FIND);
        if (!problem.isEmpty())
            return error(problem);
    }
    if (args.files.isEmpty())
        return error("no input file");
    if (args.files.size() > 1 && !command.several_files)
        return error("'" + QByteArray(command.name) + "' takes one input file");
    if (id == CMD_RENDER && (seen & ACCURATE_OPTIONS) && !args.accurate)
        return error(QByteArray(option_name(seen & ACCURATE_OPTIONS & -(seen & ACCURATE_OPTIONS))) +
                     " needs --accurate");
    const int missing = command.required & ~seen;
    if (missing) {
        const int option = missing & -missing;
        return error(QByteArray("'") + command.name + "' needs " + option_name(option));
    }
    if (args.has_start != args.has_period)
        return error("--start and --period go together");
    if ((args.has_pick || args.has_min) && args.has_start)
        return error("--start names the loop: no --pick or --min-seconds with it");
    line.outcome = PARSE_RUN;
    return line;
}
