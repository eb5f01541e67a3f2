// Songs into the window: PSG files, and YM and VGM files converted as the
// command-line tool's import converts them; the question before a changed
// song is thrown away; files dropped on the window.
#pragma once

class QString;
class QWidget;

// Reads the named file into the song: loaded (reset) or appended.
void read_song_file(const QString& name, bool reset);

// While the changed mark shows: "Discard the changes to NAME?". True when
// nothing is lost (no change, or Yes).
bool may_discard();

// From now on the window asks that question before it closes (as "&Quit"
// closes it too), and a file dropped on it loads as "&Load file" does.
void watch_window(QWidget* window);
