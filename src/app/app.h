// Process-wide objects of the application, set once at start-up.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

class MyClass;
class QTimer;
class QProgressBar;
class QSlider;
class QLabel;
class QWidget;
class QGroupBox;
class QBoxLayout;

constexpr int TICK_MS = 20;

extern MyClass* controller;
extern QTimer* play_timer;
extern QProgressBar* progress_bar;
extern QSlider* play_slider;
extern QSlider* cut_slider;
extern QLabel* status_label;
extern QWidget* main_window;

// Builds the window and everything behind it on an existing application
// object; the entry point then runs the event loop.
void app_start();
// The whole program: application object, start-up, event loop, exit.
int app_main();
// Ends the process at once with the given status; temporary files are
// removed first. Used on every way out, so that the audio back end's
// objects are never torn down behind its back.
[[noreturn]] void app_exit(int status);

// The row under the Loops box: "E&xport..." and the line that names the
// files the last save or export wrote (with a note after them, if given).
QWidget* make_export_row();
void show_written(const QList<QByteArray>& names, const QString& note = QString());

QGroupBox* make_group_box(const char* title, int count, QWidget* const* widgets, QBoxLayout* layout = nullptr);

void update_status();
// After the song in memory changed (read, or put back by undo or redo): the
// song view and the Loops box of the new song, both sliders ranged
// 0..frame_count and put at play and cut.
void show_song(uint32_t play, uint32_t cut);
// After the play or cut position moved: the status line and the view's lines.
void show_positions();
// The reader's hook, once a song has been read whole.
void song_read_effects();
// The play position shown: while playing, the frame whose sound is heard
// now (the clock renders ahead of it); otherwise play_pos.
uint32_t heard_pos();
// The clock's tick: the play slider, status line and song view to the frame
// heard. True while the clock moves the play slider for that, which is no seek.
void show_play_position();
bool clock_shows_position();
void show_error_box(const QString& text);
// The error box for a failure of the core: its text, and for a file its
// name and the system's reason on the line after.
struct Failure;
void show_failure_box(const Failure& failure);
// Yes/No question with the program's title; true only for Yes.
bool ask_yes_no(const char* text);
bool ask_yes_no(const QString& text);
QString tr(const char* text);
