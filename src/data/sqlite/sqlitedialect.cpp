#include "data/sqlite/sqlitedialect.h"
#include "data/sqlite/sqlitemessages.h"

#include "data/base/trailnames.h"
#include "data/engine/connectiontext.h"
#include "data/engine/messages.h"
#include "data/base/privatefiles.h"
#include "data/base/passwords.h"
#include "data/engine/pool.h"
#include "data/base/sqlscript.h"

#include <QFileInfo>
#include <QUrl>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlRecord>

#include <sqlite3.h>

namespace db {

namespace {
// The triggers of file-rules.sql.
const QStringList kRuleTriggers{QStringLiteral("nabubg_isi_sah"), QStringLiteral("nabubg_tanggal"),
                                QStringLiteral("nabubg_nasabah"), QStringLiteral("nabubg_saldo"),
                                QStringLiteral("nabubg_kunci"),   QStringLiteral("nabubg_blokir"),
                                QStringLiteral("nabubg_koreksi"), QStringLiteral("nabubg_bagi_hasil"),
                                QStringLiteral("daftar_baru_sah"),
                                QStringLiteral("daftar_ubah_sah")};
} // namespace

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

sqlite3 *handleOf(const QSqlDatabase &database)
{
    if (!database.driver())
        return nullptr;
    const QVariant handle = database.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// A statement's rows straight from SQLite: its values as stored, text in UTF-8.
class SqliteStream final : public RowStream
{
public:
    SqliteStream(sqlite3 *handle, const QString &sql) : handle_(handle)
    {
        const QByteArray text = sql.toUtf8();
        if (!handle_) {
            error_ = QSqlError(QString(), QStringLiteral("no connection"), QSqlError::ConnectionError);
            return;
        }
        if (sqlite3_prepare_v2(handle_, text.constData(), int(text.size()), &statement_, nullptr) != SQLITE_OK)
            fail();
    }
    ~SqliteStream() override { sqlite3_finalize(statement_); }
    bool next() override
    {
        if (!statement_ || error_.isValid())
            return false;
        const int step = sqlite3_step(statement_);
        if (step == SQLITE_ROW)
            return true;
        if (step != SQLITE_DONE)
            fail();
        return false;
    }
    Value value(int column) const override
    {
        Value value;
        switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_NULL: break;
        case SQLITE_INTEGER:
            value.type = Value::Type::Integer;
            value.integer = sqlite3_column_int64(statement_, column);
            break;
        case SQLITE_FLOAT:
            value.type = Value::Type::Real;
            value.real = sqlite3_column_double(statement_, column);
            break;
        default:
            value.type = Value::Type::Text;
            value.text = QByteArrayView(reinterpret_cast<const char *>(sqlite3_column_text(statement_, column)),
                                        sqlite3_column_bytes(statement_, column));
            break;
        }
        return value;
    }
    QSqlError error() const override { return error_; }

private:
    void fail()
    {
        // The extended code, as Qt's driver reports it, for the operator's message.
        error_ = QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(handle_)), QSqlError::StatementError,
                           QString::number(sqlite3_extended_errcode(handle_)));
    }

    sqlite3 *handle_ = nullptr;
    sqlite3_stmt *statement_ = nullptr;
    QSqlError error_;
};

