#include "cli/arguments.h"

#include <algorithm>
#include <tuple>

namespace {

// How an option's value is read.
enum class Kind {
    FLAG,      // no value
    NAME,      // a file name
    TEXT,      // any text but the empty one; the command checks it
    CHOICE,    // one of the words of `choices`
    NUMBER,    // a plain decimal number
    POSITION,  // a frame or a time (find counts writes: a plain number there)
    SECONDS,   // seconds with up to three decimals, kept in milliseconds
    HERTZ,     // hertz with up to three decimals, kept in millihertz
};

// One option: its name and kind, the values it takes, where it goes and its
// line in the help. In the messages "{value}", "{min}" and "{max}" stand for
// the value given and the bounds (in hertz for HERTZ); a range message that
// quotes the value is also said for a value that is not a number at all.
struct OptionSpec {
    const char* name;
    Kind kind;
    const char* help;  // "VALUE  what it does"; further lines after '\n'
    uint32_t min = 0, max = UINT32_MAX;
    const char* range = nullptr;    // said for a value outside min..max
    const char* bad = nullptr;      // said for a value the kind does not read
    const char* choices = nullptr;  // CHOICE: "ay|ym"
    bool repeated = false;          // may be given more than once
    std::optional<uint32_t> Arguments::*number = nullptr;
    std::optional<QByteArray> Arguments::*text = nullptr;
    QByteArray Arguments::*name_to = nullptr;
    bool Arguments::*flag = nullptr;
    uint32_t Arguments::*plain = nullptr;
    QList<uint32_t> Arguments::*list = nullptr;
};

OptionSpec flag(const char* name, bool Arguments::*to, const char* help)
{
    OptionSpec o{name, Kind::FLAG, help};
    o.flag = to;
    return o;
}

OptionSpec text(const char* name, Kind kind, std::optional<QByteArray> Arguments::*to, const char* help,
                const char* bad, const char* choices = nullptr)
{
    OptionSpec o{name, kind, help};
    o.text = to;
    o.bad = bad;
    o.choices = choices;
    return o;
}

OptionSpec number(const char* name, Kind kind, std::optional<uint32_t> Arguments::*to, const char* help,
                  uint32_t min = 0, uint32_t max = UINT32_MAX, const char* range = nullptr)
{
    OptionSpec o{name, kind, help, min, max, range};
    o.number = to;
    return o;
}

OptionSpec with_bad(OptionSpec o, const char* bad)
{
    o.bad = bad;
    return o;
}

// In the order the messages name them: the first missing option, the first
// option that needs --accurate.
const OptionSpec options[] = {
    [] {
        OptionSpec o{"-o", Kind::NAME,
                     "NAME  the file (or the name of the files) to write;\n- is standard output (render, save; "
                     "export\nwrites a VGM file there)"};
        o.name_to = &Arguments::output;
        o.bad = "needs a file name";
        return o;
    }(),
    number("--from", Kind::POSITION, &Arguments::from, "F  the first frame (find: the first write)"),
    number("--window", Kind::NUMBER, &Arguments::window, "W  writes that must recur (find; default 12000)", 1,
           UINT32_MAX, "must be at least 1"),
    number("--at", Kind::POSITION, &Arguments::at, "FRAME  the cut position"),
    flag("--no-state", &Arguments::no_state, "a piece holds its own writes only, not the chip state"),
    flag("--json", &Arguments::json, "answer in JSON (info, find, loops, loop, split,\nexport, import)"),
    number("--to", Kind::POSITION, &Arguments::to, "T  the frame after the last one (default: the end)"),
    number("--min-seconds", Kind::SECONDS, &Arguments::min_ms,
           "S  the least length of a repetition (loops, loop; default 5)", 1, UINT32_MAX,
           "needs seconds from 0.001 to 4294967.295, not '{value}'"),
    number("--silence", Kind::SECONDS, &Arguments::silence_ms, "S  the least silence between two pieces (split)", 1,
           UINT32_MAX, "needs seconds from 0.001 to 4294967.295, not '{value}'"),
    [] {
        OptionSpec o{"--mark", Kind::POSITION, "F  a dashed mark at frame F (plot; again for more)"};
        o.list = &Arguments::marks;
        o.repeated = true;
        return o;
    }(),
    number("--width", Kind::NUMBER, &Arguments::width, "W  the picture's width in pixels (plot; default 1200)",
           PLOT_WIDTH_MIN, PLOT_WIDTH_MAX, "needs a number from {min} to {max}, not '{value}'"),
    number("--start", Kind::POSITION, &Arguments::start, "F  the loop's first frame (loop, with --period)"),
    number("--period", Kind::POSITION, &Arguments::period, "P  the loop's length (loop, with --start)", 1, UINT32_MAX,
           "must be at least 1 frame"),
    number("--pick", Kind::NUMBER, &Arguments::pick, "N  the N-th candidate of 'loops' (loop)", 1, UINT32_MAX,
           "counts from 1"),
    flag("--accurate", &Arguments::accurate, "render through a model of the chip itself"),
    number("--clock", Kind::NUMBER, &Arguments::clock, "HZ  the chip's clock (default 1773400)", CLOCK_MIN, CLOCK_MAX,
           "must be from {min} to {max} Hz"),
    text("--chip", Kind::CHOICE, &Arguments::chip, "ay|ym  an AY-3-8910 (default) or a YM2149",
         "must be {choices}, not '{value}'", "ay|ym"),
    text("--pan", Kind::CHOICE, &Arguments::pan, "plain|abc|acb|mono  where the channels sound (default plain)",
         "must be {choices}, not '{value}'", "plain|abc|acb|mono"),
    number("--rate", Kind::NUMBER, &Arguments::rate, "HZ  samples a second (default 44100)", RATE_MIN, RATE_MAX,
           "must be from {min} to {max}"),
    with_bad(number("--frame-rate", Kind::HERTZ, &Arguments::frame_rate_millihertz,
                    "HZ  frames a second, up to three decimals (default 50)", FRAME_RATE_MIN, FRAME_RATE_MAX,
                    "must be from {min} to {max}"),
             "needs a number of hertz, not '{value}'"),
    text("--gain", Kind::TEXT, &Arguments::gain, "DB  louder by DB decibels, -60 to 40 (default 0)",
         "needs decibels from -60 to 40"),
    text("--loop", Kind::TEXT, &Arguments::loop, "FRAME|auto|none  where the file loops (export; default auto)",
         "needs a frame, a time, auto or none"),
    [] {
        OptionSpec o{"--max-pieces", Kind::NUMBER,        "N  the most pieces split writes (default 999)", 1,
                     UINT32_MAX,     "must be at least 1"};
        o.plain = &Arguments::max_pieces;
        return o;
    }(),
    flag("--to-end", &Arguments::to_end, "only the candidates that run to the song's end\n(loops)"),
    flag("--keep-all", &Arguments::keep_all, "with --loop auto: every frame, not the intro\nand one pass (export)"),
};
constexpr int OPTION_COUNT = sizeof options / sizeof options[0];
static_assert(OPTION_COUNT <= 32, "a command's options are a 32-bit set");

// One command: the options it takes and needs (names separated by spaces),
// and its lines in the help.
struct CommandSpec {
    CommandId id;
    const char* name;
    const char* takes;
    const char* needs;
    bool several_files;    // more than one FILE allowed
    const char* synopsis;  // after the command's name; further lines after '\n'
    const char* description;
    const char* accurate_only = "";  // options that need --accurate
};

// In the order of CommandId.
constexpr CommandSpec commands[CMD_COUNT] = {
    {CMD_INFO, "info", "--json", "", true, " FILE [MORE...] [--json]",
     "print the song's frames, writes and length;\nfurther files are appended"},
    {CMD_FIND, "find", "--from --window --json", "", false, " FILE [--from I] [--window W] [--json]",
     "find where the song starts to repeat itself\n(search from write I, W writes must recur;\ndefault 0 and 12000)"},
    {CMD_CUT, "cut", "-o --at --no-state", "-o --at", false, " FILE --at FRAME -o NAME [--no-state]",
     "save frames 0..FRAME-1 as NAME(.psg) and the\nrest as NAME.rest.psg; prints both names. The\nrest begins with "
     "the chip state the song has\nat FRAME; with --no-state it holds only its\nown writes, and the two join back "
     "into the\nsong's bytes"},
    {CMD_SAVE, "save", "-o", "-o", true, " FILE [MORE...] -o NAME",
     "save the song, further files appended, as\nNAME(.psg); prints the name"},
    {CMD_RENDER, "render", "-o --from --to --accurate --clock --chip --pan --rate --frame-rate --gain", "-o", false,
     " FILE -o OUT.wav [--from F] [--to T] [--accurate [--chip ay|ym]\n         [--clock HZ] [--pan "
     "plain|abc|acb|mono] [--rate HZ] [--frame-rate HZ]\n         [--gain DB]]",
     "render frames F..T-1 (default: all) to a\n44,100 Hz 16-bit stereo WAV file (a pipe\nsuch as /dev/stdout works "
     "too); --accurate:\nthrough a model of the chip itself",
     "--clock --chip --pan --rate --frame-rate --gain"},
    {CMD_OPTIMIZE, "optimize", "-o", "-o", false, " FILE -o NAME",
     "save the song without the writes that cannot\nchange its sound, and empty frames as waits;\nit renders exactly "
     "the same sound"},
    {CMD_LOOPS, "loops", "--min-seconds --to-end --json", "", false, " FILE [--min-seconds S] [--to-end] [--json]",
     "list where the song repeats itself for at\nleast S seconds (default 5), best first,\neach to the end or inner "
     "(stopping before\nthe end); --to-end: only the first kind"},
    {CMD_SPLIT, "split", "--silence -o --max-pieces --json", "--silence -o", false,
     " FILE --silence S -o NAME [--max-pieces N] [--json]",
     "save each part between silences of at least\nS seconds (0.001 to 4294967.295) as\nNAME.1.psg, NAME.2.psg, "
     "..., each with the\nchip state at its start; prints each name\nwith its first and last frame and times.\nMore "
     "than N pieces (default 999) are\nrefused before any is written; the pieces\nreplace their names together or "
     "not at all"},
    {CMD_TRIM, "trim", "--from --to -o --no-state", "--from -o", false, " FILE --from F [--to T] -o NAME [--no-state]",
     "save frames F..T-1 (default: to the end) as\nNAME(.psg), beginning with the chip state at F\n(with --no-state: "
     "its own writes only)"},
    {CMD_PLOT, "plot", "-o --mark --width", "-o", false, " FILE -o OUT.png [--mark F]... [--width W]",
     "draw the song: each channel's notes, levels,\nnoise and envelope over time, the best loop\nand marks at frames "
     "F (width W, 320 to\n16000, default 1200)"},
    {CMD_LOOP, "loop", "-o --start --period --pick --min-seconds --json", "-o", false,
     " FILE -o NAME [--start F --period P | --pick N] [--min-seconds S]\n       [--json]",
     "save the intro (frames before the loop) as\nNAME.intro.psg and one pass of the loop as\nNAME.loop.psg, which "
     "chain exactly: the intro\nand then the loop over and over play as the\nsong does. Default: the best loop "
     "candidate\nthat runs to the song's end and chains\n(none: exit 1); --pick N the N-th of\n'loops' (--min-seconds "
     "S as there, default\n5); --start/--period a loop you name. Says\nwhy the start moved and whether the loop\n"
     "needs its intro; warns when the loop stops\nbefore the end"},
    {CMD_EXPORT, "export", "-o --clock --loop --keep-all --chip --json", "-o", false,
     " FILE -o OUT.ym|OUT.vgm [--clock HZ] [--loop FRAME|auto|none]\n         [--keep-all] [--chip ay|ym] [--json]",
     "write the song as a YM or a VGM file (by\nOUT's ending) for a chip clocked at HZ\n(default 1773400): auto (the "
     "default) the\nintro and one pass of the loop of 'loop',\nlooping to the pass's start (--keep-all:\nevery frame), "
     "the whole song without a loop\nwhen there is none; or every frame, looping\nat FRAME or not at all; a VGM file "
     "names an\nAY-3-8910 (ay, default) or a YM2149 (ym)"},
    {CMD_IMPORT, "import", "-o --json", "-o", false, " FILE -o NAME [--json]",
     "read a YM (YM5/YM6, packed or not) or VGM\n(.vgm/.vgz) file and save it as NAME(.psg)"},
};

constexpr bool in_order()
{
    for (int i = 0; i < CMD_COUNT; ++i)
        if (commands[i].id != i)
            return false;
    return true;
}
static_assert(in_order(), "commands[] is indexed by CommandId");

// The options of a list of names, as a set of indices into `options`.
uint32_t option_set(const char* names)
{
    uint32_t set = 0;
    for (const QByteArray& name : QByteArray(names).split(' '))
        for (int i = 0; i < OPTION_COUNT; ++i)
            if (name == options[i].name)
                set |= 1u << i;
    return set;
}

int option_index(const QByteArray& word)
{
    for (int i = 0; i < OPTION_COUNT; ++i)
        if (word == options[i].name)
            return i;
    return -1;
}

// The first option of a set, in table order.
int first_of(uint32_t set)
{
    int i = 0;
    while (!(set & (1u << i)))
        ++i;
    return i;
}

QByteArray said(const OptionSpec& o, const char* message, const QByteArray& value)
{
    const uint32_t scale = o.kind == Kind::HERTZ ? 1000 : 1;
    QByteArray text = QByteArray(message);
    text.replace("{value}", value)
        .replace("{min}", QByteArray::number(o.min / scale))
        .replace("{max}", QByteArray::number(o.max / scale))
        .replace("{choices}", o.choices ? o.choices : "");
    return QByteArray(o.name) + " " + text;
}

// Reads value as option o says and stores it; the message when it cannot.
QByteArray store_option(Arguments& args, const OptionSpec& o, const QByteArray& value, bool positions)
{
    const auto quotes_value = [](const char* m) { return m && QByteArray(m).contains("{value}"); };
    const char* bad = o.bad ? o.bad : quotes_value(o.range) ? o.range : nullptr;
    switch (o.kind) {
    case Kind::FLAG:
        return {};
    case Kind::NAME:
        if (value.isEmpty())
            return said(o, bad, value);
        if (value.endsWith('/'))
            return QByteArray(o.name) + " " + value + " names a folder: give a file name in it";
        args.*o.name_to = value;
        return {};
    case Kind::TEXT:
        if (value.isEmpty())
            return said(o, bad, value);
        args.*o.text = value;
        return {};
    case Kind::CHOICE:
        if (!QByteArray(o.choices).split('|').contains(value))
            return said(o, bad, value);
        args.*o.text = value;
        return {};
    default:
        break;
    }
    uint32_t number = 0;
    bool read = false;
    if (o.kind == Kind::SECONDS || o.kind == Kind::HERTZ) {
        read = parse_seconds(value, number);
    } else if (o.kind == Kind::POSITION && positions) {
        read = parse_position(value, &number);
        bad = bad ? bad : "needs a frame or a time, not '{value}'";
    } else {
        read = parse_number(value, number);
    }
    if (!read)
        return said(o, bad ? bad : "needs a number, not '{value}'", value);
    if (number < o.min || number > o.max)
        return said(o, o.range, value);
    if (o.number)
        args.*o.number = number;
    else if (o.plain)
        args.*o.plain = number;
    else
        (args.*o.list).append(number);
    return {};
}

CommandLine error(const QByteArray& text)
{
    CommandLine line;
    line.outcome = PARSE_ERROR;
    line.error = text;
    return line;
}

// Lines of text at column 33 under `head`, the first beside it when it may
// and fits there.
void put_lines(QByteArray& out, const QByteArray& head, const char* text, bool beside = true)
{
    constexpr int COLUMN = 33;
    const QList<QByteArray> lines = QByteArray(text).split('\n');
    out += head;
    if (beside && head.size() <= COLUMN - 2)
        out += QByteArray(COLUMN - head.size(), ' ') + lines[0] + "\n";
    else
        out += "\n" + QByteArray(COLUMN, ' ') + lines[0] + "\n";
    for (qsizetype i = 1; i < lines.size(); ++i)
        out += QByteArray(COLUMN, ' ') + lines[i] + "\n";
}

}  // namespace

