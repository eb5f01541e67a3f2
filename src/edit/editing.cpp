#include "edit/editing.h"

#include "edit/lead_in.h"
#include "edit/names.h"
#include "io/files.h"
#include "io/report.h"
#include "song/psg_read.h"
#include "song/psg_write.h"
#include "song/song.h"

namespace {

LeadIn lead_in_for(CutState state)
{
    return state == CARRY_STATE ? piece_lead_in(cut_pos) : LeadIn{};
}

}  // namespace

bool cut_song(CutState state)
{
    const LeadIn lead = lead_in_for(state);
    int handle = psg_write(cut_pos, nullptr, frame_count, &lead);
    if (handle == -1)
        return false;
    psg_read(nullptr, handle, true);
    io_drop_tmpfile(handle);
    return true;
}

bool save_two_pieces(const QByteArray& first, uint32_t split, const QByteArray& second, uint32_t end,
                     const LeadIn& lead)
{
    Failure why;
    if (!io_check_outputs({first, second}, &why)) {
        why.text = QStringLiteral("Can't ceate file!");
        show_failure(why);
        return false;
    }
    int handles[2];
    handles[0] = psg_write_pending(0, first.constData(), split);
    if (handles[0] == -1)
        return false;
    handles[1] = psg_write_pending(split, second.constData(), end, &lead);
    if (handles[1] == -1) {
        io_abandon(handles[0]);
        return false;
    }
    if (!io_put_in_place(handles, 2, &why)) {
        why.text = QStringLiteral("Can't write file!");
        show_failure(why);
        return false;
    }
    return true;
}

bool save_pieces(const QByteArray& chosen, CutState state)
{
    const QByteArray head = head_name(chosen);
    const QByteArray rest = rest_name(head);
    // Both pieces are written before either replaces its name: cutting a
    // file into itself (head name = the file read) loses nothing when the
    // rest cannot be written.
    if (!save_two_pieces(head, cut_pos, rest, frame_count, lead_in_for(state)))
        return false;
    psg_read(rest.constData(), 0, true);
    return true;
}

bool save_song(const QByteArray& chosen)
{
    const QByteArray head = head_name(chosen);
    return psg_write(0, head.constData(), frame_count) != -1;
}
