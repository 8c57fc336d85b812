// Opening a SQLite file as a pooled connection: only a file that is one, and only
// when its writes are committed durably.
#include "data/sqlite/sqlitedialect.h"

#include "data/base/privatefiles.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"
#include "data/sqlite/sqlitemessages.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <QUrl>

namespace db {

namespace {

// A file too small to hold a database's first page (an empty file is what SQLite
// itself makes of a new database) holds none. Only its size is looked at: the
// process never opens the database file but through SQLite, since closing any
// other handle on it would drop the locks SQLite holds on it for every connection
// of the process (POSIX locks belong to the process), and another program (a
// backup, a check) ending could then take the write-ahead log away from under them.
bool tooSmallForSqlite(const QString &file)
{
    return QFileInfo(file).size() < 512;
}

// A name that holds no database is refused before it is opened.
bool namesDatabase(const QString &file, QString *error)
{
    // A folder or a FIFO at the name is named as such (and a FIFO is never opened).
    if (const QString problem = placeProblemText(file); !problem.isEmpty()) {
        *error = problem;
        return false;
    }
    if (tooSmallForSqlite(file)) {
        *error = notSqliteText(file);
        return false;
    }
    return true;
}

// The first read of a file that is not a SQLite database fails with NOTADB (or CORRUPT).
bool readsAsSqlite(QSqlDatabase &database, QSqlError *error)
{
    QSqlQuery query(database);
    if (query.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
        return true;
    *error = query.lastError();
    return false;
}

// Every write is committed when it is made and survives a power cut; a connection
// on which that cannot be had is refused.
bool makeDurable(QSqlDatabase &database, const QString &file, bool allowCreate, QString *error)
{
    const pool::SessionOptions &options = pool::sessionOptions();
    QSqlQuery pragma(database);
    if (!pragma.exec(options.lessDurable ? QStringLiteral("PRAGMA synchronous=NORMAL")
                                         : QStringLiteral("PRAGMA synchronous=FULL"))) {
        *error = describeFileError(pragma.lastError(), file);
        return false;
    }
    // Each screen holds a connection for as long as it is open; the system's file
    // cache keeps the pages warm, so each needs only a small cache.
    pragma.exec(QStringLiteral("PRAGMA cache_size=-512"));
    // A new file gets its journal from its maker, once it is filled.
    if (!allowCreate && options.writeAheadLog && !options.readOnly && pragma.exec(QStringLiteral("PRAGMA journal_mode"))
        && pragma.next() && pragma.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        // Without the write-ahead log (another program holds the file, or its file
        // system has no shared memory) the rollback journal serves; writes work either way.
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    }
    if (!pragma.exec(QStringLiteral("PRAGMA synchronous")) || !pragma.next()) {
        *error = describeFileError(pragma.lastError(), file);
        return false;
    }
    if (pragma.value(0).toInt() < 2 && !allowCreate) {
        *error = unsafeFileText(file);
        return false;
    }
    return true;
}

// A read-only connection to a file in the write-ahead log's mode needs its -shm
// file, which a read-only disk (one remounted read-only after errors, say) cannot
// get. When the file system is read-only, or neither the file nor its folder may
// be written, and no log holds commits beside the file, nothing can change it
// while it is read: it is opened as unchangeable (SQLite's immutable), without
// the -shm file.
bool readsUnchangeable(QSqlDatabase &database, const QString &file, QSqlError *error)
{
    const int code = error->nativeErrorCode().toInt() & 0xff;
    if ((code != 14 && code != 8) || !privatefiles::unwritablePlace(file) // CANTOPEN, READONLY
        || QFileInfo(file + QStringLiteral("-wal")).size() > 0)
        return false;
    database.close();
    database.setDatabaseName(QStringLiteral("file:%1?immutable=1")
                                 .arg(QString::fromLatin1(QUrl::toPercentEncoding(file, "/"))));
    database.setConnectOptions(database.connectOptions() + QStringLiteral(";QSQLITE_OPEN_URI"));
    return database.open() && readsAsSqlite(database, error);
}

// Opens the connection on the file: an existing file must read as a SQLite
// database (a read-only one, if need be, as unchangeable), and every file must
// write durably.
bool openDurably(QSqlDatabase &database, const QString &file, bool allowCreate, QString *error)
{
    const pool::SessionOptions &options = pool::sessionOptions();
    database.setDatabaseName(file);
    QString connectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(options.busyTimeout);
    if (options.readOnly && !allowCreate)
        connectOptions += QStringLiteral(";QSQLITE_OPEN_READONLY");
    database.setConnectOptions(connectOptions);
    if (!database.open()) {
        *error = describeFileError(database.lastError(), file);
        return false;
    }
    QSqlError failure;
    if (!allowCreate && !readsAsSqlite(database, &failure)
        && !(options.readOnly && readsUnchangeable(database, file, &failure))) {
        const int code = failure.nativeErrorCode().toInt() & 0xff;
        *error = code == 26 || code == 11 ? notSqliteText(file) : describeFileError(failure, file); // NOTADB, CORRUPT
        return false;
    }
    return makeDurable(database, file, allowCreate, error);
}

} // namespace

bool openSqliteFile(const QString &file, bool allowCreate, QString *connectionName, QString *error)
{
    if (!allowCreate && !namesDatabase(file, error))
        return false;
    QString name;
    bool ok = true;
    {
        QSqlDatabase database = pool::add(QStringLiteral("QSQLITE"), &sqliteDialect(), file, file, &name);
        ok = openDurably(database, file, allowCreate, error);
    }
    if (!ok) {
        closeConnection(name);
        return false;
    }
    *connectionName = name;
    return true;
}

} // namespace db
