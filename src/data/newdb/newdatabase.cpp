#include "data/newdb/newdatabase.h"

#include "data/trail/audit.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/operators/operators.h"
#include "data/base/passwords.h"
#include "data/engine/pool.h"
#include "data/trail/registertrail.h"
#include "data/postgres/postgresdialect.h"
#include "data/base/privatefiles.h"
#include "data/sqlite/sqlitedialect.h"
#include "data/base/sqlscript.h"
#include "data/operators/supervision.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db {

bool runAll(QSqlDatabase &database, const QStringList &statements, QString *error)
{
    QSqlQuery query(database);
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            *error = describeError(query.lastError(), database);
            return false;
        }
    }
    return true;
}

QStringList superuserStatements()
{
    return sqlscript::statements(QStringLiteral("superuser"));
}

namespace {

bool makesIndex(const QString &statement)
{
    return statement.startsWith(QLatin1String("CREATE INDEX"), Qt::CaseInsensitive)
        || statement.startsWith(QLatin1String("CREATE UNIQUE INDEX"), Qt::CaseInsensitive);
}

QString shown(const QString &file)
{
    return QDir::toNativeSeparators(file);
}

QString linkText(const QString &file)
{
    return QStringLiteral("%1 adalah tautan (symbolic link); database tidak pernah dibuka lewat tautan. "
                          "Sebutkan file yang sebenarnya.")
        .arg(shown(file));
}

// What every kind of place shares: the connection and the one transaction.
class PooledFill : public Fill
{
public:
    QSqlDatabase database() const override { return QSqlDatabase::database(name_, false); }

protected:
    // Begins the transaction. An existing database must have all the program's
    // tables; a new one gets them, its indexes kept for commit().
    bool start(bool existing, QString *error)
    {
        QSqlDatabase connection = database();
        const Dialect &engine = dialect(connection);
        if (existing && !verifyOpen(connection, error))
            return false;
        QSqlError failure;
        if (!engine.prepareBulkWrite(connection, !existing, &failure) || !beginWrite(connection, &failure)) {
            *error = describeError(failure, connection);
            return false;
        }
        pending_ = true;
        if (existing) {
            // The rows come in as they were (an old program's dates and amounts):
            // the rules of a clerk's rows are lifted until the commit puts them back.
            if (engine.lockTables(connection, {QStringLiteral("daftar"), QStringLiteral("nabubg"),
                                               QStringLiteral("tpassword")},
                                  &failure))
                return runAll(connection, engine.ruleStatements(false), error);
            *error = describeError(failure, connection);
            return false;
        }
        QStringList first;
        for (const QString &statement : engine.schemaStatements())
            (makesIndex(statement) ? indexes_ : first) << statement;
        if (!runAll(connection, first, error))
            return false;
        const Outcome secured = operators::secure(connection, &access_);
        if (!secured.isOk())
            *error = secured.message();
        return secured.isOk();
    }

    bool commit(QString *error)
    {
        QSqlDatabase connection = database();
        if (!runAll(connection, indexes_, error) || !runAll(connection, dialect(connection).ruleStatements(true), error)
            || !runAll(connection, {QStringLiteral("COMMIT")}, error))
            return false;
        pending_ = false;
        QSqlError failure;
        if (made_ && !dialect(connection).finishNewDatabase(connection, &failure)) {
            *error = describeError(failure, connection);
            return false;
        }
        return true;
    }

    void close()
    {
        if (pending_)
            QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
        pending_ = false;
        closeConnection(name_);
        name_.clear();
    }

    QString name_;
    bool pending_ = false;
    bool made_ = false; // a new database
    QStringList indexes_;
};

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

class ServerFill final : public PooledFill
{
public:
    explicit ServerFill(const QString &service)
        : service_(service)
    { }
    ~ServerFill() override { discard(); }

    QString location() const override { return serverLocation(service_); }

    bool inspect(bool *existing, QStringList *present, QString *error) override
    {
        QString problem;
        if (!checkConnectionText(serviceConnectionText(service_), &problem)) {
            *error = QStringLiteral("Nama layanan tidak sah: %1.").arg(problem);
            return false;
        }
        if (name_.isEmpty() && !openServerAsService(service_, &name_, error))
            return false;
        QSqlDatabase connection = database();
        QSqlError failure;
        present->clear();
        if (!presentRelations(connection, present, &failure)) {
            *error = describeError(failure, connection);
            return false;
        }
        *existing = existing_ = !present->isEmpty();
        return true;
    }

    bool begin(QString *error) override
    {
        made_ = !existing_;
        return (!name_.isEmpty() || openServerAsService(service_, &name_, error)) && start(existing_, error);
    }

    bool finish(QString *error) override
    {
        if (!commit(error))
            return false;
        close();
        return true;
    }

