// The command line of trelvane-cli, taken apart without any input or
// output, so that it can be checked on its own and fed any words.
#pragma once

#include "song/position_text.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <optional>

enum CommandId {
    CMD_INFO,
    CMD_FIND,
    CMD_CUT,
    CMD_SAVE,
    CMD_RENDER,
    CMD_OPTIMIZE,
    CMD_LOOPS,
    CMD_SPLIT,
    CMD_TRIM,
    CMD_PLOT,
    CMD_LOOP,
    CMD_EXPORT,
    CMD_IMPORT,
    CMD_COUNT
};

// What the command line said after the command word. An option that was
// not given is empty; the commands choose its default.
struct Arguments {
    QList<QByteArray> files;                        // file names in the order given
    QByteArray output;                              // -o (every command that takes it needs it)
    std::optional<uint32_t> from;                   // --from
    std::optional<uint32_t> to;                     // --to
    std::optional<uint32_t> window;                 // --window
    std::optional<uint32_t> at;                     // --at
    std::optional<uint32_t> min_ms;                 // --min-seconds, in milliseconds
    std::optional<uint32_t> silence_ms;             // --silence, in milliseconds
    std::optional<uint32_t> width;                  // --width
    uint32_t max_pieces = 999;                      // --max-pieces
    QList<uint32_t> marks;                          // --mark, in the order given
    std::optional<uint32_t> start;                  // --start
    std::optional<uint32_t> period;                 // --period
    std::optional<uint32_t> pick;                   // --pick
    bool no_state = false;                          // --no-state
    bool json = false;                              // --json
    bool accurate = false;                          // --accurate
    bool to_end = false;                            // --to-end
    bool keep_all = false;                          // --keep-all
    std::optional<uint32_t> clock;                  // --clock, in Hz
    std::optional<QByteArray> chip;                 // --chip: "ay" or "ym"
    std::optional<QByteArray> pan;                  // --pan: "plain", "abc", "acb" or "mono"
    std::optional<uint32_t> rate;                   // --rate, in Hz
    std::optional<uint32_t> frame_rate_millihertz;  // --frame-rate
    std::optional<QByteArray> gain;                 // --gain as given; render reads the decibels
    std::optional<QByteArray> loop;                 // --loop as given: a frame, a time, "auto" or "none"

    bool operator==(const Arguments& other) const;
};

// The limits of --clock (a VGM header keeps 30 bits of it), --rate and
// --frame-rate (in 1/1000 Hz).
constexpr uint32_t CLOCK_MIN = 100000;
constexpr uint32_t CLOCK_MAX = 20000000;
constexpr uint32_t RATE_MIN = 8000;
constexpr uint32_t RATE_MAX = 192000;
constexpr uint32_t FRAME_RATE_MIN = 10000;
constexpr uint32_t FRAME_RATE_MAX = 1000000;

enum ParseOutcome {
    PARSE_RUN,      // run `command` with `args`
    PARSE_HELP,     // --help was given
    PARSE_VERSION,  // --version was given as the command
    PARSE_ERROR,    // bad usage; `error` says what is wrong
};

struct CommandLine {
    ParseOutcome outcome = PARSE_ERROR;
    CommandId command = CMD_INFO;
    Arguments args;
    QByteArray error;
};

// The command's name as typed.
const char* command_name(CommandId command);

// The text of --help, made from the tables of commands and options.
QByteArray usage_text();

// Takes words[0] as the command and the rest as its files and options:
// options may come before or after the files, a long option may be written
// --option=value, "--" makes every later word a file name, and "--help"
// anywhere before "--" asks for the help text. Numbers are plain decimal
// numbers below 2^32; seconds may have up to three decimals.
CommandLine parse_arguments(const QList<QByteArray>& words);

// The limits of --width.
constexpr uint32_t PLOT_WIDTH_MIN = 320;
constexpr uint32_t PLOT_WIDTH_MAX = 16000;
