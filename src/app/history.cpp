#include "app/history.h"

#include "app/app.h"
#include "app/loop_panel.h"
#include "app/sound_model.h"
#include "audio/playback.h"
#include "song/song.h"

#include <QFileInfo>
#include <QWidget>

#include <deque>
#include <vector>

namespace {

struct Title {
    QString name;  // the file's name, without its folder; empty: none yet
    int appended = 0;
    bool changed = false;
};
Title title;

// The song in memory as it was, with everything a cut changes.
struct Snapshot {
    std::vector<MusicEvent> events;
    std::vector<FrameInfo> frame_records;  // they point into music, where the events go back
    uint32_t play = 0, cut = 0, find = 0;
    Title shown;
    size_t bytes() const { return events.size() * sizeof(MusicEvent) + frame_records.size() * sizeof(FrameInfo); }
};
std::deque<Snapshot> undo_stack, redo_stack;
Snapshot pending;

Snapshot take()
{
    Snapshot s;
    s.events.assign(music, music + event_count);
    s.frame_records.assign(frames, frames + frame_count + 1);
    s.play = play_pos;
    s.cut = cut_pos;
    s.find = find_start;
    s.shown = title;
    return s;
}

void put_back(const Snapshot& s)
{
    loop_panel_song_changing();
    std::copy(s.events.begin(), s.events.end(), music);
    std::copy(s.frame_records.begin(), s.frame_records.end(), frames);
    event_count = static_cast<uint32_t>(s.events.size());
    frame_count = static_cast<uint32_t>(s.frame_records.size() - 1);
    title = s.shown;
    show_song(s.play, s.cut);
    // Whether or not the sliders moved: the play position, its writes and,
    // while playing, the chip's state, all of the song put back.
    seek_play(s.play);
    play_pos = s.play;
    cut_pos = s.cut;
    find_start = s.find;
    show_positions();
    history_show_title();
}

void keep_within_bounds(std::deque<Snapshot>& stack)
{
    size_t total = 0;
    for (const Snapshot& s : stack)
        total += s.bytes();
    while (stack.size() > 1 && (stack.size() > size_t(UNDO_LEVELS) || total > UNDO_BYTES)) {
        total -= stack.front().bytes();
        stack.pop_front();
    }
}

QString file_name(const QByteArray& name)
{
    return QFileInfo(QFile::decodeName(name)).fileName();
}

}  // namespace

QString history_title()
{
    if (title.name.isEmpty())
        return QStringLiteral("Trelvane");
    QString text = title.name;
    if (title.appended == 1)
        text += QStringLiteral(" + 1 file");
    else if (title.appended > 1)
        text += QStringLiteral(" + %1 files").arg(title.appended);
    return text + QStringLiteral("[*] - Trelvane");
}

bool history_changed()
{
    return title.changed;
}

QString history_file_name()
{
    return title.name;
}

void history_show_title()
{
    if (!main_window)
        return;
    main_window->setWindowTitle(history_title());
    main_window->setWindowModified(title.changed);
}

void history_file_read(const QByteArray& name, bool appended, bool complete)
{
    if (appended) {
        ++title.appended;
        title.changed = true;
    } else {
        title = Title{file_name(name), 0, !complete};
    }
    undo_stack.clear();
    redo_stack.clear();
    history_show_title();
}

void history_saved(const QByteArray& name)
{
    title = Title{file_name(name), 0, false};
    history_show_title();
}

void history_before_cut()
{
    pending = take();
}

void history_after_cut(bool replaced)
{
    if (replaced) {
        undo_stack.push_back(std::move(pending));
        keep_within_bounds(undo_stack);
        redo_stack.clear();
        title.changed = true;
        history_show_title();
    }
    pending = Snapshot{};
}

namespace {

// Puts the song of the newest snapshot of `from` back, keeping the song it
// replaces as the newest of `to`.
bool step(std::deque<Snapshot>& from, std::deque<Snapshot>& to)
{
    if (from.empty())
        return false;
    to.push_back(take());
    keep_within_bounds(to);
    Snapshot s = std::move(from.back());
    from.pop_back();
    put_back(s);
    return true;
}

}  // namespace

bool history_undo()
{
    return step(undo_stack, redo_stack);
}

bool history_redo()
{
    return step(redo_stack, undo_stack);
}

int history_undo_levels()
{
    return static_cast<int>(undo_stack.size());
}

int history_redo_levels()
{
    return static_cast<int>(redo_stack.size());
}
