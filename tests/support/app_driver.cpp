#include "support/app_driver.h"

#include "app/app.h"
#include "app/loop_panel.h"
#include "app/myclass.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QCompleter>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QPointer>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

QList<DialogAnswer> pending;
QStringList boxes;
QStringList titles;
QStringList filters;
QStringList proposals;

QPointer<QWidget> answered;
QElapsedTimer answered_at;

void serve_dialogs()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal == answered) {
        // Answered but still open: give up on it, so a test fails instead of hanging.
        if (answered_at.elapsed() > 3000) {
            qWarning("dialog did not take its answer: %s", qPrintable(modal->windowTitle()));
            if (auto* d = qobject_cast<QDialog*>(modal))
                d->reject();
        }
        return;
    }
    if (!modal || pending.isEmpty())
        return;
    answered = modal;
    answered_at.start();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        DialogAnswer a = pending.takeFirst();
        boxes << box->text();
        titles << box->windowTitle();
        if (a.kind == DialogAnswer::Escape)
            QTest::keyClick(box, Qt::Key_Escape);
        else if (a.kind == DialogAnswer::CloseBox)
            box->close();
        else if (QAbstractButton* b = box->button(a.button))
            b->click();
        else
            box->done(a.button);
        return;
    }
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        DialogAnswer a = pending.takeFirst();
        titles << dialog->windowTitle();
        filters << dialog->nameFilters().join(QLatin1Char(';'));
        if (a.kind == DialogAnswer::CancelFile) {
            dialog->reject();
            return;
        }
        auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (!edit) {
            dialog->reject();
            return;
        }
        proposals << QDir(dialog->directory()).filePath(edit->text());
        // Go to the file's folder, type its name over what the dialog
        // proposes, press Return.
        const QFileInfo file(a.path);
        if (!a.type.isEmpty())
            dialog->selectNameFilter(a.type);
        dialog->setDirectory(file.absolutePath());
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, file.fileName());
        if (edit->completer() && edit->completer()->popup())
            edit->completer()->popup()->hide();
        // Pressed once this call has returned: the dialog may ask whether to
        // replace the file, and that box must find the driver's timer free.
        QTimer::singleShot(0, edit, [edit] { QTest::keyClick(edit, Qt::Key_Return); });
    }
}

// Without a sound server the application's start shows an error box that
// nobody answers, and a server that does not answer holds the start up:
// either way the test would wait for its time limit. It stops at once
// instead, saying why.
[[noreturn]] void no_sound(const QString& why)
{
    qFatal("%s (PULSE_SERVER=%s): run the tests with scripts/test.sh, which starts a sound server for them",
           qPrintable(why), qPrintable(qEnvironmentVariable("PULSE_SERVER", QStringLiteral("not set"))));
}

void require_sound_server()
{
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    if (!pactl.waitForStarted(5000))
        return;  // no pactl: the watch on the start below still holds
    if (!pactl.waitForFinished(5000)) {
        pactl.kill();
        pactl.waitForFinished(1000);
        no_sound(QStringLiteral("The sound server did not answer within 5 s"));
    }
    if (pactl.exitStatus() != QProcess::NormalExit || pactl.exitCode() != 0)
        no_sound(QStringLiteral("No sound server answers: ")
                 + QString::fromLocal8Bit(pactl.readAllStandardError()).trimmed());
}

}  // namespace

void start_app()
{
    static bool started = false;
    if (started)
        return;
    started = true;
    require_sound_server();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            no_sound(QStringLiteral("The application could not start its sound output: ") + box->text().trimmed());
    });
    watch.start(10);
    controller = new MyClass();
    app_start();
    watch.stop();
    auto* timer = new QTimer();
    QObject::connect(timer, &QTimer::timeout, serve_dialogs);
    timer->start(10);
    QVERIFY(QTest::qWaitForWindowExposed(main_window));
}

QPushButton* button(const QString& caption)
{
    for (auto* b : main_window->findChildren<QPushButton*>())
        if (b->text() == caption)
            return b;
    return nullptr;
}

void click(const QString& caption)
{
    QPushButton* b = button(caption);
    if (b)
        b->click();
    else
        QTest::qFail(qPrintable(QStringLiteral("no button ") + caption), __FILE__, __LINE__);
}

DialogAnswer press(QMessageBox::StandardButton b)
{
    return {DialogAnswer::Button, b, {}, {}};
}
DialogAnswer press_escape()
{
    return {DialogAnswer::Escape, QMessageBox::NoButton, {}, {}};
}
DialogAnswer close_box()
{
    return {DialogAnswer::CloseBox, QMessageBox::NoButton, {}, {}};
}
DialogAnswer type_file(const QString& path, const QString& type)
{
    return {DialogAnswer::File, QMessageBox::NoButton, path, type};
}
DialogAnswer cancel_file()
{
    return {DialogAnswer::CancelFile, QMessageBox::NoButton, {}, {}};
}

void answer(const QList<DialogAnswer>& answers)
{
    pending = answers;
    boxes.clear();
    titles.clear();
    filters.clear();
    proposals.clear();
}

QStringList seen_boxes()
{
    QStringList b = boxes;
    boxes.clear();
    return b;
}

QStringList seen_titles()
{
    QStringList t = titles;
    titles.clear();
    return t;
}

int unanswered()
{
    return static_cast<int>(pending.size());
}

void pump(int ms)
{
    QTest::qWait(ms);
}

QStringList seen_proposals()
{
    QStringList p = proposals;
    proposals.clear();
    return p;
}

bool wait_for_loops()
{
    return QTest::qWaitFor([] { return !loop_panel_finding(); }, 30000);
}

QStringList seen_filters()
{
    QStringList f = filters;
    filters.clear();
    return f;
}

int run_app_test(QObject* test, int argc, char** argv)
{
    QTEST_SET_MAIN_SOURCE_PATH
    app_exit(QTest::qExec(test, argc, argv));
}