// Rows into one table through one statement prepared once, its values bound as
// the stream gave them (text in UTF-8, numbers as numbers).
class SqliteSink final : public RowSink
{
public:
    SqliteSink(sqlite3 *handle, const QString &table, const QStringList &columns)
        : handle_(handle)
        , count_(int(columns.size()))
    {
        const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                   .arg(table, columns.join(u','), QStringList(columns.size(), QStringLiteral("?")).join(u','))
                                   .toUtf8();
        if (!handle_)
            error_ = QSqlError(QString(), QStringLiteral("no connection"), QSqlError::ConnectionError);
        else if (sqlite3_prepare_v2(handle_, sql.constData(), int(sql.size()), &statement_, nullptr) != SQLITE_OK)
            fail();
    }
    ~SqliteSink() override { sqlite3_finalize(statement_); }
    bool add(const Value *values) override
    {
        if (!statement_ || error_.isValid())
            return false;
        for (int c = 0; c < count_; ++c) {
            const Value &value = values[c];
            // The text stays where it is until the row is stepped, here.
            const int bound = value.type == Value::Type::Integer ? sqlite3_bind_int64(statement_, c + 1, value.integer)
                : value.type == Value::Type::Real              ? sqlite3_bind_double(statement_, c + 1, value.real)
                : value.type == Value::Type::Text
                    ? sqlite3_bind_text(statement_, c + 1, value.text.isNull() ? "" : value.text.data(),
                                        int(value.text.size()), SQLITE_STATIC)
                    : sqlite3_bind_null(statement_, c + 1);
            if (bound != SQLITE_OK) {
                fail();
                return false;
            }
        }
        const int step = sqlite3_step(statement_);
        sqlite3_reset(statement_);
        if (step == SQLITE_DONE)
            return true;
        fail();
        return false;
    }
    bool finish() override { return statement_ && !error_.isValid(); }
    QSqlError error() const override { return error_; }

private:
    void fail()
    {
        error_ = QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(handle_)), QSqlError::StatementError,
                           QString::number(sqlite3_extended_errcode(handle_)));
    }

    sqlite3 *handle_ = nullptr;
    sqlite3_stmt *statement_ = nullptr;
    int count_ = 0;
    QSqlError error_;
};

class SqliteDialect final : public Dialect
{
public:
    bool countsTablesWhole() const override { return true; }
    QString describedLocation(const QString &connectionText) const override
    {
        return fileFromConnectionText(connectionText);
    }
    bool openFile(const QString &file, QString *connectionName, QString *error) const override
    {
        return openSqliteFile(file, false, connectionName, error);
    }
    // A file is named as the old program named its Access file.
    bool isProvider(const QString &provider) const override
    {
        return provider.startsWith(QLatin1String("Microsoft.Jet.OLEDB"), Qt::CaseInsensitive);
    }
    bool checkSource(const QString &, QString *) const override { return true; }
    std::optional<QString> fileOf(const QString &connectionText) const override
    {
        return fileFromConnectionText(connectionText);
    }
    bool open(const QString &connectionText, QString *connectionName, QString *error) const override
    {
        return openSqliteFile(fileFromConnectionText(connectionText), false, connectionName, error);
    }
    bool reopen(QSqlDatabase &, const QString &, QString *) const override { return true; }
    bool lost(const QSqlDatabase &) const override { return false; }
    bool mayKeepOpen(const QSqlDatabase &) const override { return false; }
    bool keepsStatements(const QSqlDatabase &database) const override
    {
        // Inside a transaction (a write): its statements are reset when it ends.
        sqlite3 *handle = handleOf(database);
        return handle && sqlite3_get_autocommit(handle) == 0;
    }

