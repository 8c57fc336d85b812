#pragma once

#include <QByteArray>
#include <QString>

// Files that hold the savings data, made so that no other local user can read
// them and no name planted beforehand (a symbolic link, say) redirects them:
// folders 0700 and files 0600 whatever the umask, every new name made with
// O_EXCL and O_NOFOLLOW, and renames that never replace what is there.
namespace privatefiles {

// Makes a folder and every missing folder above it, each 0700. *highestMade
// gets the highest folder it made (empty when the folder was already there).
bool makeFolders(const QString &folder, QString *highestMade);
// Removes what makeFolders() made, from the folder up to highestMade, as long as
// each is empty.
void removeMadeFolders(const QString &folder, const QString &highestMade);

// Makes a new folder 0700 named `stem` and six random letters (mkdtemp) and opens
// it, checked to be this user's own and not a link; -1 when it cannot be had.
int makePrivateFolder(const QString &stem, QString *path);
// True when the name in the folder `dir` is the file that `fd` holds.
bool holds(int dir, const QString &name, int fd);

// Creates a new file 0600 in the folder `dir` (a descriptor; AT_FDCWD for a
// path), open for reading and writing; -1 (with errno) when anything at all,
// a symbolic link included, is at that name already.
int createFile(int dir, const QString &name);
// Opens an existing regular file for reading and writing without following a
// symbolic link at its name; -1 (errno ELOOP for a link) otherwise.
int openExisting(const QString &file);
// True when `fd` and another descriptor of this process are the same file:
// what another part of the program (SQLite) opened by name is the file that
// `fd` holds, and not something put at the name meanwhile. Where the process's
// descriptors cannot be listed, the name is looked at instead.
bool openedAgain(int fd, const QString &name);

// Renames within one file system, from a folder to a folder (descriptors),
// never replacing anything at the new name, not even a symbolic link.
bool renameNew(int fromDir, const QString &from, int toDir, const QString &to);

// A small file of settings or state read whole: only a regular file (a FIFO, a
// device or a folder at its name is never opened for reading, so that nothing can
// hang the reader) of at most `maxBytes`. Missing when nothing is at the name;
// Refused, with the reason in Indonesian, when something else is there or it is
// larger; Read with its content otherwise.
enum class SmallFile { Missing, Refused, Read };
SmallFile readSmallFile(const QString &file, qint64 maxBytes, QByteArray *content, QString *reason);
// What is at a name as a message names it ("folder", "FIFO (pipa bernama)", ...);
// empty for a regular file (a symbolic link is followed) or nothing at all.
QString otherThanFile(const QString &file);

// True when nothing run as this user can change the file now: its file system is
// mounted read-only, or neither the file nor its folder may be written.
bool unwritablePlace(const QString &file);

// Writes a small file of the user's own (0600) in a folder of his own (made 0700
// when missing), whole or not at all: a new file beside it, written to disk, then
// renamed over the name (a symbolic link at the name is replaced, never followed).
bool replaceFile(const QString &file, const QByteArray &content, QString *error);

} // namespace privatefiles
