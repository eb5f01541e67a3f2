// The command line of trelvane-cli, taken apart without any input or
// output, so that it can be checked on its own and fed any words.
#pragma once

#include "song/position_text.h"

#include <QByteArray>
#include <QList>

#include <cstdint>

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

// What the command line said after the command word.
struct Arguments {
    QList<QByteArray> files;  // file names in the order given
    QByteArray output;        // -o
    bool has_output = false;
    uint32_t from = 0;  // --from
    bool has_from = false;
    uint32_t to = 0;  // --to
    bool has_to = false;
    uint32_t window = 0;  // --window
    bool has_window = false;
    uint32_t at = 0;  // --at
    bool has_at = false;
    uint32_t min_ms = 0;  // --min-seconds, in milliseconds
    bool has_min = false;
    uint32_t silence_ms = 0;  // --silence, in milliseconds
    bool has_silence = false;
    uint32_t width = 0;  // --width
    bool has_width = false;
    uint32_t max_pieces = 999;  // --max-pieces
    QList<uint32_t> marks;  // --mark, in the order given
    uint32_t start = 0;  // --start
    bool has_start = false;
    uint32_t period = 0;  // --period
    bool has_period = false;
    uint32_t pick = 0;  // --pick
    bool has_pick = false;
    bool no_state = false;  // --no-state
    bool json = false;      // --json
    bool accurate = false;  // --accurate
    bool to_end = false;    // --to-end
    bool keep_all = false;  // --keep-all
    uint32_t clock = 0;     // --clock, in Hz
    bool has_clock = false;
    QByteArray chip;  // --chip: "ay" or "ym"
    bool has_chip = false;
    QByteArray pan;  // --pan: "plain", "abc", "acb" or "mono"
    bool has_pan = false;
    uint32_t rate = 0;  // --rate, in Hz
    bool has_rate = false;
    uint32_t frame_rate_mhz = 0;  // --frame-rate, in 1/1000 Hz
    bool has_frame_rate = false;
    QByteArray loop;  // --loop as given: a frame, a time, "auto" or "none"
    bool has_loop = false;
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

// Takes words[0] as the command and the rest as its files and options:
// options may come before or after the files, a long option may be written
// --option=value, "--" makes every later word a file name, and "--help"
// anywhere before "--" asks for the help text. Numbers are plain decimal
// numbers below 2^32; seconds may have up to three decimals.
CommandLine parse_arguments(const QList<QByteArray>& words);


// The limits of --width.
constexpr uint32_t PLOT_WIDTH_MIN = 320;
constexpr uint32_t PLOT_WIDTH_MAX = 16000;