    void discard() override { close(); }
    QStringList leftovers() const override { return {}; }

private:
    const QString service_;
    bool existing_ = false;
};

// Fills a new database with one first operator.
bool createWithOperator(Fill &fill, const QString &user, const QString &password, const QString &existingText,
                        QString *error)
{
    if (const std::optional<QString> problem = operators::nameProblem(user)) {
        *error = *problem;
        return false;
    }
    bool existing = false;
    QStringList present;
    if (!fill.inspect(&existing, &present, error))
        return false;
    if (existing) {
        *error = present.isEmpty() ? existingText.arg(shown(fill.location()))
                                   : existingText.arg(shown(fill.location()), present.join(QStringLiteral(", ")));
        return false;
    }
    if (!fill.begin(error))
        return false;
    {
        // The statement ends before the Fill closes the connection.
        QSqlDatabase database = fill.database();
        qint64 key = 0;
        // The first operator is a supervisor: someone must be able to approve and
        // to name the others' kinds.
        Outcome made = operators::insert(database, user, password, &key);
        if (made.isOk())
            made = supervision::setKind(database, key, user, supervision::Kind::Supervisor);
        if (!made.isOk()) {
            *error = made.message();
            return false;
        }
        // The operator's addition is the first row of the audit trail.
        audit::Entry entry;
        entry.tindakan = QLatin1String(audit::action::kOperatorAdded);
        entry.tabel = QStringLiteral("tpassword");
        entry.kunci = key;
        entry.rincian = audit::detail(QStringLiteral("user"), user) + u'\n'
            + audit::detail(QStringLiteral("jenis"), supervision::kindText(supervision::Kind::Supervisor));
        const Outcome recorded = audit::append(database, entry);
        if (!recorded.isOk()) {
            *error = recorded.message();
            return false;
        }
    }
    return fill.finish(error);
}

} // namespace

std::unique_ptr<Fill> Fill::intoFile(const QString &file)
{
    return std::make_unique<FileFill>(file);
}

std::unique_ptr<Fill> Fill::intoService(const QString &service)
{
    return std::make_unique<ServerFill>(service);
}

bool createDatabase(const QString &file, const QString &user, const QString &password, QString *error)
{
    FileFill fill(file);
    return createWithOperator(
        fill, user, password,
        QStringLiteral("File %1 sudah ada; simparo-initdb tidak menyentuh database yang sudah ada."), error);
}

bool createServerDatabase(const QString &service, const QString &user, const QString &password, QString *error)
{
    return createServerDatabase(service, user, password, nullptr, error);
}

bool createServerDatabase(const QString &service, const QString &user, const QString &password,
                          operators::Access *access, QString *error)
{
    ServerFill fill(service);
    if (access)
        fill.access() = *access;
    const bool made = createWithOperator(fill, user, password,
                                         QStringLiteral("Database di %1 sudah berisi %2; simparo-initdb tidak "
                                                        "menyentuh database yang sudah ada."),
                                         error);
    if (access)
        *access = fill.access();
    return made;
}

bool upgradeDatabase(const QString &connectionText, audit::Coverage *covered, QString *error)
{
    operators::Access access;
    bool installed = false;
    return upgradeDatabase(connectionText, &access, covered, &installed, error);
}

bool upgradeDatabase(const QString &connectionText, operators::Access *access, audit::Coverage *covered,
                     bool *trailInstalled, QString *error)
{
    *trailInstalled = false;
    *covered = audit::Coverage();
    // The owner's work: as the role the service names, whoever logged in.
    QString name;
    if (!openServiceConnection(connectionText, &name, error))
        return false;
    bool ok = false;
    {
        QSqlDatabase database = connection(name);
        const Dialect &engine = dialect(database);
        QSqlQuery query(database);
        QStringList missing;
        QSqlError failure;
        bool trail = false;
        if (!missingRelations(database, &missing, &failure) || !hasTrail(database, &trail, &failure)) {
            *error = describeError(failure, database);
        } else if (!missing.isEmpty()) {
            *error = engine.incompleteText(location(database), missing.join(QStringLiteral(", ")));
        } else if (!beginWrite(database, &failure)) {
            *error = describeError(failure, database);
        } else {
            // The trail's statements keep every writer of nabubg out until the
            // commit, so the rows covered are all the rows there are.
            ok = true;
            if (!trail) {
                for (const QString &statement : engine.trailStatements()) {
                    if (!query.exec(statement)) {
                        *error = describeError(query.lastError(), database);
                        ok = false;
                        break;
                    }
                }
            }
            Outcome outcome = ok && !trail ? audit::coverLedger(database, covered) : Outcome::ok();
            if (ok && !trail && outcome.isOk()) {
                audit::Entry entry;
                entry.tindakan = QLatin1String(audit::action::kTrailInstalled);
                entry.tabel = QStringLiteral("nabubg");
                // The register's rows as they stand are recorded the same way.
                audit::RegisterCoverage customers;
                outcome = audit::coverRegister(database, &customers);
                entry.rincian = audit::coverageDetails(*covered) + u'\n' + audit::registerCoverageDetails(customers);
                if (outcome.isOk())
                    outcome = audit::append(database, entry);
            }
            if (ok && outcome.isOk())
                outcome = operators::secure(database, access);
            if (ok && outcome.isOk()) {
                QString failed;
                if (!runAll(database, engine.ruleStatements(true), &failed))
                    outcome = Outcome::failed(failed);
            }
            if (!outcome.isOk()) {
                *error = outcome.message();
                ok = false;
            }
            if (!endWrite(database, ok, &failure) && ok) {
                *error = describeError(failure, database);
                ok = false;
            }
            *trailInstalled = ok && !trail;
        }
    }
    closeConnection(name);
    return ok;
}

} // namespace db
