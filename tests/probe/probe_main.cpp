// The real application with a driver attached, for tests that need whole
// processes: how it starts, how it ends and with which status. The driver
// reads TRELVANE_PROBE and reports on standard output:
//   quit   clicks "&Quit" once the window is up
//   close  closes the window once it is up
//   state  prints the song state, then quits
//   shot   loads TRELVANE_SHOT_SONG, puts the cut position on frame
//          TRELVANE_SHOT_CUT, plays for three seconds with the pointer over
//          the song view, saves a picture of the window as TRELVANE_SHOT_OUT
//          (the README's screenshot), then quits
//   load_fifo  "&Load file" of TRELVANE_PROBE_FILE (the file dialog is
//          answered), prints "LOADED", then presses Alt+Q
//   load_save  "&Load file" of TRELVANE_PROBE_FILE, then "S&ave" as
//          TRELVANE_PROBE_SAVE, prints "SAVED", then quits
// Every message box that opens is reported as "BOX:<text>" and accepted;
// "WINDOW:<0|1>" tells whether the main window existed at that moment.
#include "app/app.h"
#include "app/history.h"
#include "app/myclass.h"
#include "app/song_view.h"
#include "song/psg_read.h"
#include "song/song.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QtTest>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QSlider>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace {

void report(const QString& line)
{
    printf("%s\n", line.toUtf8().constData());
    fflush(stdout);
}

// The name the next file dialog gets.
QString dialog_file = qEnvironmentVariable("TRELVANE_PROBE_FILE");

void click_button(const QString& caption)
{
    for (auto* button : main_window->findChildren<QPushButton*>())
        if (button->text() == caption)
            button->click();
}

void answer_boxes()
{
    if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
        // The name typed in the dialog's folder, as a user would.
        const QFileInfo file(dialog_file);
        dialog->setDirectory(file.absolutePath());
        if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
            edit->setText(file.fileName());
        QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
        return;
    }
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box)
        return;
    report(QStringLiteral("WINDOW:%1").arg(main_window ? 1 : 0));
    report(QStringLiteral("BOX:") + box->text());
    box->accept();
}

void drive()
{
    if (!main_window || !main_window->isVisible())
        return;
    static bool done = false;
    if (done)
        return;
    done = true;
    const QByteArray mode = qgetenv("TRELVANE_PROBE");
    if (mode == "quit") {
        for (auto* button : main_window->findChildren<QPushButton*>())
            if (button->text() == QLatin1String("&Quit"))
                button->click();
    } else if (mode == "load_fifo") {
        QTimer::singleShot(0, [] {
            for (auto* button : main_window->findChildren<QPushButton*>())
                if (button->text() == QLatin1String("&Load file"))
                    button->click();
            report(QStringLiteral("LOADED"));
            main_window->activateWindow();
            QTest::keyClick(main_window->windowHandle(), 'q', Qt::AltModifier);
        });
    } else if (mode == "load_save") {
        QTimer::singleShot(0, [] {
            click_button(QStringLiteral("&Load file"));
            dialog_file = qEnvironmentVariable("TRELVANE_PROBE_SAVE");
            click_button(QStringLiteral("S&ave"));
            report(QStringLiteral("SAVED"));
            click_button(QStringLiteral("&Quit"));
        });
    } else if (mode == "close") {
        main_window->close();
    } else if (mode == "state") {
        report(QStringLiteral("STATE:frames=%1 writes=%2 playing=%3 status=%4")
                   .arg(frame_count)
                   .arg(event_count)
                   .arg(playing)
                   .arg(status_label->text()));
        QApplication::quit();
    } else if (mode == "shot") {
        // Out of the driver's tick: the reader may open a box, which the
        // tick answers.
        QTimer::singleShot(0, [] {
            const QByteArray song = qgetenv("TRELVANE_SHOT_SONG");
            const ReadResult result = psg_read(song.constData(), 0, true);
            if (result == READ_COMPLETE || result == READ_REJECTED)
                history_file_read(song, false, result == READ_COMPLETE);
            cut_slider->setSliderPosition(qEnvironmentVariableIntValue("TRELVANE_SHOT_CUT"));
            controller->play3();
        });
        QTimer::singleShot(3500, [] {
            const QPointF at(song_view->width() * 0.62, song_view->height() * 0.4);
            QMouseEvent move(QEvent::MouseMove, at, song_view->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                             Qt::NoModifier);
            QApplication::sendEvent(song_view, &move);
            const bool saved = main_window->grab().save(QString::fromLocal8Bit(qgetenv("TRELVANE_SHOT_OUT")));
            report(QStringLiteral("SHOT:%1").arg(saved ? 1 : 0));
            QApplication::quit();
        });
    }
}

void start_driver()
{
    auto* timer = new QTimer();
    QObject::connect(timer, &QTimer::timeout, [] {
        answer_boxes();
        drive();
    });
    timer->start(30);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(start_driver)

int main()
{
    return app_main();
}
