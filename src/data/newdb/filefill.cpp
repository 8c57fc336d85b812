#include "data/newdb/fill_p.h"

#include "data/engine/messages.h"
#include "data/engine/pool.h"
#include "data/base/privatefiles.h"
#include "data/sqlite/sqlitedialect.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// A new database file, built in a private folder and put at its name when
// finished; or an existing file, filled in place.
namespace db {

namespace filling {

namespace {

QString linkText(const QString &file)
{
    return QStringLiteral("%1 adalah tautan (symbolic link); database tidak pernah dibuka lewat tautan. "
                          "Sebutkan file yang sebenarnya.")
        .arg(shown(file));
}

class FileFill final : public PooledFill
{
public:
    explicit FileFill(const QString &file)
        : file_(QDir::cleanPath(QFileInfo(file).absoluteFilePath()))
        , folder_(QFileInfo(file_).absolutePath())
        , base_(QFileInfo(file_).fileName())
    { }
    ~FileFill() override { discard(); }

    QString location() const override { return file_; }

    bool inspect(bool *existing, QStringList *present, QString *error) override
    {
        present->clear();
        struct stat info = {};
        if (::lstat(QFile::encodeName(file_).constData(), &info) == 0) {
            if (S_ISLNK(info.st_mode)) {
                *error = linkText(file_);
                return false;
            }
            *existing = existing_ = true;
            return true;
        }
        for (const char *suffix : {"-wal", "-shm", "-journal"}) {
            // SQLite would take a journal left beside a new file for the new file's own.
            if (::lstat(QFile::encodeName(file_ + QLatin1String(suffix)).constData(), &info) == 0) {
                *error = QStringLiteral("File %1%2 tertinggal tanpa databasenya. Pindahkan file itu dulu, lalu ulangi.")
                             .arg(shown(file_), QLatin1String(suffix));
                return false;
            }
        }
        *existing = existing_ = false;
        return true;
    }

    bool begin(QString *error) override
    {
        if (existing_) {
            fd_ = privatefiles::openExisting(file_);
            if (fd_ < 0) {
                *error = errno == ELOOP ? linkText(file_) : notFoundText(file_);
                return false;
            }
            return open(file_, false, error) && start(true, error);
        }
        if (!privatefiles::makeFolders(folder_, &madeFrom_)) {
            *error = QStringLiteral("Folder %1 tidak bisa dibuat.").arg(shown(folder_));
            return false;
        }
        made_ = true;
        folderFd_ = ::open(QFile::encodeName(folder_).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        privateFd_ = folderFd_ < 0 ? -1 : privatefiles::makePrivateFolder(file_ + QStringLiteral(".sementara"), &private_);
        fd_ = privateFd_ < 0 ? -1 : privatefiles::createFile(privateFd_, base_);
        if (fd_ < 0) {
            *error = QStringLiteral("Folder %1 tidak bisa ditulis.").arg(shown(folder_));
            return false;
        }
        return open(building(), true, error) && start(false, error);
    }

    bool finish(QString *error) override
    {
        if (!commit(error))
            return false;
        close();
        if (existing_)
            return true;
        struct stat journal = {};
        if (::fstatat(privateFd_, QFile::encodeName(base_ + QStringLiteral("-wal")).constData(), &journal,
                      AT_SYMLINK_NOFOLLOW)
                == 0
            && journal.st_size > 0) {
            *error = QStringLiteral("Database baru tidak bisa diselesaikan (jurnal tidak kosong).");
            return false;
        }
        // The name in the private folder still holds the file made for it, written to disk.
        if (!privatefiles::holds(privateFd_, base_, fd_) || ::fsync(fd_) != 0) {
            *error = QStringLiteral("Database baru tidak bisa diselesaikan (file sementaranya berubah).");
            return false;
        }
        if (!privatefiles::renameNew(privateFd_, base_, folderFd_, base_)) {
            *error = QStringLiteral("Database baru tidak bisa dipindahkan ke %1 (apakah sudah ada file dengan nama itu?).")
                         .arg(shown(file_));
            return false;
        }
        ::fsync(folderFd_);
        finished_ = true;
        removePrivate();
        return true;
    }

    void discard() override
    {
        close();
        if (!finished_ && !private_.isEmpty()) {
            removePrivate();
            privatefiles::removeMadeFolders(folder_, madeFrom_);
        }
        for (int *fd : {&fd_, &privateFd_, &folderFd_}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    }

    QStringList leftovers() const override
    {
        if (private_.isEmpty())
            return {};
        QStringList all;
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            all << building() + QLatin1String(suffix);
        all << private_;
        if (!madeFrom_.isEmpty())
            for (QString f = folder_;; f = QFileInfo(f).absolutePath()) {
                all << f;
                if (f == madeFrom_ || f == QFileInfo(f).absolutePath())
                    break;
            }
        return all;
    }

private:
    QString building() const { return private_ + u'/' + base_; }

    // Opens the file by its name for SQLite, and makes sure that what SQLite opened
    // is the file held here, not one that a link put at the name meanwhile. The
    // descriptor held here stays open until SQLite has closed the file: closing
    // another descriptor of it would release SQLite's locks.
    bool open(const QString &file, bool allowCreate, QString *error)
    {
        if (!openSqliteFile(file, allowCreate, &name_, error))
            return false;
        if (privatefiles::openedAgain(fd_, file))
            return true;
        *error = linkText(file);
        return false;
    }

    void removePrivate()
    {
        if (privateFd_ < 0)
            return;
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            ::unlinkat(privateFd_, QFile::encodeName(base_ + QLatin1String(suffix)).constData(), 0);
        ::unlinkat(folderFd_, QFile::encodeName(QFileInfo(private_).fileName()).constData(), AT_REMOVEDIR);
        private_.clear();
    }

    const QString file_, folder_, base_;
    QString private_;  // the private folder the new file is built in
    QString madeFrom_; // the highest folder made for the file
    bool existing_ = false;
    bool finished_ = false;
    int fd_ = -1, privateFd_ = -1, folderFd_ = -1;
};

} // namespace

} // namespace filling

std::unique_ptr<Fill> Fill::intoFile(const QString &file)
{
    return std::make_unique<filling::FileFill>(file);
}

} // namespace db
