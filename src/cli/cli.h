// Pieces shared by the command-line tool's commands.
#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>
#include <cstdint>

constexpr int EXIT_NOT_FOUND = 1;  // find: no repetition
constexpr int EXIT_ERROR = 2;      // bad input, bad usage, failed output

// What the command line said after the command word.
struct Arguments {
    QList<QByteArray> files;  // file names in the order given
    QByteArray output;        // -o
    bool has_output = false;
    uint32_t from = 0;  // --from
    bool has_from = false;
    uint32_t window = 0;  // --window
    bool has_window = false;
    uint32_t at = 0;  // --at
    bool has_at = false;
    bool no_state = false;  // --no-state
};

// Prints "trelvane-cli: text" and a hint to --help on standard error;
// returns EXIT_ERROR.
int usage_error(const char* text);
// Prints "trelvane-cli: text" on standard error; returns EXIT_ERROR.
int fail(const QByteArray& text);

// Reads the first file as "&Load file" does and appends the others. A file
// rejected at an undefined byte keeps what came before it and the work goes
// on; a file that cannot be opened or read, or does not fit, stops it
// (false). The core has printed its message either way.
bool load_song(const QList<QByteArray>& paths);

// Writes line and a line end to standard output.
void print_line(const QByteArray& line);

int run_info(const Arguments& args);
int run_find(const Arguments& args);
int run_cut(const Arguments& args);
int run_save(const Arguments& args);
int run_render(const Arguments& args);

// A one-line progress bar on standard error, drawn only when that is a
// terminal and the work has already taken longer than a moment.
class Progress {
public:
    explicit Progress(const char* label);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void show(int percent);

private:
    const char* label;
    bool terminal;
    bool drawn = false;
    int last = -1;
    std::chrono::steady_clock::time_point start;
};

// Makes the core's messages go to standard error, each on a line of its own.
void route_messages();
