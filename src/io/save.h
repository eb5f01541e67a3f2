// Writing files so that they are never lost: a file is written under a
// temporary name in its folder, flushed to the disk and renamed over its
// name only when it is complete. Until then the name keeps what it had, and
// a failure leaves no temporary file behind. A name that is a device or a
// pipe (/dev/null) is written directly, and one that stands for a
// descriptor of the process (/dev/stdout, /dev/fd/N) is written through
// that descriptor, so that a shell's > or >> holds. Names are bytes, used
// exactly as the system takes them.
//
// A name is taken only where the user could write the file in place: a
// file that is read-only to them, a folder, a dangling symbolic link or a
// loop of links is refused before anything is written. A symbolic link
// stays a link: the file it points at is replaced.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <sys/types.h>

// Reasons of refusal that are no error of the system.
constexpr int SAVE_DANGLING = -1;   // a symbolic link to nothing
constexpr int SAVE_READ_ONLY = -2;  // the file exists and may not be written by the user
constexpr int SAVE_BUSY = -3;       // another Trelvane held the folder longer than save_lock_patience_ms

struct SaveTarget {
    QByteArray shown;     // the name as given, for messages
    QByteArray name;      // where the file goes (a symbolic link: the file it points at)
    QByteArray temp;      // the temporary file beside it; empty when name is written directly
    int through = -1;     // the descriptor of this process that name stands for, or -1
    int fd = -1;          // open for writing until save_close
    int error = 0;        // errno (or a SAVE_ reason) of the first failure
    bool exists = false;  // a file stood under name: then dev and ino are its own
    dev_t dev = 0;
    ino_t ino = 0;
};

// Looks at name without creating anything: follows a symbolic link and
// refuses what save_open would. Fails with t.error set.
bool save_resolve(SaveTarget& t, const QByteArray& name);
// Whether two resolved targets are one file (the same name after the links,
// or hard links of one file).
bool save_same_file(const SaveTarget& a, const SaveTarget& b);
// Resolves every name (save_resolve) and checks that no two are one file,
// holding the locks of their folders (see save_replace) so that the names
// are not seen half way through another Trelvane process's renames. Returns
// the index of the first name refused, or -1; reason then says why.
int save_check_names(const QList<QByteArray>& names, QString* reason);
// Opens the file that is to go under name. Fails, with t.error set, where
// save_resolve does and when the temporary file cannot be made (folder
// missing or not writable, name too long). A new file gets the mode 0666
// less the umask; a replaced one keeps its mode.
bool save_open(SaveTarget& t, const QByteArray& name);
// Writes all the bytes.
bool save_write(SaveTarget& t, const char* bytes, qint64 count);
// Flushes the file to the disk and closes it; the temporary file stays
// until save_replace or save_cancel.
bool save_close(SaveTarget& t);
// Renames the closed temporary files of targets over their names, in
// order. All or none: when a rename fails, those already done are undone
// (the file that stood under the name is kept under a second name until
// all are in place), and every temporary file is removed. Other Trelvane
// processes replacing names in the same folders wait until all are done.
bool save_replace(SaveTarget* targets, int count);
// Closes the file and removes its temporary file; the name keeps what it had.
void save_cancel(SaveTarget& t);
// The system's reason for t's failure.
QString save_reason(const SaveTarget& t);

// The whole of bytes as the file name, in one go. On failure returns false
// and, when reason is given, the system's reason.
bool save_file(const QByteArray& name, const QByteArray& bytes, QString* reason = nullptr);

// From now on every signal that ends the process and can be caught removes
// the temporary files on the disk first; one that comes while a set of
// names is being replaced waits until the set is whole. A signal that is
// ignored, or that something else already handles, stays so.
void save_clean_up_on_signals();

// How long a writer waits for a folder that another Trelvane process is
// replacing names in, in milliseconds, before it gives up (SAVE_BUSY); 0,
// the default: as long as it takes. Either way it says once, after a
// second, that it is waiting (a DIAG_WAITING diagnostic).
extern int save_lock_patience_ms;

// Called, when set, as a file is flushed to the disk ("fsync", the file
// written) and as it is renamed ("rename", the temporary name, then the
// name): lets a test see the order.
extern void (*save_trace)(const char* step, const QByteArray& file);
