#include "app/save_dialog.h"

#include "app/app.h"
#include "app/history.h"
#include "io/files.h"
#include "io/save.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {

QString last_folder;

}  // namespace

QString dialog_folder()
{
    return last_folder;
}

void remember_folder(const QString& file)
{
    if (!file.isEmpty())
        last_folder = QFileInfo(file).absolutePath();
}

SaveName ask_save_name()
{
    QString selected;
    return ask_save_name(tr("PSG files (*.psg)"), ".psg", &selected);
}

SaveName ask_save_name(const QString& filters, const char* ending, QString* selected)
{
    // The song's name with this save's ending: "song.ym" is proposed as
    // "song.psg" for a PSG file.
    QString proposed = QFileInfo(history_file_name()).completeBaseName();
    if (!proposed.isEmpty())
        proposed += QLatin1String(ending);
    if (!last_folder.isEmpty())
        proposed = QDir(last_folder).filePath(proposed);
    const QString name
        = QFileDialog::getSaveFileName(main_window, QStringLiteral("Trelvane"), proposed, filters, selected);
    remember_folder(name);
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
        : QStringLiteral("%1 and %2 already exist.\nDo you want to replace them?").arg(existing[0], existing[1]);
    return ask_yes_no(text);
}
