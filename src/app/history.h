// The window's title, "NAME.psg - Trelvane" with the changed mark while the
// song in memory differs from the last file read or saved, and the undo
// history of the cuts: Ctrl+Z takes back a "&Cut" (or the cut of "Cut and
// &Save"; files written stay as they are), Ctrl+Shift+Z does it again.
#pragma once

#include <QByteArray>
#include <QString>

// A file was read: loaded (appended false) or appended. complete is false
// when the read stopped at a byte it did not know, so the song holds only
// part of the file. A load or an append starts a new undo history.
void history_file_read(const QByteArray& name, bool appended, bool complete);
// The song in memory was written whole under name ("S&ave"), or it is the
// rest piece that "Cut and &Save" wrote and read back.
void history_saved(const QByteArray& name);

// Around a cut of the song in memory: remember the song, positions and
// sliders first, then tell whether the cut replaced the song.
void history_before_cut();
void history_after_cut(bool replaced);

// Ctrl+Z and Ctrl+Shift+Z; false when there was nothing to take back or do
// again.
bool history_undo();
bool history_redo();
int history_undo_levels();
int history_redo_levels();

// Whether the changed mark shows, and the name of the file the song came
// from (read or saved last, without its folder; empty before any).
bool history_changed();
QString history_file_name();

// Sets the window title from the state above.
void history_show_title();
QString history_title();

// Levels kept, and the memory they may use together (the oldest go first;
// the newest always stays).
constexpr int UNDO_LEVELS = 16;
constexpr size_t UNDO_BYTES = size_t{512} << 20;