    QString keyColumn() const override { return QStringLiteral("rowid"); }
    bool keyIsColumn() const override { return false; }
    QString lastLedgerRowJoin() const override
    {
        // The row's key found down the index (which ends in the rowid), then the row
        // itself by its rowid.
        return QStringLiteral("LEFT JOIN nabubg AS akhir ON akhir.rowid = (SELECT terakhir.rowid FROM nabubg AS terakhir "
                              "WHERE terakhir.norekening = daftar.norekening AND terakhir.TANGGAL < ? "
                              "AND terakhir.rowid <= (SELECT batas.rowid FROM nabubg AS batas WHERE batas.TANGGAL < ? "
                              "ORDER BY batas.rowid DESC LIMIT 1) "
                              "ORDER BY terakhir.rowid DESC LIMIT 1)");
    }
    bool beginWrite(QSqlDatabase &database, QSqlError *error) const override
    {
        // Waits for, and then shuts out, every other writer of the file.
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("BEGIN IMMEDIATE")))
            return true;
        *error = query.lastError();
        return false;
    }
    bool writeLock(QSqlDatabase &, const QString &, const QString &, QSqlError *) const override
    {
        return true; // writers of a file never interleave
    }
    QString rowLockClause() const override { return {}; }
    bool isUniqueViolation(const QSqlError &error) const override
    {
        return error.nativeErrorCode() == QLatin1String("2067"); // SQLITE_CONSTRAINT_UNIQUE
    }
    QString columnTerm(const QString &quotedColumn, const QString &value, schema::Kind,
                       QVariantList *values) const override
    {
        *values << value;
        return QStringLiteral("%1 = ?").arg(quotedColumn);
    }
    bool fixHorizon(QSqlDatabase &database, const QString &table, const QString &key, Horizon *horizon,
                    QSqlError *error) const override
    {
        // Rows are committed in key order (one writer at a time takes the next key).
        *horizon = Horizon();
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT max(%1) FROM %2").arg(key, table)) || !query.next()) {
            *error = query.lastError();
            return false;
        }
        if (!query.value(0).isNull())
            horizon->top = query.value(0).toLongLong();
        return true;
    }

    bool relationNames(QSqlDatabase &database, QStringList *tables, QStringList *views,
                       QSqlError *error) const override
    {
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT type, name FROM sqlite_master"))) {
            *error = query.lastError();
            return false;
        }
        while (query.next()) {
            const QString type = query.value(0).toString();
            const QString name = query.value(1).toString().toLower();
            if (type == QLatin1String("view"))
                *views << name;
            else if (type == QLatin1String("table"))
                *tables << name;
        }
        if (query.lastError().isValid()) {
            *error = query.lastError();
            return false;
        }
        return true;
    }
    bool catalogEntry(QSqlDatabase &database, const QString &name, CatalogEntry *entry, bool *found,
                      QSqlError *error) const override
    {
        *found = false;
        Statement query;
        const bool prepared = prepare(&query, database,
                                      QStringLiteral("SELECT type, name FROM sqlite_master "
                                                     "WHERE type IN ('table', 'view') AND lower(name) = lower(?)"));
        query->addBindValue(name);
        if (!(prepared && query->exec())) {
            *error = query->lastError();
            return false;
        }
        if (!query->next()) {
            *error = query->lastError();
            return !error->isValid();
        }
        *entry = CatalogEntry();
        entry->isView = query->value(0).toString() == QLatin1String("view");
        entry->name = query->value(1).toString();
        query->finish();
        // A statement of its own: the one above may be kept for its next use.
        QSqlQuery columns(database);
        columns.setForwardOnly(true);
        if (!columns.exec(QStringLiteral("PRAGMA table_info(%1)").arg(schema::quoted(entry->name)))) {
            *error = columns.lastError();
            return false;
        }
        while (columns.next()) {
            entry->columns << columns.value(1).toString();
            entry->declared << columns.value(2).toString();
        }
        if (columns.lastError().isValid()) {
            *error = columns.lastError();
            return false;
        }
        *found = true;
        return true;
    }

    QStringList schemaStatements() const override
    {
        return QStringList{
            createTable(schema::daftar()),
            QStringLiteral("CREATE INDEX daftar_nama ON daftar (nama)"),
            createTable(schema::nabubg()),
            QStringLiteral("CREATE INDEX nabubg_norekening ON nabubg (norekening)"),
            createTable(schema::tpassword()),
            QStringLiteral("CREATE INDEX tpassword_user ON tpassword (\"user\")"),
            QStringLiteral("CREATE VIEW Qpass AS SELECT \"user\", \"password\" FROM tpassword ORDER BY rowid"),
        } + trailStatements();
    }

    QStringList trailStatements() const override
    {
        return QStringList{
                   QStringLiteral("CREATE TABLE jejak (nomor INTEGER PRIMARY KEY, waktu TEXT, zona TEXT, \"operator\" TEXT, "
                                  "peran TEXT, loket TEXT, alamat TEXT, tindakan TEXT, tabel TEXT, kunci INTEGER, "
                                  "norekening TEXT, rincian TEXT, isi TEXT, token TEXT, segel TEXT)"),
                   QStringLiteral("CREATE UNIQUE INDEX jejak_token ON jejak (token) WHERE token IS NOT NULL"),
                   QStringLiteral("CREATE INDEX jejak_tabel_kunci ON jejak (tabel, kunci)"),
                   QStringLiteral("CREATE INDEX jejak_waktu ON jejak (waktu)"),
               }
               + trailRuleStatements(true);
    }
    QStringList trailTriggers() const override
    {
        QStringList names{QStringLiteral("jejak_berurutan")};
        for (const char *table : {"nabubg", "jejak"})
            for (const char *event : {"update", "delete"})
                names << QStringLiteral("%1_hanya_ditambah_%2").arg(QLatin1String(table), QLatin1String(event));
        // The account blocks are kept as events too.
        names << QStringLiteral("blokir_hanya_ditambah_ubah") << QStringLiteral("blokir_hanya_ditambah_hapus");
        return names + kRuleTriggers;
    }
    bool triggersInForce(QSqlDatabase &database, QStringList *names, QSqlError *error) const override
    {
        names->clear();
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'trigger'"))) {
            *error = query.lastError();
            return false;
        }
        while (query.next())
            *names << query.value(0).toString();
        return true;
    }
    bool ownerRole(QSqlDatabase &, QString *role, QSqlError *) const override
    {
        role->clear();
        return true;
    }
    QStringList trailRuleStatements(bool enforced) const override
    {
        // The program numbers and seals the rows (audit.cpp) inside a transaction
        // that shuts out every other writer; the trigger refuses a number that is
        // not the next one, so that no writer can fork the chain.
        QStringList statements{
            enforced ? QStringLiteral("CREATE TRIGGER jejak_berurutan BEFORE INSERT ON jejak "
                                      "WHEN NEW.nomor IS NOT (SELECT coalesce(max(nomor), 0) + 1 FROM jejak) "
                                      "BEGIN SELECT RAISE(ABORT, 'jejak: nomor baris harus tepat sesudah nomor terakhir'); END")
                     : QStringLiteral("DROP TRIGGER IF EXISTS jejak_berurutan")};
        for (const auto &[table, message] : {std::pair{"nabubg", audit::kLedgerAppendOnly},
                                             std::pair{"jejak", audit::kTrailAppendOnly}}) {
            for (const char *event : {"UPDATE", "DELETE"}) {
                const QString name = QStringLiteral("%1_hanya_ditambah_%2").arg(QLatin1String(table), QString::fromLatin1(event).toLower());
                statements << (enforced ? QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 BEGIN SELECT RAISE(ABORT, '%4'); END")
                                              .arg(name, QLatin1String(event), QLatin1String(table), QString::fromUtf8(message))
                                        : QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name));
            }
        }
        return statements;
    }
    QStringList ruleStatements(bool enforced) const override
    {
        // Made anew, so that a file made by an earlier version takes the rules as they are now.
        if (enforced)
            return ruleStatements(false) + sqlscript::statements(QStringLiteral("file-rules"));
        QStringList statements;
        for (const QString &name : kRuleTriggers)
            statements << QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name);
        return statements;
    }
    bool awaitTrailWriters(QSqlDatabase &, QSqlError *) const override { return true; }
    bool sealsTrail() const override { return false; }
    std::unique_ptr<RowStream> stream(QSqlDatabase &database, const QString &sql) const override
    {
        return std::make_unique<SqliteStream>(handleOf(database), sql);
    }
    bool beginSnapshot(QSqlDatabase &database, QSqlError *error) const override
    {
        // A read transaction: its first read fixes the snapshot for all that follow.
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("BEGIN")))
            return true;
        *error = query.lastError();
        return false;
    }

    bool keepsTimeOfDay() const override { return true; }
    bool prepareBulkWrite(QSqlDatabase &database, bool newDatabase, QSqlError *error) const override
    {
        // A larger cache spares re-reads while an index is built over all rows at once.
        QStringList pragmas{QStringLiteral("PRAGMA cache_size=-16384")};
        if (newDatabase)
            pragmas << QStringLiteral("PRAGMA journal_mode=MEMORY");
        return run(database, pragmas, error);
    }
    bool finishNewDatabase(QSqlDatabase &database, QSqlError *error) const override
    {
        // The write-ahead log from the first opening on, as the program opens a file.
        return run(database, {QStringLiteral("PRAGMA journal_mode=WAL")}, error);
    }
    bool lockTables(QSqlDatabase &, const QStringList &, QSqlError *) const override
    {
        return true; // a write transaction on a file already keeps every other writer out
    }
    std::unique_ptr<RowSink> sink(QSqlDatabase &database, const QString &table,
                                  const QStringList &columns) const override
    {
        return std::make_unique<SqliteSink>(handleOf(database), table, columns);
    }
    bool keysGiven(QSqlDatabase &, const QString &, QSqlError *) const override
    {
        return true; // a new rowid is always past the largest
    }
    std::optional<QByteArray> unusablePassword() const override { return QByteArray(passwords::kUnusable); }

    // A file has no roles: only the supervisors' and settings' tables where missing.
    Outcome secureOperators(QSqlDatabase &database, RoleAccess *) const override
    {
        QSqlQuery query(database);
        const QStringList supervision = sqlscript::statements(QStringLiteral("file-supervision"));
        const Outcome remade = remakeRuns(database, supervision);
        if (!remade.isOk())
            return remade;
        for (const QString &statement : supervision)
            if (!query.exec(statement))
                return Outcome::failed(describeError(query.lastError(), database));
        // The passbook's prints.
        for (const QString &statement : sqlscript::statements(QStringLiteral("file-passbook")))
            if (!query.exec(statement))
                return Outcome::failed(describeError(query.lastError(), database));
        return Outcome::ok();
    }

    QString describeError(const QSqlError &error, const QSqlDatabase &database) const override
    {
        return describeFileError(error, location(database));
    }
    QString incompleteText(const QString &location, const QString &missing) const override
    {
        return fileIncompleteText(location, missing);
    }
    QString noTrailText(const QString &location, const QString &) const override
    {
        return fileNoTrailText(location);
    }

