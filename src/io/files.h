// Files addressed by small integer handles, each an open Qt file object.
// Entries are only ever appended: the n-th successful open, create or
// temporary file of the process gets handle n - 1; -1 means failure.
// Paths are bytes, handed to the system exactly as given.
#pragma once

#include "io/report.h"

#include <QFile>
#include <QList>
#include <QString>

extern QList<QFile*> files;

// Whether io_open of a named pipe waits for a writer, as a shell tool does.
// Off (the window): the pipe is opened without waiting, and one that nobody
// writes to reads as empty.
extern bool io_pipes_wait;

QString io_path(const char* path);
int io_open(const char* path);
int io_creat(const char* path);
int io_tmpfile();
void io_read(int handle, unsigned char* dest);
qint64 io_write(int handle, const void* bytes, qint64 length);

// A file of io_creat_pending that could not be made or written: the
// failure (kind FAIL_FILE, no text yet) names it and says why. The caller
// adds its own words and reports it once.

// Whether every name can take a file, before anything is written: each as
// io_creat_pending checks it, and no two of them the same file (after the
// symbolic links, or hard links of one file). On failure says "Failed to
// create" like io_creat and fills why.
bool io_check_outputs(const QList<QByteArray>& names, Failure* why = nullptr);
// A file that is to go under path once it is complete: a temporary file in
// path's folder, open for writing (path itself when it is a device or a
// pipe). Nothing under path changes before io_put_in_place. Fails like
// io_check_outputs; a folder, a read-only file or a dangling link under path
// is refused.
int io_creat_pending(const char* path, Failure* why = nullptr);
// Flushes a file of io_creat_pending to the disk and closes it, to be put in
// place later; so a long set of files needs no more open files than one.
// On failure drops the file and fills why (as io_fail).
bool io_close_pending(int handle, Failure* why = nullptr);
// Drops a file of io_creat_pending whose writing failed and fills why with
// its name and the system's reason.
void io_fail(int handle, Failure* why = nullptr);
// Puts the files of io_creat_pending in place, each flushed to the disk and
// renamed over its name. All or none: on failure every name keeps what it
// had (see save_replace), no temporary file remains and why names the file
// that failed. The files are closed either way.
bool io_put_in_place(const int* handles, int count, Failure* why = nullptr);
// Closes a file of io_creat_pending and removes it; its name keeps what it had.
void io_abandon(int handle);

// The bytes of a file name that Qt gives as a string (a file dialog's).
QByteArray io_name(const QString& name);

// Removes a temporary file of the table from the disk (its entry stays).
void io_drop_tmpfile(int handle);
// Removes every temporary file that is still on the disk, and the files of
// io_creat_pending that were never put in place; run at exit.
void io_remove_tmpfiles();
