// Writing a whole file so that it is never lost.
#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes under name, the file name's bytes as the system takes them.
// A regular file (or a name not taken yet) is written to a temporary file in
// the same folder, flushed to the disk and renamed over the name only when
// it is complete: on any failure the name keeps what it had and no
// temporary file remains. A device or pipe (/dev/stdout, /dev/null) is
// written directly. On failure returns false and, when reason is given,
// the system's reason.
bool save_file(const QByteArray& name, const QByteArray& bytes, QString* reason = nullptr);