private:
    // An older file's month-end runs kept one run a month for good (bulan UNIQUE),
    // which SQLite cannot drop: there the table is made anew as the statements make
    // it, with every run it holds, before the statements make its index and
    // triggers (its old triggers go with the old table). The ledger's rule that
    // names the table keeps naming it (the rename leaves the triggers' text alone).
    Outcome remakeRuns(QSqlDatabase &database, const QStringList &statements) const
    {
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'bagi_hasil'")))
            return Outcome::failed(describeError(query.lastError(), database));
        const bool there = query.next();
        query.finish();
        const QSqlRecord record = database.record(QStringLiteral("bagi_hasil"));
        if (!there || record.contains(QStringLiteral("batal")))
            return Outcome::ok();
        const QString made = QStringLiteral("CREATE TABLE IF NOT EXISTS bagi_hasil (");
        QString create;
        for (const QString &statement : statements)
            if (statement.contains(made))
                create = QString(statement).replace(made, QStringLiteral("CREATE TABLE bagi_hasil_baru ("));
        if (create.isEmpty())
            return Outcome::failed(QStringLiteral("bagi_hasil: pernyataan pembuat tabel tidak ditemukan"));
        QStringList columns;
        for (int c = 0; c < record.count(); ++c)
            columns << schema::quoted(record.fieldName(c));
        const QString list = columns.join(QStringLiteral(", "));
        for (const QString &statement :
             {create,
              QStringLiteral("INSERT INTO bagi_hasil_baru (%1) SELECT %1 FROM bagi_hasil ORDER BY id").arg(list),
              QStringLiteral("DROP TABLE bagi_hasil"), QStringLiteral("PRAGMA legacy_alter_table = ON"),
              QStringLiteral("ALTER TABLE bagi_hasil_baru RENAME TO bagi_hasil"),
              QStringLiteral("PRAGMA legacy_alter_table = OFF")}) {
            if (!query.exec(statement)) {
                const QSqlError failure = query.lastError();
                query.exec(QStringLiteral("PRAGMA legacy_alter_table = OFF"));
                return Outcome::failed(describeError(failure, database));
            }
        }
        return Outcome::ok();
    }
    static bool run(QSqlDatabase &database, const QStringList &statements, QSqlError *error)
    {
        QSqlQuery query(database);
        for (const QString &statement : statements) {
            if (!query.exec(statement)) {
                *error = query.lastError();
                return false;
            }
        }
        return true;
    }
    static QString columnType(schema::Kind kind)
    {
        switch (kind) {
        case schema::Kind::Text: return QStringLiteral("TEXT");
        case schema::Kind::Number: return QStringLiteral("DOUBLE");
        case schema::Kind::Date: return QStringLiteral("DATE");
        }
        return QStringLiteral("TEXT");
    }
    static QString createTable(const schema::Table &table)
    {
        QStringList columns;
        for (const schema::Column &column : table.columns) {
            QString definition = schema::quoted(column.name) + u' ' + columnType(column.kind);
            // An account number identifies a customer: never empty, at most 10 characters, unique.
            if (&table == &schema::daftar() && column.name == QLatin1String("norekening"))
                definition += QStringLiteral(" NOT NULL UNIQUE CHECK (length(norekening) BETWEEN 1 AND 10)");
            columns << definition;
        }
        return QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
    }
};

} // namespace

