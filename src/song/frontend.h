// What the core needs from whoever shows it to a person: the desktop
// application installs its message box and slider handling here, the
// command-line tool leaves the defaults (messages on standard error).
#pragma once

#include <QString>
#include <cstdio>

struct FrontEnd {
    // The one error box. Null: the text goes to standard error.
    void (*show_error)(const QString& text);
    // Called by the reader once a song has been read: refresh the status
    // line and give both sliders the range 0..frame_count at position 0.
    void (*song_read)();
};

extern FrontEnd front_end;

// Where the file layer prints its diagnostics (standard output by default).
extern FILE* io_diag;

void show_error(const QString& text);

// "%d:%02d:%02d.%03d" at 50 frames per second; buffer of at least 16 bytes.
char* format_time(uint32_t frame, char* buffer);
