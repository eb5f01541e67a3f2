#include "song/psg_write.h"

#include "io/files.h"
#include "io/report.h"
#include "song/block_writer.h"
#include "song/psg_format.h"
#include "song/song.h"

int psg_write_pending(uint32_t from, const char* path, uint32_t to, const LeadIn* lead_in)
{
    Failure why;
    int handle = path ? io_creat_pending(path, &why) : io_tmpfile();
    if (handle == -1) {
        why.text = QStringLiteral("Can't ceate file!");
        show_failure(why);
        return -1;
    }

    BlockWriter out([handle](const char* bytes, qint64 count) { return io_write(handle, bytes, count); });
    out.put(PSG_SIGNATURE, sizeof PSG_SIGNATURE);
    for (int k = static_cast<int>(sizeof PSG_SIGNATURE); k < PSG_HEADER_LEN; ++k)
        out.put(0);
    for (int k = 0; lead_in && from < to && k < lead_in->count; ++k) {
        out.put(lead_in->reg[k]);
        out.put(lead_in->value[k]);
    }
    for (uint32_t f = from; f < to; ++f) {
        const MusicEvent* end = frame_end_event(f);
        for (const MusicEvent* e = frames[f].first_event; e < end; ++e) {
            out.put(e->reg);
            out.put(e->value);
        }
        out.put(PSG_FRAME_END);
    }
    out.flush();

    if (!out.failed && files[handle]->flush())
        return handle;
    if (path)
        io_fail(handle, &why);
    else
        io_drop_tmpfile(handle);
    why.text = QStringLiteral("Can't write file!");
    show_failure(why);
    return -1;
}

int psg_write(uint32_t from, const char* path, uint32_t to, const LeadIn* lead_in)
{
    const int handle = psg_write_pending(from, path, to, lead_in);
    if (handle == -1 || !path)
        return handle;
    Failure why;
    if (!io_put_in_place(&handle, 1, &why)) {
        why.text = QStringLiteral("Can't write file!");
        show_failure(why);
        return -1;
    }
    return handle;
}
