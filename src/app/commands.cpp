// The file and editing commands behind the buttons.
#include "app/app.h"
#include "app/myclass.h"
#include "edit/editing.h"
#include "edit/find.h"
#include "io/files.h"
#include "song/psg_read.h"
#include "song/song.h"

#include <QFileDialog>
#include <QProgressBar>
#include <QSlider>

namespace {

void read_chosen_file(bool reset)
{
    QString selected;
    QString name = QFileDialog::getOpenFileName(main_window, QString(), QString(),
                                                tr("Supported files (*.PSG)"), &selected);
    if (name.isEmpty())
        return;
    psg_read(io_name(name).constData(), 0, reset);
}

QByteArray ask_save_name()
{
    QString selected;
    QString name = QFileDialog::getSaveFileName(main_window, QStringLiteral("Trelvane"), QString(),
                                                tr("PSG files (*.psg)"), &selected);
    return io_name(name);
}

bool zero_cut()
{
    if (cut_pos != 0)
        return false;
    show_error_box(QStringLiteral("Zero cut position"));
    return true;
}

void set_progress(int percent)
{
    progress_bar->setValue(percent);
}

}  // namespace

void MyClass::openfile()
{
    read_chosen_file(true);
}

void MyClass::append()
{
    read_chosen_file(false);
}

void MyClass::cut()
{
    if (zero_cut() || !ask_yes_no("Cut?"))
        return;
    cut_song();
}

void MyClass::savefile()
{
    if (zero_cut())
        return;
    QByteArray name = ask_save_name();
    if (name.isEmpty())
        return;
    save_pieces(name);
}

void MyClass::save()
{
    QByteArray name = ask_save_name();
    if (name.isEmpty())
        return;
    save_song(name);
}

void MyClass::find()
{
    FindResult result{};
    if (find_period(find_start, FIND_WINDOW, result, set_progress) == FIND_NO_MEMORY) {
        show_error_box(QStringLiteral("Not enough memory!"));
        return;
    }
    if (result.found) {
        find_start = result.j;
        cut_slider->setSliderPosition(static_cast<int>(result.frame));
        return;
    }
    find_start = 0;
    show_error_box(QStringLiteral("Not found!\n"));
}