bool Arguments::operator==(const Arguments& o) const
{
    const auto fields = [](const Arguments& a) {
        return std::tie(a.files, a.output, a.from, a.to, a.window, a.at, a.min_ms, a.silence_ms, a.width, a.max_pieces,
                        a.marks, a.start, a.period, a.pick, a.no_state, a.json, a.accurate, a.clock, a.chip, a.pan,
                        a.rate, a.frame_rate_millihertz, a.gain, a.loop, a.to_end, a.keep_all);
    };
    return fields(*this) == fields(o);
}

const char* command_name(CommandId command)
{
    return command >= 0 && command < CMD_COUNT ? commands[command].name : "?";
}

QByteArray usage_text()
{
    QByteArray out = "Usage: trelvane-cli COMMAND FILE... [OPTIONS]\n\nCommands:\n";
    // The commands in the order a newcomer needs them.
    constexpr CommandId order[CMD_COUNT]
        = {CMD_INFO,     CMD_FIND, CMD_LOOPS,  CMD_CUT,  CMD_TRIM,   CMD_LOOP,  CMD_SPLIT,
           CMD_OPTIMIZE, CMD_SAVE, CMD_RENDER, CMD_PLOT, CMD_EXPORT, CMD_IMPORT};
    for (CommandId id : order) {
        const CommandSpec& c = commands[id];
        const QList<QByteArray> synopsis = QByteArray(c.synopsis).split('\n');
        QByteArray head = QByteArray("  ") + c.name + synopsis[0];
        for (qsizetype i = 1; i < synopsis.size(); ++i) {
            out += head + "\n";
            head = synopsis[i];
        }
        put_lines(out, head, c.description, synopsis.size() == 1);
    }
    out += "\nOptions:\n";
    for (const OptionSpec& o : options) {
        const QByteArray help(o.help);
        const bool has_value = o.kind != Kind::FLAG;
        const qsizetype gap = has_value ? help.indexOf("  ") : -1;
        const QByteArray head = "  " + QByteArray(o.name) + (has_value ? " " + help.left(gap) : QByteArray());
        put_lines(out, head, has_value ? help.mid(gap + 2).constData() : o.help);
    }
    out += "\n"
           "Positions (F, T, FRAME, P, --mark) are frames (50 a second) or times:\n"
           "M:SS.mmm or H:MM:SS.mmm as the window shows them, or seconds such as 12.5s;\n"
           "a time between two frames means the nearest frame.\n"
           "  --help                         show this text\n"
           "  --version                      show the version\n"
           "  --                             the arguments after it are file names\n"
           "\n"
           "Exit status: 0 done, 1 find or loops found no repetition (split: no sound;\n"
           "loop: no loop that runs to the end and chains exactly), 2 error. An output\n"
           "is refused, before anything is written, where it is a folder (-o DIR/), a\n"
           "file read-only to you, a dangling symbolic link or a loop of links, or the\n"
           "same file as the command's other output; a failed write names the file and\n"
           "the system's reason.\n";
    return out;
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
    const CommandSpec* command = std::find_if(std::begin(commands), std::end(commands),
                                              [&](const CommandSpec& c) { return words[0] == c.name; });
    if (command == std::end(commands))
        return error("unknown command '" + words[0] + "'");
    const uint32_t takes = option_set(command->takes);

    CommandLine line;
    line.command = command->id;
    Arguments& args = line.args;
    uint32_t seen = 0;
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
        const int index = option_index(name);
        if (index < 0)
            return error("unknown option " + name);
        const OptionSpec& o = options[index];
        const uint32_t bit = 1u << index;
        if (!(takes & bit))
            return error(QByteArray("'") + command->name + "' does not take " + name);
        if ((seen & bit) && !o.repeated)
            return error(QByteArray(o.name) + " given twice");
        seen |= bit;
        if (o.kind == Kind::FLAG) {
            if (has_value)
                return error(QByteArray(o.name) + " takes no value");
            args.*o.flag = true;
            continue;
        }
        if (!has_value) {
            if (i + 1 >= words.size())
                return error(QByteArray(o.name) + " needs a value");
            value = words[++i];
        }
        const QByteArray problem = store_option(args, o, value, command->id != CMD_FIND);
        if (!problem.isEmpty())
            return error(problem);
    }
    if (args.files.isEmpty())
        return error("no input file");
    if (args.files.size() > 1 && !command->several_files)
        return error("'" + QByteArray(command->name) + "' takes one input file");
    const uint32_t accurate_only = seen & option_set(command->accurate_only);
    if (accurate_only && !args.accurate)
        return error(QByteArray(options[first_of(accurate_only)].name) + " needs --accurate");
    const uint32_t missing = option_set(command->needs) & ~seen;
    if (missing)
        return error(QByteArray("'") + command->name + "' needs " + options[first_of(missing)].name);
    if (args.start.has_value() != args.period.has_value())
        return error("--start and --period go together");
    if ((args.pick || args.min_ms) && args.start)
        return error("--start names the loop: no --pick or --min-seconds with it");
    line.outcome = PARSE_RUN;
    return line;
}
