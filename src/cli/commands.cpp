// info, find, cut and save: the editing commands of the desktop program,
// with file names from the command line instead of dialogs.
#include "cli/cli.h"

#include "edit/editing.h"
#include "edit/find.h"
#include "edit/names.h"
#include "io/report.h"
#include "song/frontend.h"
#include "song/psg_read.h"
#include "song/song.h"

#include <cstdio>

namespace {

Progress* find_progress;

void show_find_progress(int percent)
{
    if (find_progress)
        find_progress->show(percent);
}

}  // namespace

bool load_song(const QList<QByteArray>& paths)
{
    for (int i = 0; i < paths.size(); ++i) {
        ReadResult result = psg_read(paths[i].constData(), 0, i == 0);
        if (result != READ_COMPLETE && result != READ_REJECTED)
            return false;
    }
    return true;
}

void print_line(const QByteArray& line)
{
    fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    fputc('\n', stdout);
}

int run_info(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    char length[16];
    printf("frames: %u\nwrites: %u\nlength: %s\n", frame_count, event_count,
           format_time(frame_count, length));
    return 0;
}

int run_find(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    FindResult result{};
    FindStatus status;
    {
        Progress progress("find");
        find_progress = &progress;
        status = find_period(args.from, args.has_window ? args.window : FIND_WINDOW, result,
                             show_find_progress);
        find_progress = nullptr;
    }
    if (status == FIND_NO_MEMORY) {
        show_error(QStringLiteral("Not enough memory!"));
        return EXIT_ERROR;
    }
    if (!result.found) {
        print_line("Not found!");
        return EXIT_NOT_FOUND;
    }
    printf("loop: frame %u write %u\n", result.frame, result.j);
    return 0;
}

int run_cut(const Arguments& args)
{
    if (args.at == 0) {
        show_error(QStringLiteral("Zero cut position"));
        return EXIT_ERROR;
    }
    if (!load_song(args.files))
        return EXIT_ERROR;
    if (args.at > frame_count) {
        QByteArray text = "cut position " + QByteArray::number(args.at) +
                          " is past the end of the song (frame " +
                          QByteArray::number(frame_count) + ")";
        return usage_error(text.constData());
    }
    cut_pos = args.at;
    const QByteArray head = head_name(args.output);
    const QByteArray rest = rest_name(head);
    if (!save_pieces(args.output, args.no_state ? NO_STATE : CARRY_STATE))
        return EXIT_ERROR;
    print_line(head);
    print_line(rest);
    return 0;
}

int run_save(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    if (!save_song(args.output))
        return EXIT_ERROR;
    print_line(head_name(args.output));
    return 0;
}
