// optimize: the song without the writes that cannot change its sound.
#include "cli/cli.h"

#include "edit/names.h"
#include "edit/optimize.h"
#include "io/save.h"
#include "song/song.h"

#include <cstdio>
#include <sys/stat.h>

int run_optimize(const Arguments& args)
{
    if (!load_song(args.files))
        return EXIT_ERROR;
    const QByteArray& input = args.files.first();
    PsgImage out = optimized_psg();
    // The song as read, written plainly, is never larger than its file; the
    // optimized one only grows past it after frames that crowd the register
    // queue. Of a pipe the size is not known: the plain song stands for it.
    const PsgImage plain = plain_psg();
    struct stat st;
    const bool sized = ::stat(input.constData(), &st) == 0 && S_ISREG(st.st_mode);
    const qint64 before = sized ? static_cast<qint64>(st.st_size) : plain.bytes.size();
    if (out.bytes.size() > before || out.bytes.size() > plain.bytes.size())
        out = plain;

    const QByteArray name = head_name(args.output);
    QString reason;
    if (!save_file(name, out.bytes, &reason))
        return fail("can't write " + name + ": " + reason.toLocal8Bit());
    printf("writes %u -> %u, bytes %lld -> %lld\n", event_count, out.writes, static_cast<long long>(before),
           static_cast<long long>(out.bytes.size()));
    return 0;
}
