// export and import: the song as a YM or VGM file, which keep a loop point,
// and such files back as PSG files.
#include "cli/cli.h"

#include "cli/json.h"
#include "edit/editing.h"
#include "edit/intro_loop.h"
#include "edit/names.h"
#include "edit/optimize.h"
#include "formats/convert.h"
#include "formats/dump.h"
#include "formats/loop_export.h"
#include "io/save.h"
#include "song/registers.h"
#include "song/song.h"

#include <cstdio>

namespace {

// --keep-all: the loop of `trelvane-cli loop` (the best repetition whose
// registers repeat too), when the song then plays it to its end: the file
// keeps every frame and loops from its end to the first frame of the
// repetition where the frames and the register image are those the end
// leads on to, so the jump is seamless.
bool auto_loop(uint32_t* frame, QByteArray* why)
{
    uint32_t start = 0, period = 0;
    if (!choose_loop(0, &start, &period) || period == 0) {
        *why = "the song does not repeat itself exactly";
        return false;
    }
    *why = "the loop of 'loop' (start " + QByteArray::number(start) + ", period " + QByteArray::number(period)
        + ") does not run to the song's end (trim the song there, or name a loop with --loop)";
    return loop_point(start, period, frame);
}

// What is exported for --loop: auto (the default) the intro and one pass
// of the song's loop (with --keep-all every frame, looping where the end
// leads on), none no loop point, or a frame or a time to loop to. Returns
// 0, or the exit status after a message.
int resolve_loop(const Arguments& args, SongExport* song)
{
    const QByteArray loop = args.loop.value_or("auto");
    if (loop == "auto" && !args.keep_all) {
        *song = export_with_auto_loop();
        return 0;
    }
    uint32_t frame = 0;
    if (loop == "auto") {
        QByteArray why;
        song->has_loop = auto_loop(&frame, &why);
        if (!song->has_loop)
            song->notes.append("written without a loop: " + why);
    } else if (loop != "none") {
        if (!parse_position(loop, &frame))
            return usage_error(("--loop needs a frame, a time, auto or none, not '" + loop + "'").constData());
        if (frame >= frame_count)
            return past_the_end("--loop", frame);
        song->has_loop = true;
    }
    song->loop_frame = frame;
    song->dump = optimized_dump();
    return 0;
}

QByteArray json_notes(const QList<QByteArray>& notes)
{
    QList<QByteArray> items;
    for (const QByteArray& note : notes)
        items.append(json_string(note));
    return json_array(items);
}

}  // namespace

int run_export(const Arguments& args)
{
    // Standard output gets a VGM file: it can hold every chip export writes.
    const ExportFormat format = output_is_stdout(args) ? EXPORT_VGM : export_format(args.output);
    if (format == EXPORT_NONE)
        return usage_error("-o must name a .ym or .vgm file");
    if (format == EXPORT_YM && args.chip)
        return usage_error("--chip is for .vgm files (a YM file is always a YM2149)");
    if (args.keep_all && args.loop.value_or("auto") != "auto")
        return usage_error("--keep-all is for --loop auto (the other loops keep every frame)");
    if (!load_song(args.files))
        return EXIT_ERROR;
    DumpInfo info;
    info.clock = args.clock.value_or(DEFAULT_CLOCK);
    info.title = file_title(args.files.first());
    SongExport song;
    if (const int status = resolve_loop(args, &song))
        return status;

    const QByteArray bytes = export_bytes(song, info, format == EXPORT_YM, args.chip == "ym" ? VGM_YM2149 : VGM_AY8910);
    QString reason;
    if (!save_file(output_name(args), bytes, &reason))
        return fail("can't write " + args.output + ": " + reason.toLocal8Bit());
    if (args.json) {
        print_line(JsonObject()
                       .add_string("written", args.output)
                       .add("frames", song.dump.frames())
                       .add_raw("loop_frame", song.has_loop ? QByteArray::number(song.loop_frame) : QByteArray("null"))
                       .add_raw("notes", json_notes(song.notes))
                       .text());
        return 0;
    }
    for (const QByteArray& note : song.notes)
        fprintf(stderr, "trelvane-cli: note: %s\n", note.constData());
    // Beside the file, not in it.
    FILE* said = output_is_stdout(args) ? stderr : stdout;
    if (song.has_loop)
        fprintf(said, "%u frames, loop at frame %u\n", song.dump.frames(), song.loop_frame);
    else
        fprintf(said, "%u frames, no loop\n", song.dump.frames());
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

    // As the window loads the file and saves it: the same song, the same bytes.
    if (read_dump(dump, true) != READ_COMPLETE)
        return EXIT_ERROR;
    if (!save_song(args.output))
        return EXIT_ERROR;
    const QByteArray name = head_name(args.output);
    info.notes = import_notes(info);
    if (args.json) {
        print_line(JsonObject()
                       .add_string("written", name)
                       .add("frames", frame_count)
                       .add_raw("loop_frame", info.has_loop ? QByteArray::number(info.loop_frame) : QByteArray("null"))
                       .add_raw("notes", json_notes(info.notes))
                       .text());
        return 0;
    }
    for (const QByteArray& note : info.notes)
        fprintf(stderr, "trelvane-cli: note: %s: %s\n", path.constData(), note.constData());
    print_line(name);
    if (info.has_loop)
        printf("%u frames, loop at frame %u (a PSG file cannot hold it)\n", frame_count, info.loop_frame);
    else
        printf("%u frames\n", frame_count);
    return 0;
}
