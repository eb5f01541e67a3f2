#pragma once

#include <QByteArray>

// The name a song is saved under: the chosen name if it ends in ".psg" in
// any letter case, otherwise the chosen name with ".psg" appended.
QByteArray head_name(const QByteArray& chosen);
// The second piece of a cut: the head name with its last four bytes
// replaced by ".rest.psg".
QByteArray rest_name(const QByteArray& head);
// Piece k of a split: the head name with its last four bytes replaced by
// ".k.psg".
QByteArray numbered_name(const QByteArray& head, int k);
// The two pieces of an intro and loop: the head name with its last four
// bytes replaced by ".intro.psg" and ".loop.psg".
QByteArray intro_name(const QByteArray& head);
QByteArray loop_name(const QByteArray& head);
