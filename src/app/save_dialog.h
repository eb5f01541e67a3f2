// The file dialogs' names and folders, and the question before files are
// replaced, shared by the commands that read and write files.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The name chosen in the save dialog, and whether a file stood under it:
// then the dialog has already asked to replace it.
struct SaveName {
    QByteArray chosen;
    bool confirmed;
};

// The usual save dialog ("PSG files (*.psg)"), or one with other filters
// (selected: the one left chosen). It proposes the song's file name with
// ending in place of its own, in the folder last used; an empty name when it
// was cancelled.
SaveName ask_save_name();
SaveName ask_save_name(const QString& filters, const char* ending, QString* selected);

// The folder the file dialogs open in: that of the file last chosen in one
// (or dropped on the window) since the program started; empty before, where
// Qt chooses.
QString dialog_folder();
void remember_folder(const QString& file);

// Asks once before files that exist are replaced, except the one the save
// dialog asked about. True when nothing stands in the way.
bool may_replace(const SaveName& name, const QList<QByteArray>& targets);
