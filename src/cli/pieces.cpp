// trim and split: pieces of the song, each beginning with the chip state the
// song has where the piece starts, as the rest of a cut does.
#include "cli/cli.h"

#include "cli/json.h"
#include "edit/lead_in.h"
#include "edit/names.h"
#include "edit/silence.h"
#include "io/files.h"
#include "io/report.h"
#include "song/psg_write.h"
#include "song/song.h"
#include "song/song_time.h"

#include <sys/stat.h>
#include <vector>

namespace {

constexpr uint32_t MS_PER_FRAME = 1000 / FRAME_RATE;

bool write_piece(uint32_t from, uint32_t to, const QByteArray& name, bool no_state = false)
{
    const LeadIn lead = no_state ? LeadIn{} : piece_lead_in(from);
    return psg_write(from, name.constData(), to, &lead) != -1;
}

Progress* split_progress;

void show_split_progress(int percent)
{
    if (split_progress)
        split_progress->show(percent);
}

}  // namespace

int run_trim(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    const uint32_t from = *args.from;
    const uint32_t to = args.to.value_or(frame_count);
    if (from > frame_count)
        return past_the_end("--from", from);
    if (to > frame_count)
        return past_the_end("--to", to);
    if (from >= to) {
        const QByteArray text = "no frames from " + QByteArray::number(from) + " to " + QByteArray::number(to);
        return usage_error(text.constData());
    }
    const QByteArray name = head_name(args.output);
    if (!write_piece(from, to, name, args.no_state))
        return EXIT_ERROR;
    print_line(name);
    return 0;
}

int run_split(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    std::vector<bool> silent;
    {
        Progress progress("split");
        split_progress = &progress;
        silent = silent_frames(show_split_progress);
        split_progress = nullptr;
    }
    const auto min_silent = static_cast<uint32_t>((uint64_t{*args.silence_ms} + MS_PER_FRAME - 1) / MS_PER_FRAME);
    const std::vector<FrameRange> parts = sounding_parts(silent, min_silent);
    if (parts.empty()) {
        fail(args.files.first() + ": no frame makes a sound");
        return EXIT_NOT_FOUND;
    }
    if (parts.size() > args.max_pieces) {
        return fail(args.files.first() + ": " + QByteArray::number(static_cast<qulonglong>(parts.size()))
                    + " pieces, more than --max-pieces " + QByteArray::number(args.max_pieces) + "; nothing written");
    }

    // The pieces replace their names together or not at all, as the two of
    // a cut do: each is written and closed under a temporary name first.
    const QByteArray head = head_name(args.output);
    QList<QByteArray> names;
    for (size_t k = 0; k < parts.size(); ++k)
        names.append(numbered_name(head, static_cast<int>(k + 1)));
    Failure why;
    if (!io_check_outputs(names, &why)) {
        why.text = QStringLiteral("Can't ceate file!");
        show_failure(why);
        return EXIT_ERROR;
    }
    std::vector<int> handles;
    for (size_t k = 0; k < parts.size(); ++k) {
        const LeadIn lead = piece_lead_in(parts[k].from);
        const int h
            = psg_write_pending(parts[k].from, names[static_cast<qsizetype>(k)].constData(), parts[k].to, &lead);
        const bool closed = h != -1 && io_close_pending(h, &why);
        if (!closed) {
            if (h != -1) {
                why.text = QStringLiteral("Can't write file!");
                show_failure(why);
            }
            for (int done : handles)
                io_abandon(done);
            return EXIT_ERROR;
        }
        handles.push_back(h);
    }
    if (!io_put_in_place(handles.data(), static_cast<int>(handles.size()), &why)) {
        why.text = QStringLiteral("Can't write file!");
        show_failure(why);
        return EXIT_ERROR;
    }

    QList<QByteArray> listed;
    for (size_t k = 0; k < parts.size(); ++k) {
        const uint32_t first = parts[k].from, last = parts[k].to - 1;
        char first_time[16], last_time[16];
        format_time(first, first_time);
        format_time(last, last_time);
        const QByteArray& name = names[static_cast<qsizetype>(k)];
        if (args.json) {
            listed.append(JsonObject()
                              .add_string("file", name)
                              .add("first", first)
                              .add("last", last)
                              .add_string("first_time", first_time)
                              .add_string("last_time", last_time)
                              .text());
        } else {
            print_line(name + ": frames " + QByteArray::number(first) + " to " + QByteArray::number(last) + ", "
                       + first_time + " to " + last_time);
        }
    }
    if (args.json)
        print_line(json_array(listed, true));

    // Pieces of an earlier, longer split stay: the user did not name them.
    QByteArray older;
    for (int k = static_cast<int>(parts.size()) + 1;; ++k) {
        const QByteArray name = numbered_name(head, k);
        struct stat st;
        if (::lstat(name.constData(), &st) != 0)
            break;
        older += (older.isEmpty() ? "" : ", ") + name;
    }
    if (!older.isEmpty())
        fail("older pieces remain: " + older);
    return 0;
}
