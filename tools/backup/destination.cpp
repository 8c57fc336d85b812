#include "destination.h"

#include "sqlitecopy.h"
#include "data/base/privatefiles.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace backupcopy {

namespace {

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

// True when the file is a copy as this tool makes them: a regular file (not a
// link) that SQLite reads as a database with the program's tables.
bool isOwnCopy(int folder, const QString &folderPath, const QString &name)
{
    struct stat info = {};
    if (::fstatat(folder, QFile::encodeName(name).constData(), &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode))
        return false;
    // Read as it lies, without a lock, a journal or any write, and never through a link.
    const QByteArray uri = "file:" + QUrl::toPercentEncoding(QDir(folderPath).filePath(name), "/") + "?immutable=1";
    Connection copy;
    if (sqlite3_open_v2(uri.constData(), &copy.handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOFOLLOW,
                        nullptr)
        != SQLITE_OK)
        return false;
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(copy.handle,
                           "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN ('daftar', 'nabubg', 'tpassword')",
                           -1, &statement, nullptr)
        != SQLITE_OK)
        return false;
    const bool tables = sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_int(statement, 0) == 3;
    sqlite3_finalize(statement);
    return tables;
}

} // namespace

Workshop::~Workshop()
{
    if (file_ >= 0)
        ::close(file_);
    if (private_ >= 0) {
        for (const char *suffix : {"", "-journal", "-wal", "-shm"})
            ::unlinkat(private_, QFile::encodeName(name_ + QLatin1String(suffix)).constData(), 0);
        ::unlinkat(folder_, QFile::encodeName(QFileInfo(path_).fileName()).constData(), AT_REMOVEDIR);
        ::close(private_);
    }
    if (folder_ >= 0)
        ::close(folder_);
}

int Workshop::open(const QString &folder, const QString &name)
{
    name_ = name;
    folder_ = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0)
        return errno;
    private_ = privatefiles::makePrivateFolder(QDir(folder).filePath(u'.' + name + QStringLiteral(".part")), &path_);
    if (private_ < 0)
        return errno ? errno : EACCES;
    file_ = privatefiles::createFile(private_, name);
    return file_ < 0 ? errno : 0;
}

bool Workshop::taken() const
{
    struct stat info = {};
    return ::fstatat(folder_, QFile::encodeName(name_).constData(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool Workshop::finish()
{
    for (const char *suffix : {"-journal", "-wal", "-shm"})
        ::unlinkat(private_, QFile::encodeName(name_ + QLatin1String(suffix)).constData(), 0);
    if (!privatefiles::holds(private_, name_, file_) || ::fsync(file_) != 0
        || !privatefiles::renameNew(private_, name_, folder_, name_))
        return false;
    ::fsync(folder_);
    return true;
}

void keepNewest(int folder, const QString &folderPath, const QString &base, const QString &justMade, int keep,
                const std::function<void(const QString &line, bool failed)> &tell)
{
    const QRegularExpression pattern(QStringLiteral("^%1-(\\d{4}-\\d{2}-\\d{2}_\\d{6})\\.sqlite$")
                                         .arg(QRegularExpression::escape(base)));
    const QDateTime madeAt =
        QDateTime::fromString(pattern.match(justMade).captured(1), QStringLiteral("yyyy-MM-dd_HHmmss"));
    QList<QPair<QDateTime, QString>> copies;
    for (const QString &name : QDir(folderPath).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QRegularExpressionMatch match = pattern.match(name);
        if (name == justMade || !match.hasMatch())
            continue;
        const QDateTime stamp = QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd_HHmmss"));
        if (stamp.isValid() && stamp <= madeAt && isOwnCopy(folder, folderPath, name))
            copies.append({stamp, name});
    }
    std::sort(copies.begin(), copies.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    for (qsizetype i = keep - 1; i < copies.size(); ++i) {
        const QString oldest = QDir(folderPath).filePath(copies.at(i).second);
        if (::unlinkat(folder, QFile::encodeName(copies.at(i).second).constData(), 0) == 0)
            tell(QStringLiteral("Cadangan lama dihapus: %1").arg(native(oldest)), false);
        else
            tell(QStringLiteral("Cadangan lama %1 tidak bisa dihapus.").arg(native(oldest)), true);
    }
}

} // namespace backupcopy
