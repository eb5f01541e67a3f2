// trim and split: pieces of the song, each beginning with the chip state the
// song has where the piece starts, as the rest of a cut does.
#include "cli/cli.h"

#include "edit/lead_in.h"
#include "edit/names.h"
#include "edit/silence.h"
#include "song/psg_write.h"
#include "song/song.h"

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
    const uint32_t to = args.has_to ? args.to : frame_count;
    if (args.from > frame_count)
        return past_the_end("--from", args.from);
    if (to > frame_count)
        return past_the_end("--to", to);
    if (args.from >= to) {
        const QByteArray text = "no frames from " + QByteArray::number(args.from) + " to " + QByteArray::number(to);
        return usage_error(text.constData());
    }
    const QByteArray name = head_name(args.output);
    if (!write_piece(args.from, to, name, args.no_state))
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
    const uint32_t min_silent = (args.silence_ms + MS_PER_FRAME - 1) / MS_PER_FRAME;
    const std::vector<FrameRange> parts = sounding_parts(silent, min_silent);
    if (parts.empty()) {
        fail(args.files.first() + ": no frame makes a sound");
        return EXIT_NOT_FOUND;
    }
    const QByteArray head = head_name(args.output);
    for (size_t k = 0; k < parts.size(); ++k) {
        const QByteArray name = numbered_name(head, static_cast<int>(k + 1));
        if (!write_piece(parts[k].from, parts[k].to, name))
            return EXIT_ERROR;
        print_line(name);
    }
    return 0;
}
