// The editing commands' work on the song, shared by the application's
// buttons and the command-line tool. The dialogs, the zero-cut test and the
// questions stay with the callers.
#pragma once

#include "song/psg_write.h"

#include <QByteArray>

#include <cstdint>

// How the piece after a cut begins: with the writes that give it the chip
// state the song has at the cut (piece_lead_in), or with its own writes
// only, so that the two pieces join back into the song's bytes.
enum CutState { CARRY_STATE, NO_STATE };

// Drops the frames before cut_pos: writes frames cut_pos .. frame_count - 1
// to a temporary file and reads it back as the song. On a failed write the
// song stays as it was. Returns true when the song was replaced.
bool cut_song(CutState state = CARRY_STATE);

// Writes frames 0 .. cut_pos - 1 under the head name of chosen and frames
// cut_pos .. frame_count - 1 under its rest name, then reads the rest back as
// the song. Both pieces are complete before either name is replaced: when
// one cannot be written, neither name changes and the song stays as it was;
// two names that are one file (a link to the other) are refused first.
// Returns true when both pieces were written.
bool save_pieces(const QByteArray& chosen, CutState state = CARRY_STATE);

// Writes frames 0 .. split - 1 as `first` and frames split .. end - 1, opened
// by `lead`, as `second`, and puts both in place together: when one cannot be
// written, neither name changes (the error box says why). Two names that are
// one file are refused before anything is written.
bool save_two_pieces(const QByteArray& first, uint32_t split, const QByteArray& second, uint32_t end,
                     const LeadIn& lead);

// Writes frames 0 .. frame_count - 1 under the head name of chosen; on
// failure the name keeps what it had.
bool save_song(const QByteArray& chosen);
