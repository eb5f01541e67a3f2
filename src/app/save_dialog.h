// The save dialog and the question before files are replaced, shared by
// the commands that write files.
#pragma once

#include <QByteArray>
#include <QList>

// The name chosen in the save dialog, and whether a file stood under it:
// then the dialog has already asked to replace it.
struct SaveName {
    QByteArray chosen;
    bool confirmed;
};

// The usual save dialog; an empty name when it was cancelled.
SaveName ask_save_name();

// Asks once before files that exist are replaced, except the one the save
// dialog asked about. True when nothing stands in the way.
bool may_replace(const SaveName& name, const QList<QByteArray>& targets);