const Dialect &sqliteDialect()
{
    static const SqliteDialect dialect;
    return dialect;
}

bool openSqliteFile(const QString &file, bool allowCreate, QString *connectionName, QString *error)
{
    if (!allowCreate) {
        // A folder or a FIFO at the name is named as such (and a FIFO is never opened).
        if (const QString problem = placeProblemText(file); !problem.isEmpty()) {
            *error = problem;
            return false;
        }
        if (tooSmallForSqlite(file)) {
            *error = notSqliteText(file);
            return false;
        }
    }
    const pool::SessionOptions &options = pool::sessionOptions();
    QString name;
    bool ok = true;
    {
        QSqlDatabase database = pool::add(QStringLiteral("QSQLITE"), &sqliteDialect(), file, file, &name);
        database.setDatabaseName(file);
        QString connectOptions = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(options.busyTimeout);
        if (options.readOnly && !allowCreate)
            connectOptions += QStringLiteral(";QSQLITE_OPEN_READONLY");
        database.setConnectOptions(connectOptions);
        QSqlError failure;
        if (!database.open()) {
            *error = describeFileError(database.lastError(), file);
            ok = false;
        } else if (!allowCreate && !readsAsSqlite(database, &failure)
                   && !(options.readOnly && readsUnchangeable(database, file, &failure))) {
            const int code = failure.nativeErrorCode().toInt() & 0xff;
            *error = code == 26 || code == 11 ? notSqliteText(file) : describeFileError(failure, file); // NOTADB, CORRUPT
            ok = false;
        } else if (!makeDurable(database, file, allowCreate, error)) {
            ok = false;
        }
    }
    if (!ok) {
        closeConnection(name);
        return false;
    }
    *connectionName = name;
    return true;
}

} // namespace db
