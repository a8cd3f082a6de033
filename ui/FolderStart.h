// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding, laying out and locking the program folder when a program starts.
// The rule of which folder it is lives in core/CommandLine.h; this is the
// part that asks the system.

#include "Services.h"
#include "core/CommandLine.h"

#include <QLockFile>
#include <QString>

namespace ui {

class MessageService;

// The command line of a program start, with a --folder that is no folder
// made a wrong command line. Also lets a write past the file-size limit fail
// like a full disk, which the writers report, instead of ending the program.
core::CommandLine readProgramCommandLine(int argc, char **argv);

struct FolderPlace {
    core::FolderKind kind;
    // Absolute and clean.
    QString path;
    // The installed delivered files to fill `path` from; empty for a folder
    // given on the command line or the program's own folder, which are used
    // as they are unless new (the files the program carries then fill them).
    QString defaults;
};

// `given` is the --folder value (or empty), `ownFolder` the folder that holds
// the executable.
FolderPlace findProgramFolder(const QString &given, const QString &ownFolder);
// The same for this program: `given` as the command line has it, the
// folder of the running executable.
FolderPlace findProgramFolder(const std::string &given);

// Makes the folder with logs/, html/ and Excel/, and copies each delivered
// file it does not have yet (a dangling link counts as present: the user put
// it there), from the folder `defaults` or, when that is empty, from the
// files the program carries. So a newer version's new defaults arrive, while
// everything the user changed stays. `added` gets what was put in (files,
// then folders with a trailing "/"). False with `reason` when something
// could not be made.
bool fillProgramFolder(const QString &folder, const QString &defaults, QString *reason, QStringList *added = nullptr);
// The same for the folder a program start found: the installed data folder
// always, any other when it is new (neither prog.cfg nor settings.cfg in
// it). Tells `messages` once what a new folder was given, or what could not
// be made (the program goes on with what is there).
void makeFolderReady(const FolderPlace &place, MessageService &messages);
// The message that names what a new folder was given.
QString folderMadeReadyText(const QString &folder, const QStringList &added);

// One program per folder: a lock file in it, held while the program runs.
class FolderLock {
public:
    explicit FolderLock(const QString &lockFile);
    // The lock of a program folder, which is made first (the lock lies in it).
    explicit FolderLock(const FolderPlace &place);
    // True when this program may run: it now holds the lock, or the lock
    // cannot be made at all (a folder it may not write to, where nothing else
    // could lock either). False when another running program holds it; then
    // `holder` is that program's process id. A lock left by a program that
    // is gone is taken over. `application` (when given) gets the holder's
    // program name, as it wrote it into the lock.
    bool acquire(qint64 *holder, QString *application = nullptr);

private:
    QLockFile m_lock;
};

// The services of a program running on `folder`: its serial ports are the
// system's devices the folder's COM entries name.
Services folderServices(const QString &folder, Clock &clock, MessageService &messages, ModalRunner &modal,
                        FileChooser &files);

// The message for a start refused because `holder` runs on `folder`; it
// names the holder's program when `application` is known.
QString folderInUseText(const QString &folder, qint64 holder, const QString &application = QString());

} // namespace ui
