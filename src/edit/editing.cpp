#include "edit/editing.h"

#include "edit/names.h"
#include "io/files.h"
#include "song/psg_read.h"
#include "song/psg_write.h"
#include "song/song.h"

bool cut_song()
{
    int handle = psg_write(cut_pos, nullptr, frame_count);
    if (handle == -1)
        return false;
    psg_read(nullptr, handle, true);
    io_drop_tmpfile(handle);
    return true;
}

bool save_pieces(const QByteArray& chosen)
{
    const QByteArray head = head_name(chosen);
    if (psg_write(0, head.constData(), cut_pos) == -1)
        return false;
    const QByteArray rest = rest_name(head);
    if (psg_write(cut_pos, rest.constData(), frame_count) == -1)
        return false;
    psg_read(rest.constData(), 0, true);
    return true;
}

bool save_song(const QByteArray& chosen)
{
    const QByteArray head = head_name(chosen);
    return psg_write(0, head.constData(), frame_count) != -1;
}
