// trelvane-cli: the song commands of the desktop program for scripts, and a
// toolbox for collections of PSG files.
#include "cli/cli.h"

#include "io/save.h"
#include "song/song.h"

#include <csignal>
#include <cstdio>

namespace {

const char usage_text[] =
    "Usage: trelvane-cli COMMAND FILE... [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  info FILE [MORE...] [--json]   print the song's frames, writes and length;\n"
    "                                 further files are appended\n"
    "  find FILE [--from I] [--window W] [--json]\n"
    "                                 find where the song starts to repeat itself\n"
    "                                 (search from write I, W writes must recur;\n"
    "                                 default 0 and 12000)\n"
    "  loops FILE [--min-seconds S] [--json]\n"
    "                                 list where the song repeats itself for at\n"
    "                                 least S seconds (default 5), best first\n"
    "  cut FILE --at FRAME -o NAME [--no-state]\n"
    "                                 save frames 0..FRAME-1 as NAME(.psg) and the\n"
    "                                 rest as NAME.rest.psg; prints both names. The\n"
    "                                 rest begins with the chip state the song has\n"
    "                                 at FRAME; with --no-state it holds only its\n"
    "                                 own writes, and the two join back into the\n"
    "                                 song's bytes\n"
    "  trim FILE --from F [--to T] -o NAME [--no-state]\n"
    "                                 save frames F..T-1 (default: to the end) as\n"
    "                                 NAME(.psg), beginning with the chip state at F\n"
    "                                 (with --no-state: its own writes only)\n"
    "  loop FILE -o NAME [--start F --period P | --pick N] [--min-seconds S]\n"
    "       [--json]\n"
    "                                 save the intro (frames before the loop) as\n"
    "                                 NAME.intro.psg and one pass of the loop as\n"
    "                                 NAME.loop.psg, which chain exactly: the intro\n"
    "                                 and then the loop over and over play as the\n"
    "                                 song does. Default: the best loop candidate\n"
    "                                 that chains; --pick N the N-th of 'loops'\n"
    "                                 (--min-seconds S as there, default 5);\n"
    "                                 --start/--period a loop you name\n"
    "  split FILE --silence S -o NAME [--max-pieces N] [--json]\n"
    "                                 save each part between silences of at least\n"
    "                                 S seconds (0.001 to 4294967.295) as\n"
    "                                 NAME.1.psg, NAME.2.psg, ..., each with the\n"
    "                                 chip state at its start; prints each name\n"
    "                                 with its first and last frame and times.\n"
    "                                 More than N pieces (default 999) are\n"
    "                                 refused before any is written; the pieces\n"
    "                                 replace their names together or not at all\n"
    "  optimize FILE -o NAME          save the song without the writes that cannot\n"
    "                                 change its sound, and empty frames as waits;\n"
    "                                 it renders exactly the same sound\n"
    "  save FILE [MORE...] -o NAME    save the song, further files appended, as\n"
    "                                 NAME(.psg); prints the name\n"
    "  render FILE -o OUT.wav [--from F] [--to T] [--accurate [--chip ay|ym]\n"
    "         [--clock HZ] [--pan plain|abc|acb|mono] [--rate HZ] [--frame-rate HZ]]\n"
    "                                 render frames F..T-1 (default: all) to a\n"
    "                                 44,100 Hz 16-bit stereo WAV file (a pipe\n"
    "                                 such as /dev/stdout works too); --accurate:\n"
    "                                 through a model of the chip itself\n"
    "  plot FILE -o OUT.png [--mark F]... [--width W]\n"
    "                                 draw the song: each channel's notes, levels,\n"
    "                                 noise and envelope over time, the best loop\n"
    "                                 and marks at frames F (width W, 320 to\n"
    "                                 16000, default 1200)\n"
    "  export FILE -o OUT.ym|OUT.vgm [--clock HZ] [--loop FRAME|auto|none] [--chip ay|ym]\n"
    "                                 write the song as a YM or a VGM file (by\n"
    "                                 OUT's ending) for a chip clocked at HZ\n"
    "                                 (default 1773400), looping at FRAME, at the\n"
    "                                 loop the song repeats to its end (auto, the\n"
    "                                 default) or not at all; a VGM file names an\n"
    "                                 AY-3-8910 (ay, default) or a YM2149 (ym)\n"
    "  import FILE -o NAME            read a YM (YM5/YM6, packed or not) or VGM\n"
    "                                 (.vgm/.vgz) file and save it as NAME(.psg)\n"
    "\n"
    "Options:\n"
    "  --json                         answer in JSON (info, find, loops, loop, split)\n"
    "  -o -                           standard output (render, save; export writes\n"
    "                                 a VGM file there)\n"
    "\n"
    "Positions (F, T, FRAME, P, --mark) are frames (50 a second) or times:\n"
    "M:SS.mmm or H:MM:SS.mmm as the window shows them, or seconds such as 12.5s;\n"
    "a time between two frames means the nearest frame.\n"
    "  --help                         show this text\n"
    "  --version                      show the version\n"
    "  --                             the arguments after it are file names\n"
    "\n"
    "Exit status: 0 done, 1 find or loops found no repetition (split: no sound;\n"
    "loop: no loop that chains exactly), 2 error. An output is refused, before\n"
    "anything is written, where it is a folder (-o DIR/), a file read-only to\n"
    "you, a dangling symbolic link or a loop of links, or the same file as the\n"
    "command's other output; a failed write names the file and the system's\n"
    "reason.\n";

int (*const run[CMD_COUNT])(const Arguments&) = {
    run_info, run_find, run_cut, run_save, run_render, run_optimize, run_loops, run_split, run_trim, run_plot, run_loop,
    run_export, run_import,
};

}  // namespace

int usage_error(const char* text)
{
    fflush(stdout);
    fprintf(stderr, "trelvane-cli: %s\nTry 'trelvane-cli --help'.\n", text);
    return EXIT_ERROR;
}

int fail(const QByteArray& text)
{
    fflush(stdout);
    fprintf(stderr, "trelvane-cli: %s\n", text.constData());
    return EXIT_ERROR;
}

int past_the_end(const char* option, uint64_t frame)
{
    const QByteArray text = QByteArray(option) + " " + QByteArray::number(static_cast<qulonglong>(frame)) +
                            " is past the end of the song (frame " + QByteArray::number(frame_count) + ")";
    return usage_error(text.constData());
}

int main(int argc, char** argv)
{
    // A file size limit fails the write, which the tool then reports and
    // cleans up after, instead of ending the process.
    signal(SIGXFSZ, SIG_IGN);
    // Ctrl+C, timeout's SIGTERM or a closed terminal leave no half-written file.
    save_clean_up_on_signals();
    QList<QByteArray> words;
    for (int i = 1; i < argc; ++i)
        words.append(QByteArray(argv[i]));
    const CommandLine line = parse_arguments(words);
    switch (line.outcome) {
    case PARSE_HELP:
        fputs(usage_text, stdout);
        return fflush(stdout) == 0 ? 0 : EXIT_ERROR;
    case PARSE_VERSION:
        fputs("trelvane-cli " TRELVANE_VERSION "\n", stdout);
        return fflush(stdout) == 0 ? 0 : EXIT_ERROR;
    case PARSE_ERROR:
        return usage_error(line.error.constData());
    case PARSE_RUN:
        break;
    }
    route_messages();
    int status = run[line.command](line.args);
    if (fflush(stdout) != 0 && status == 0)
        status = fail("cannot write to standard output");
    return status;
}
