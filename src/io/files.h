// Files addressed by small integer handles, each an open Qt file object.
// Entries are only ever appended: the n-th successful open, create or
// temporary file of the process gets handle n - 1; -1 means failure.
#pragma once

#include <QFile>
#include <QList>
#include <QString>

extern QList<QFile*> files;

QString io_path(const char* path);
int io_open(const char* path);
int io_creat(const char* path);
int io_tmpfile();
void io_read(int handle, unsigned char* dest);
qint64 io_write(int handle, const void* bytes, qint64 length);

// Removes a temporary file of the table from the disk (its entry stays).
void io_drop_tmpfile(int handle);
// Removes every temporary file that is still on the disk; run at exit.
void io_remove_tmpfiles();
