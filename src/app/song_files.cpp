#include "app/song_files.h"

#include "app/app.h"
#include "app/history.h"
#include "app/save_dialog.h"
#include "app/song_view.h"
#include "formats/convert.h"
#include "io/files.h"
#include "song/psg_read.h"
#include "song/song.h"

#include <QCloseEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QWidget>

namespace {

// Several writers end the music with 0xFD and pad the file after it: such a
// read has all the music.
constexpr qint64 END_MARK_PADDING = 16;

bool ends_at_end_mark(const ReadStop& stop)
{
    return stop.byte == 0xFD && stop.after >= 0 && stop.after <= END_MARK_PADDING;
}

// A regular file that holds a YM or VGM file, or whose name says it should:
// then a refusal says what is wrong with it. A PSG file stays one whatever
// its name; pipes and devices are read as PSG streams (looking would take
// their bytes).
bool is_chip_music_file(const QString& name)
{
    const QFileInfo info(name);
    if (!info.isFile())
        return false;
    QFile file(name);
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray start = file.read(64);
        if (start.startsWith(QByteArray(PSG_SIGNATURE, sizeof PSG_SIGNATURE)))
            return false;
        if (is_chip_music(start))
            return true;
    }
    const QString ending = info.suffix().toLower();
    return ending == QLatin1String("ym") || ending == QLatin1String("vgm") || ending == QLatin1String("vgz");
}

bool import_song_file(const QByteArray& path, bool reset)
{
    RegisterDump dump;
    DumpInfo info;
    QByteArray error;
    const QString shown = QFile::decodeName(path);
    if (!import_file(path, &dump, &info, &error)) {
        show_error_box(QStringLiteral("Can't read %1: %2").arg(shown, QString::fromLocal8Bit(error)));
        return false;
    }
    if (read_dump(dump, reset) != READ_COMPLETE)
        return false;
    history_file_read(path, !reset, true);
    const QList<QByteArray> notes = import_notes(info);
    if (notes.isEmpty())
        return true;
    QString text = shown + QLatin1Char(':');
    for (const QByteArray& note : notes)
        text += QLatin1Char('\n') + QString::fromUtf8(note);
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Trelvane"));
    box.setIcon(QMessageBox::Information);
    box.setText(text);
    box.exec();
    return true;
}

// The local files among dropped URLs.
QStringList dropped_files(const QMimeData* data)
{
    QStringList names;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                names << url.toLocalFile();
    return names;
}

// The first file loads, the others are appended after it.
void read_dropped(const QStringList& names)
{
    if (names.isEmpty() || !may_discard())
        return;
    for (int i = 0; i < names.size(); ++i)
        read_song_file(names[i], i == 0);
}

class WindowWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::Close:
            if (!may_discard()) {
                event->ignore();
                return true;
            }
            return false;
        case QEvent::DragEnter: {
            auto* drag = static_cast<QDragEnterEvent*>(event);
            if (!dropped_files(drag->mimeData()).isEmpty())
                drag->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList names = dropped_files(drop->mimeData());
            drop->acceptProposedAction();
            // Read once the drop is over: the read may ask and report.
            QTimer::singleShot(0, this, [names] { read_dropped(names); });
            return true;
        }
        default:
            return QObject::eventFilter(watched, event);
        }
    }
};

}  // namespace

void read_song_file(const QString& name, bool reset)
{
    remember_folder(name);
    const QByteArray path = io_name(name);
    const uint32_t appended_at = frame_count;
    const std::vector<uint32_t> boundaries = view_boundaries();
    bool read = false;
    if (is_chip_music_file(name)) {
        read = import_song_file(path, reset);
    } else {
        ReadStop stop;
        const ReadResult result = psg_read(path.constData(), 0, reset, &stop);
        read = result == READ_COMPLETE || result == READ_REJECTED;
        if (read)
            history_file_read(path, !reset, result == READ_COMPLETE || ends_at_end_mark(stop));
    }
    if (read && !reset)
        view_file_appended(boundaries, appended_at);
}

bool may_discard()
{
    if (!history_changed())
        return true;
    QString name = history_file_name();
    if (name.isEmpty())
        name = QStringLiteral("the song");
    return ask_yes_no(QStringLiteral("Discard the changes to %1?").arg(name));
}

void watch_window(QWidget* window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(new WindowWatch(window));
}
