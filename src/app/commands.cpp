// The file and editing commands behind the buttons.
#include "app/app.h"
#include "app/history.h"
#include "app/myclass.h"
#include "app/save_dialog.h"
#include "app/song_files.h"
#include "app/song_view.h"
#include "edit/editing.h"
#include "edit/find.h"
#include "edit/names.h"
#include "io/files.h"
#include "song/psg_read.h"
#include "song/song.h"

#include <QFileDialog>
#include <QProgressBar>
#include <QSlider>

namespace {

// The formats the song can be read from, all of them first.
const char* const OPEN_FILTERS
    = "Supported files (*.PSG *.ym *.vgm *.vgz);;PSG files (*.psg);;YM files (*.ym);;VGM files (*.vgm);;"
      "VGZ files (*.vgz)";

void read_chosen_file(bool reset)
{
    if (reset && !may_discard())
        return;
    QString selected;
    QString name = QFileDialog::getOpenFileName(main_window, QString(), dialog_folder(), tr(OPEN_FILTERS), &selected);
    if (name.isEmpty())
        return;
    read_song_file(name, reset);
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
    history_before_cut();
    history_after_cut(cut_song());
}

void MyClass::savefile()
{
    if (zero_cut())
        return;
    const SaveName name = ask_save_name();
    if (name.chosen.isEmpty())
        return;
    const QByteArray head = head_name(name.chosen);
    if (!may_replace(name, {head, rest_name(head)}))
        return;
    history_before_cut();
    const bool written = save_pieces(name.chosen);
    history_after_cut(written);
    if (written) {
        history_saved(rest_name(head));
        show_written({head, rest_name(head)});
    }
}

void MyClass::save()
{
    const SaveName name = ask_save_name();
    if (name.chosen.isEmpty())
        return;
    if (!may_replace(name, {head_name(name.chosen)}))
        return;
    if (save_song(name.chosen)) {
        history_saved(head_name(name.chosen));
        show_written({head_name(name.chosen)});
    }
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
