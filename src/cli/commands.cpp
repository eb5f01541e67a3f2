// info, find, cut and save: the editing commands of the desktop program,
// with file names from the command line instead of dialogs.
#include "cli/cli.h"

#include "cli/json.h"

#include "edit/editing.h"
#include "edit/find.h"
#include "edit/names.h"
#include "io/files.h"
#include "io/report.h"
#include "song/psg_read.h"
#include "song/psg_write.h"
#include "song/song.h"
#include "song/song_time.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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
    psg_require_signature = true;
    io_pipes_wait = true;
    for (int i = 0; i < paths.size(); ++i) {
        const QByteArray& path = paths[i];
        // Looked at, not opened: the input may be a pipe, read only once.
        struct stat st;
        int error = 0;
        if (::stat(path.constData(), &st) != 0)
            error = errno;
        else if (S_ISDIR(st.st_mode))
            error = EISDIR;
        else if (::access(path.constData(), R_OK) != 0)
            error = errno;
        if (error) {
            fail(path + ": " + strerror(error));
            return false;
        }
        set_message_file(path);
        const ReadResult result = psg_read(path.constData(), 0, i == 0);
        set_message_file(QByteArray());
        if (result == READ_NOT_PSG) {
            fail(path + ": not a PSG file");
            return false;
        }
        if (result != READ_COMPLETE && result != READ_REJECTED)
            return false;
    }
    return true;
}

bool output_is_stdout(const Arguments& args)
{
    return args.output == "-";
}

QByteArray output_name(const Arguments& args)
{
    return output_is_stdout(args) ? QByteArray("/dev/stdout") : args.output;
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
    format_time(frame_count, length);
    if (args.json) {
        QList<QByteArray> names;
        for (const QByteArray& file : args.files)
            names.append(json_string(file));
        print_line(JsonObject()
                       .add_raw("files", json_array(names))
                       .add("frames", frame_count)
                       .add("writes", event_count)
                       .add_string("length", length)
                       .add_raw("seconds", json_seconds(frame_count))
                       .text());
        return 0;
    }
    printf("frames: %u\nwrites: %u\nlength: %s\n", frame_count, event_count, length);
    return 0;
}

int run_find(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    if (args.from.value_or(0) > 0 && *args.from >= event_count) {
        const QByteArray text = "--from " + QByteArray::number(*args.from) + " is past the last write (the song has "
            + QByteArray::number(event_count) + " writes)";
        return usage_error(text.constData());
    }
    FindResult result{};
    FindStatus status;
    {
        Progress progress("find");
        find_progress = &progress;
        status = find_period(args.from.value_or(0), args.window.value_or(FIND_WINDOW), result, show_find_progress);
        find_progress = nullptr;
    }
    if (status == FIND_NO_MEMORY) {
        show_error(QStringLiteral("Not enough memory!"));
        return EXIT_ERROR;
    }
    if (args.json) {
        JsonObject answer;
        answer.add("found", result.found);
        if (result.found)
            answer.add("frame", result.frame).add("write", result.j).add_raw("seconds", json_seconds(result.frame));
        print_line(answer.text());
        return result.found ? 0 : EXIT_NOT_FOUND;
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
    if (*args.at == 0)
        return fail(args.files.first() + ": Zero cut position");
    if (!load_song(args.files))
        return EXIT_ERROR;
    if (*args.at > frame_count)
        return past_the_end("cut position", *args.at);
    cut_pos = *args.at;
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
    if (output_is_stdout(args))
        return psg_write(0, "/dev/stdout", frame_count) == -1 ? EXIT_ERROR : 0;
    if (!save_song(args.output))
        return EXIT_ERROR;
    print_line(head_name(args.output));
    return 0;
}
