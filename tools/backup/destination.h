#pragma once

#include <QString>
#include <functional>

// The destination folder of simparo-backup: the workshop in which a copy is built
// and given its name, and the oldest copies let go when only some are kept.
namespace backupcopy {

// The folder of its own in which a copy is built, beside the destination: made
// with mkdtemp (0700), and removed with what is in it unless the copy left it.
class Workshop
{
public:
    ~Workshop();

    // Opens the destination folder and makes the copy's folder and its empty
    // file; the errno of the failure otherwise.
    int open(const QString &folder, const QString &name);

    int folder() const { return folder_; }
    // Where SQLite writes the copy: a name in the folder only this user can enter.
    QString copy() const { return path_ + u'/' + name_; }
    // True when something other than this tool's copy is at its name in any case.
    bool taken() const;

    // Gives the checked copy its name in the destination: the name still holds the
    // file made for it, written to disk, and nothing at the new name is replaced.
    // Every connection of SQLite to the copy is closed by now: the descriptor
    // kept here does not outlive a lock of SQLite's.
    bool finish();

private:
    QString name_, path_;
    int folder_ = -1, private_ = -1, file_ = -1;
};

// Removes the oldest of this tool's copies in the folder, so that `keep` remain
// with the one just made. Only valid copies count, and only those dated no later
// than the one just made: a file dated in the future, one that is not a copy, a
// link and the copy just made are never deleted. Each removal, or its failure
// (`failed`), is told with the line to print.
void keepNewest(int folder, const QString &folderPath, const QString &base, const QString &justMade, int keep,
                const std::function<void(const QString &line, bool failed)> &tell);

} // namespace backupcopy
