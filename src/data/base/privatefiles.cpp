#include "data/base/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

namespace {
QString kindText(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("FIFO (pipa bernama)");
    if (S_ISSOCK(mode))
        return QStringLiteral("soket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("perangkat");
    return QStringLiteral("bukan file biasa");
}
} // namespace

QString otherThanFile(const QString &file)
{
    struct stat info = {};
    if (::stat(encoded(file).constData(), &info) != 0 || S_ISREG(info.st_mode))
        return {};
    return kindText(info.st_mode);
}

SmallFile readSmallFile(const QString &file, qint64 maxBytes, QByteArray *content, QString *reason)
{
    content->clear();
    struct stat info = {};
    if (::stat(encoded(file).constData(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return SmallFile::Missing;
        *reason = QStringLiteral("file tidak bisa dibaca (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return SmallFile::Refused;
    }
    // Looked at before it is opened: opening a FIFO for reading waits for a writer.
    if (!S_ISREG(info.st_mode)) {
        *reason = QStringLiteral("yang ada di sana %1, bukan file biasa").arg(kindText(info.st_mode));
        return SmallFile::Refused;
    }
    const auto tooLarge = [&] {
        *reason = QStringLiteral("file lebih besar dari %1 byte").arg(maxBytes);
        return SmallFile::Refused;
    };
    if (info.st_size > maxBytes)
        return tooLarge();
    // Opened without waiting, and looked at again: what was put at the name meanwhile counts.
    const int fd = ::open(encoded(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *reason = fd < 0 ? QStringLiteral("file tidak bisa dibaca (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)))
                         : QStringLiteral("yang ada di sana %1, bukan file biasa").arg(kindText(info.st_mode));
        if (fd >= 0)
            ::close(fd);
        return SmallFile::Refused;
    }
    QByteArray bytes(maxBytes + 1, Qt::Uninitialized);
    qint64 read = 0;
    while (read < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + read, size_t(bytes.size() - read));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *reason = QStringLiteral("file tidak bisa dibaca (%1)").arg(QString::fromLocal8Bit(std::strerror(errno)));
            ::close(fd);
            return SmallFile::Refused;
        }
        if (n == 0)
            break;
        read += n;
    }
    ::close(fd);
    if (read > maxBytes)
        return tooLarge();
    bytes.truncate(read);
    *content = bytes;
    return SmallFile::Read;
}

bool unwritablePlace(const QString &file)
{
    struct statvfs volume = {};
    if (::statvfs(encoded(file).constData(), &volume) == 0 && (volume.f_flag & ST_RDONLY))
        return true;
    return ::access(encoded(file).constData(), W_OK) != 0
        && ::access(encoded(QFileInfo(file).absolutePath()).constData(), W_OK) != 0;
}

bool replaceFile(const QString &file, const QByteArray &content, QString *error)
{
    const QString folder = QFileInfo(file).absolutePath();
    const QString name = QFileInfo(file).fileName();
    QString madeFrom;
    const auto failed = [&](const QString &what) {
        *error = QStringLiteral("%1 %2 tidak bisa ditulis (%3).")
                     .arg(what, QDir::toNativeSeparators(what == QLatin1String("Folder") ? folder : file),
                          QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    };
    if (!makeFolders(folder, &madeFrom))
        return failed(QStringLiteral("Folder"));
    const int dir = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return failed(QStringLiteral("Folder"));
    const QString temporary = QStringLiteral(".%1.%2.baru").arg(name).arg(::getpid());
    ::unlinkat(dir, encoded(temporary).constData(), 0);
    const int fd = createFile(dir, temporary);
    bool ok = fd >= 0;
    for (qsizetype written = 0; ok && written < content.size();) {
        const ssize_t n = ::write(fd, content.constData() + written, size_t(content.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        written += std::max<ssize_t>(n, 0);
    }
    ok = ok && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    ok = ok && ::renameat(dir, encoded(temporary).constData(), dir, encoded(name).constData()) == 0;
    const int cause = errno;
    if (!ok)
        ::unlinkat(dir, encoded(temporary).constData(), 0);
    else
        ::fsync(dir);
    ::close(dir);
    errno = cause;
    return ok || failed(QStringLiteral("File"));
}

} // namespace privatefiles
