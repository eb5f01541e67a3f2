// export and import: the song as a YM or VGM file, which keep a loop point,
// and such files back as PSG files.
#include "cli/cli.h"

#include "edit/intro_loop.h"
#include "edit/names.h"
#include "formats/convert.h"
#include "io/save.h"
#include "song/song.h"

#include <cstdio>

namespace {

// The loop of `trelvane-cli loop` (the best repetition whose registers
// repeat too), when the song then plays it to its end: the file loops from
// its end to the first frame of the repetition where the frames and the
// register image are those the end leads on to, so the jump is seamless.
bool auto_loop(uint32_t* frame, QByteArray* why)
{
    uint32_t start = 0, period = 0;
    if (!choose_loop(0, &start, &period) || period == 0) {
        *why = "the song does not repeat itself exactly";
        return false;
    }
    *why = "the loop of 'loop' (start " + QByteArray::number(start) + ", period " + QByteArray::number(period) +
           ") does not run to the song's end (trim the song there, or name a loop with --loop)";
    return loop_point(start, period, frame);
}

// --loop: none, auto (the default), or a frame or a time. Returns 0, or the
// exit status after a message.
int resolve_loop(const Arguments& args, DumpInfo* info)
{
    const QByteArray loop = args.loop.value_or("auto");
    if (loop == "none")
        return 0;
    if (loop == "auto") {
        QByteArray why;
        info->has_loop = auto_loop(&info->loop_frame, &why);
        if (!info->has_loop)
            fprintf(stderr, "trelvane-cli: note: written without a loop: %s\n", why.constData());
        return 0;
    }
    uint32_t frame = 0;
    if (!parse_position(loop, &frame))
        return usage_error(("--loop needs a frame, a time, auto or none, not '" + loop + "'").constData());
    if (frame >= frame_count)
        return past_the_end("--loop", frame);
    info->has_loop = true;
    info->loop_frame = frame;
    return 0;
}

}  // namespace

int run_export(const Arguments& args)
{
    const ExportFormat format = export_format(args.output);
    if (format == EXPORT_NONE)
        return usage_error("-o must name a .ym or .vgm file");
    if (format == EXPORT_YM && args.chip)
        return usage_error("--chip is for .vgm files (a YM file is always a YM2149)");
    if (!load_song(args.files))
        return EXIT_ERROR;
    DumpInfo info;
    info.clock = args.clock.value_or(DEFAULT_CLOCK);
    info.frame_rate = FRAME_RATE;
    info.title = file_title(args.files.first());
    const int status = resolve_loop(args, &info);
    if (status != 0)
        return status;

    const RegisterDump dump = song_dump();
    const QByteArray bytes = export_bytes(format, dump, info, args.chip == "ym" ? VGM_YM2149 : VGM_AY8910);
    QString reason;
    if (!save_file(args.output, bytes, &reason))
        return fail("can't write " + args.output + ": " + reason.toLocal8Bit());
    if (info.has_loop)
        printf("%u frames, loop at frame %u\n", dump.frames(), info.loop_frame);
    else
        printf("%u frames, no loop\n", dump.frames());
    return 0;
}

int run_import(const Arguments& args)
{
    const QByteArray& path = args.files.first();
    RegisterDump dump;
    DumpInfo info;
    QByteArray error;
    if (!import_file(path, &dump, &info, &error))
        return fail(path + ": " + error);

    const QByteArray name = head_name(args.output);
    QString reason;
    if (!save_file(name, dump_to_psg(dump), &reason))
        return fail("can't write " + name + ": " + reason.toLocal8Bit());
    for (const QByteArray& note : import_notes(info))
        fprintf(stderr, "trelvane-cli: note: %s: %s\n", path.constData(), note.constData());
    print_line(name);
    if (info.has_loop)
        printf("%u frames, loop at frame %u (a PSG file cannot hold it)\n", dump.frames(), info.loop_frame);
    else
        printf("%u frames\n", dump.frames());
    return 0;
}
