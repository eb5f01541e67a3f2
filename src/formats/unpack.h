// The packings music files come in: LHA archives (most YM files) and gzip
// (.vgz files).
#pragma once

#include <QByteArray>

// The largest unpacked file taken in; a bigger one is refused.
constexpr qsizetype UNPACKED_MAX = qsizetype{256} << 20;

// Whether bytes start like an LHA archive member, whatever its method.
bool is_lha(const QByteArray& bytes);
// The first file of the LHA archive in bytes, packed with any method the
// LHA library unpacks. On failure returns false and says what is wrong in
// error (a method it does not unpack is named).
bool lha_unpack(const QByteArray& bytes, QByteArray* out, QByteArray* error);

bool is_gzip(const QByteArray& bytes);
// The whole of a gzip stream (members one after the other).
bool gunzip(const QByteArray& bytes, QByteArray* out, QByteArray* error);
