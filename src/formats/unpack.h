// The packings music files come in: LHA archives (most YM files) and gzip
// (.vgz files).
#pragma once

#include <QByteArray>

// The largest unpacked file taken in; a bigger one is refused.
constexpr qsizetype UNPACKED_MAX = qsizetype{256} << 20;

// Whether bytes start an LHA archive member compressed with "-lh5-" (or
// stored, "-lh0-").
bool is_lha(const QByteArray& bytes);
// The first member of the LHA archive in bytes. On failure returns false and
// says what is wrong in error.
bool lha_unpack(const QByteArray& bytes, QByteArray* out, QByteArray* error);

bool is_gzip(const QByteArray& bytes);
// The whole of a gzip stream (members one after the other).
bool gunzip(const QByteArray& bytes, QByteArray* out, QByteArray* error);
