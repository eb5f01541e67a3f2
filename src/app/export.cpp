// "E&xport...": the song in memory as a VGM or YM file, with the loop chosen
// in the Loops box, byte for byte as trelvane-cli export writes it; and the
// line beside it that names the files each save wrote.
#include "app/app.h"
#include "app/history.h"
#include "app/loop_panel.h"
#include "app/save_dialog.h"
#include "formats/convert.h"
#include "formats/loop_export.h"
#include "io/save.h"
#include "song/frontend.h"
#include "song/song.h"
#include "song/song_time.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {

QLabel* written_line;

void export_clicked()
{
    QString selected;
    const SaveName name = ask_save_name(tr("VGM file (*.vgm);;YM file (*.ym)"), ".vgm", &selected);
    if (name.chosen.isEmpty())
        return;
    // A name without either ending takes that of the type chosen.
    QByteArray target = name.chosen;
    if (export_format(target) == EXPORT_NONE)
        target += selected.contains(QLatin1String("*.ym")) ? ".ym" : ".vgm";
    if (!may_replace(name, {target}))
        return;

    // The loop the Loops box names: the intro and one pass looping to its
    // start when it runs to the song's end, otherwise the whole song
    // without a loop point.
    ChosenLoop loop;
    if (!typed_loop(&loop))
        return;
    const SongExport song = export_with_loop(loop.valid ? loop.start : 0, loop.valid ? loop.period : 0);
    DumpInfo info;
    info.clock = DEFAULT_CLOCK;
    info.title = file_title(history_file_name().toUtf8());
    QString reason;
    if (!save_file(target, export_bytes(song, info, export_format(target) == EXPORT_YM, VGM_AY8910), &reason)) {
        show_error_box(QStringLiteral("Can't write file!\n%1: %2").arg(QFile::decodeName(target), reason));
        return;
    }
    char time[16];
    show_written({target},
                 song.has_loop ? QStringLiteral("loop at %1, frame %2")
                                     .arg(QLatin1String(format_time(song.loop_frame, time)))
                                     .arg(song.loop_frame)
                               : QStringLiteral("no loop point"));
}

}  // namespace

QWidget* make_export_row()
{
    auto* button = new QPushButton(QStringLiteral("E&xport..."));
    QObject::connect(button, &QPushButton::clicked, export_clicked);
    written_line = new QLabel();
    written_line->setObjectName(QStringLiteral("written_line"));
    written_line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(button, 0);
    layout->addWidget(written_line, 1);
    auto* row = new QWidget();
    row->setLayout(layout);
    return row;
}

void show_written(const QList<QByteArray>& names, const QString& note)
{
    if (!written_line || names.isEmpty())
        return;
    QStringList shown;
    for (const QByteArray& name : names)
        shown << QFileInfo(QFile::decodeName(name)).fileName();
    QString text = QStringLiteral("Wrote %1 in %2")
                       .arg(shown.join(QLatin1String(" and ")), QFileInfo(QFile::decodeName(names[0])).absolutePath());
    if (!note.isEmpty())
        text += QStringLiteral(" (%1)").arg(note);
    written_line->setText(text);
}
