// Writing files so that they are never lost: a file is written under a
// temporary name in its folder, flushed to the disk and renamed over its
// name only when it is complete. Until then the name keeps what it had, and
// a failure leaves no temporary file behind. A name that is a device or a
// pipe (/dev/stdout, /dev/null) is written directly. Names are bytes, used
// exactly as the system takes them.
#pragma once

#include <QByteArray>
#include <QString>

struct SaveTarget {
    QByteArray name;  // where the file goes (a symbolic link: the file it points at)
    QByteArray temp;  // the temporary file beside it; empty when name is written directly
    int fd = -1;      // open for writing until save_close
    int error = 0;    // errno of the first failure
};

// Opens the file that is to go under name. Fails, with t.error set, when
// name is a folder or the temporary file cannot be made (folder missing or
// not writable, name too long).
bool save_open(SaveTarget& t, const QByteArray& name);
// Writes all the bytes.
bool save_write(SaveTarget& t, const char* bytes, qint64 count);
// Flushes the file to the disk and closes it; the temporary file stays
// until save_replace or save_cancel.
bool save_close(SaveTarget& t);
// Renames the closed temporary files of targets over their names, in
// order. All or none: when a rename fails, those already done are undone
// (the file that stood under the name is kept under a second name until
// all are in place), and every temporary file is removed.
bool save_replace(SaveTarget* targets, int count);
// Closes the file and removes its temporary file; the name keeps what it had.
void save_cancel(SaveTarget& t);
// The system's reason for t's failure.
QString save_reason(const SaveTarget& t);

// The whole of bytes as the file name, in one go. On failure returns false
// and, when reason is given, the system's reason.
bool save_file(const QByteArray& name, const QByteArray& bytes, QString* reason = nullptr);
