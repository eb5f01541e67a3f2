// Drives the real application window in-process on the offscreen platform:
// buttons by caption, and the modal boxes and file dialogs that commands
// open, answered from a timer while the command waits in its nested loop.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QPushButton;

// Starts the application once per test process (controller, audio output,
// timer, window), like the entry point does.
void start_app();

QPushButton* button(const QString& caption);
void click(const QString& caption);

// What the next modal dialogs get. Each entry is used once, in order:
//   a message box: the standard button to press (Escape: press_escape()),
//   a file dialog: a path to type and accept (after choosing the type
//   named, if one is), or an empty string to cancel.
struct DialogAnswer {
    enum Kind { Button, Escape, CloseBox, File, CancelFile } kind;
    QMessageBox::StandardButton button = QMessageBox::Ok;
    QString path;
    QString type;  // a name filter of the dialog
};
DialogAnswer press(QMessageBox::StandardButton b);
DialogAnswer press_escape();
DialogAnswer close_box();
DialogAnswer type_file(const QString& path, const QString& type = {});
DialogAnswer cancel_file();

// Queues answers for the dialogs the next commands open.
void answer(const QList<DialogAnswer>& answers);
// Texts of the message boxes answered since the last call, and their titles.
QStringList seen_boxes();
QStringList seen_titles();
// Name filters of the file dialogs answered since the last call.
QStringList seen_filters();
// What the file dialogs answered since then proposed: folder and name.
QStringList seen_proposals();
// Dialogs still waiting for an answer from the queue (0 after a command
// opened every dialog that was expected).
int unanswered();
// Processes events for ms milliseconds.
void pump(int ms);
// Processes events until the loops of the song read last are listed (they
// are found off the GUI thread); false if that took 30 s.
bool wait_for_loops();

// main() of a test of the running application: runs the test object, then
// ends the process the way the application does (app_exit), so that the
// audio back end is never torn down under its own threads.
int run_app_test(QObject* test, int argc, char** argv);
#define TRELVANE_APP_TEST_MAIN(TestClass)                                                                              \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        QApplication app(argc, argv);                                                                                  \
        TestClass test;                                                                                                \
        return run_app_test(&test, argc, argv);                                                                        \
    }
