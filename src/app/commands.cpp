// The file and editing commands behind the buttons.
#include "app/app.h"
#include "app/history.h"
#include "app/myclass.h"
#include "app/save_dialog.h"
#include "app/song_view.h"
#include "edit/editing.h"
#include "edit/find.h"
#include "edit/names.h"
#include "io/files.h"
#include "io/save.h"
#include "song/psg_read.h"
#include "song/song.h"

#include <QFileDialog>
#include <QFileInfo>
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
    const QByteArray chosen = io_name(name);
    const uint32_t appended_at = frame_count;
    const std::vector<uint32_t> boundaries = view_boundaries();
    const ReadResult result = psg_read(chosen.constData(), 0, reset);
    if (result == READ_COMPLETE || result == READ_REJECTED) {
        history_file_read(chosen, !reset, result == READ_COMPLETE);
        if (!reset)
            view_file_appended(boundaries, appended_at);
    }
}

}  // namespace

SaveName ask_save_name()
{
    QString selected;
    QString name = QFileDialog::getSaveFileName(main_window, QStringLiteral("Trelvane"), QString(),
                                                tr("PSG files (*.psg)"), &selected);
    const QByteArray chosen = io_name(name);
    return {chosen, !chosen.isEmpty() && QFileInfo::exists(name)};
}

bool may_replace(const SaveName& name, const QList<QByteArray>& targets)
{
    // A file the user may not write in place is not replaced: say so
    // instead of asking.
    for (const QByteArray& target : targets) {
        SaveTarget t;
        if (!save_resolve(t, target) && t.error == SAVE_READ_ONLY) {
            show_error_box(QStringLiteral("%1 is read-only.\nNothing was saved.").arg(QFile::decodeName(target)));
            return false;
        }
    }
    QStringList existing;
    for (const QByteArray& target : targets) {
        const QString shown = QFile::decodeName(target);
        if (QFileInfo::exists(shown) && !(name.confirmed && target == name.chosen))
            existing << QFileInfo(shown).fileName();
    }
    if (existing.isEmpty())
        return true;
    const QString text = existing.size() == 1
                             ? QStringLiteral("%1 already exists.\nDo you want to replace it?").arg(existing[0])
                             : QStringLiteral("%1 and %2 already exist.\nDo you want to replace them?")
                                   .arg(existing[0], existing[1]);
    return ask_yes_no(text);
}

namespace {

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
    if (written)
        history_saved(rest_name(head));
}

void MyClass::save()
{
    const SaveName name = ask_save_name();
    if (name.chosen.isEmpty())
        return;
    if (!may_replace(name, {head_name(name.chosen)}))
        return;
    if (save_song(name.chosen))
        history_saved(head_name(name.chosen));
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
