// Pieces shared by the command-line tool's commands.
#pragma once

#include "cli/arguments.h"

#include <QByteArray>
#include <QList>

#include <chrono>
#include <cstdint>

constexpr int EXIT_NOT_FOUND = 1;  // find, loops: no repetition; split: no sound; loop: none exact
constexpr int EXIT_ERROR = 2;      // bad input, bad usage, failed output

// Prints "trelvane-cli: text" and a hint to --help on standard error;
// returns EXIT_ERROR.
int usage_error(const char* text);
// Prints "trelvane-cli: text" on standard error; returns EXIT_ERROR.
int fail(const QByteArray& text);

// Reads the first file as "&Load file" does and appends the others. A file
// rejected at an undefined byte keeps what came before it and the work goes
// on. A file that is missing or cannot be read, that does not begin with the
// PSG signature or that does not fit stops it (false) with one line on
// standard error.
bool load_song(const QList<QByteArray>& paths);

// Where -o goes: "-" is standard output (render, export, save).
QByteArray output_name(const Arguments& args);
bool output_is_stdout(const Arguments& args);

// Writes line and a line end to standard output.
void print_line(const QByteArray& line);

int run_info(const Arguments& args);
int run_find(const Arguments& args);
int run_cut(const Arguments& args);
int run_save(const Arguments& args);
int run_render(const Arguments& args);
int run_optimize(const Arguments& args);
int run_loops(const Arguments& args);
int run_split(const Arguments& args);
int run_trim(const Arguments& args);
int run_plot(const Arguments& args);
int run_loop(const Arguments& args);
int run_export(const Arguments& args);
int run_import(const Arguments& args);

// The repetition loops asks for: --min-seconds (default 5 s) in frames.
uint32_t min_loop_frames(const Arguments& args);

// "--OPTION N is past the end of the song (frame M)" as a usage error.
int past_the_end(const char* option, uint64_t frame);

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

// Makes the core's messages go to standard error, each on a line of its own
// with the program's name, and a file that cannot be written reported with
// its name and the system's reason.
void route_messages();
// The input file the core's messages are about (named in them), or none.
void set_message_file(const QByteArray& name);
