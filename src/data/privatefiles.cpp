#include "privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace privatefiles {

namespace {
QByteArray encoded(const QString &name)
{
    return QFile::encodeName(name);
}
} // namespace

bool makeFolders(const QString &folder, QString *highestMade)
{
    highestMade->clear();
    QStringList missing;
    QString f = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    struct stat info = {};
    while (::lstat(encoded(f).constData(), &info) != 0 && errno == ENOENT) {
        missing.prepend(f);
        const QString up = QFileInfo(f).absolutePath();
        if (up == f)
            break;
        f = up;
    }
    for (const QString &make : std::as_const(missing)) {
        // mkdir() takes the umask off; the mode is set again so that it is 0700 under any umask.
        if (::mkdir(encoded(make).constData(), 0700) != 0 && errno != EEXIST)
            return false;
        if (highestMade->isEmpty())
            *highestMade = make;
        ::chmod(encoded(make).constData(), 0700);
    }
    return ::stat(encoded(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

void removeMadeFolders(const QString &folder, const QString &highestMade)
{
    if (highestMade.isEmpty())
        return;
    for (QString f = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
         ::rmdir(encoded(f).constData()) == 0 && f != highestMade; f = QFileInfo(f).absolutePath())
        ;
}

int makePrivateFolder(const QString &stem, QString *path)
{
    QByteArray name = encoded(stem + QStringLiteral("-XXXXXX"));
    if (!::mkdtemp(name.data()))
        return -1;
    *path = QFile::decodeName(name);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info = {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

bool holds(int dir, const QString &name, int fd)
{
    struct stat named = {}, held = {};
    return ::fstatat(dir, encoded(name).constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &held) == 0
        && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

int createFile(int dir, const QString &name)
{
    const int fd = ::openat(dir, encoded(name).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::fchmod(fd, 0600);
    return fd;
}

int openExisting(const QString &file)
{
    const int fd = ::open(encoded(file).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    struct stat info = {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

bool openedAgain(int fd, const QString &name)
{
    struct stat mine = {};
    if (::fstat(fd, &mine) != 0)
        return false;
    auto same = [&mine](const struct stat &other) {
        return other.st_dev == mine.st_dev && other.st_ino == mine.st_ino;
    };
    DIR *listing = ::opendir("/proc/self/fd");
    if (!listing) {
        struct stat named = {};
        return ::lstat(encoded(name).constData(), &named) == 0 && S_ISREG(named.st_mode) && same(named);
    }
    const int own = ::dirfd(listing);
    bool found = false;
    while (const dirent *entry = ::readdir(listing)) {
        char *end = nullptr;
        const long other = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || other == fd || other == own)
            continue;
        struct stat info = {};
        if (::fstat(int(other), &info) == 0 && same(info)) {
            found = true;
            break;
        }
    }
    ::closedir(listing);
    return found;
}

bool renameNew(int fromDir, const QString &from, int toDir, const QString &to)
{
    const QByteArray source = encoded(from), target = encoded(to);
    if (::renameat2(fromDir, source.constData(), toDir, target.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without RENAME_NOREPLACE: a new link fails on any name that is
    // there, and never follows one.
    if (::linkat(fromDir, source.constData(), toDir, target.constData(), 0) != 0)
        return false;
    ::unlinkat(fromDir, source.constData(), 0);
    return true;
}

} // namespace privatefiles
