#include "edit/editing.h"

#include "edit/lead_in.h"
#include "edit/names.h"
#include "io/files.h"
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

bool save_pieces(const QByteArray& chosen, CutState state)
{
    const QByteArray head = head_name(chosen);
    if (psg_write(0, head.constData(), cut_pos) == -1)
        return false;
    const QByteArray rest = rest_name(head);
    const LeadIn lead = lead_in_for(state);
    if (psg_write(cut_pos, rest.constData(), frame_count, &lead) == -1)
        return false;
    psg_read(rest.constData(), 0, true);
    return true;
}

bool save_song(const QByteArray& chosen)
{
    const QByteArray head = head_name(chosen);
    return psg_write(0, head.constData(), frame_count) != -1;
}
