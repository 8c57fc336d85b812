// Rows read and written straight through SQLite's C interface, without a
// conversion through Qt's types: the long reads of a check, and a tool's whole
// tables written into a new file.
#include "data/sqlite/sqlite_p.h"

#include <QSqlDriver>
#include <QSqlQuery>

namespace db::fileinternal {

namespace {

QSqlError noConnection()
{
    return QSqlError(QString(), QStringLiteral("no connection"), QSqlError::ConnectionError);
}

// The handle's last failure, with the extended code as Qt's driver reports it, for
// the operator's message.
QSqlError failureOf(sqlite3 *handle)
{
    return QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(handle)), QSqlError::StatementError,
                     QString::number(sqlite3_extended_errcode(handle)));
}

// A statement's rows straight from SQLite: its values as stored, text in UTF-8.
class SqliteStream final : public RowStream
{
public:
    SqliteStream(sqlite3 *handle, const QString &sql) : handle_(handle)
    {
        const QByteArray text = sql.toUtf8();
        if (!handle_) {
            error_ = noConnection();
            return;
        }
        if (sqlite3_prepare_v2(handle_, text.constData(), int(text.size()), &statement_, nullptr) != SQLITE_OK)
            error_ = failureOf(handle_);
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
            error_ = failureOf(handle_);
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
            error_ = noConnection();
        else if (sqlite3_prepare_v2(handle_, sql.constData(), int(sql.size()), &statement_, nullptr) != SQLITE_OK)
            error_ = failureOf(handle_);
    }
    ~SqliteSink() override { sqlite3_finalize(statement_); }
    bool add(const Value *values) override
    {
        if (!statement_ || error_.isValid())
            return false;
        for (int c = 0; c < count_; ++c) {
            if (bind(c, values[c]) != SQLITE_OK) {
                error_ = failureOf(handle_);
                return false;
            }
        }
        const int step = sqlite3_step(statement_);
        sqlite3_reset(statement_);
        if (step == SQLITE_DONE)
            return true;
        error_ = failureOf(handle_);
        return false;
    }
    bool finish() override { return statement_ && !error_.isValid(); }
    QSqlError error() const override { return error_; }

private:
    int bind(int column, const Value &value)
    {
        // The text stays where it is until the row is stepped, in add().
        switch (value.type) {
        case Value::Type::Integer: return sqlite3_bind_int64(statement_, column + 1, value.integer);
        case Value::Type::Real: return sqlite3_bind_double(statement_, column + 1, value.real);
        case Value::Type::Text:
            return sqlite3_bind_text(statement_, column + 1, value.text.isNull() ? "" : value.text.data(),
                                     int(value.text.size()), SQLITE_STATIC);
        case Value::Type::Null: break;
        }
        return sqlite3_bind_null(statement_, column + 1);
    }

    sqlite3 *handle_ = nullptr;
    sqlite3_stmt *statement_ = nullptr;
    int count_ = 0;
    QSqlError error_;
};

bool run(QSqlDatabase &database, const QStringList &statements, QSqlError *error)
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

} // namespace

sqlite3 *handleOf(const QSqlDatabase &database)
{
    if (!database.driver())
        return nullptr;
    const QVariant handle = database.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

std::unique_ptr<RowStream> streamOf(sqlite3 *handle, const QString &sql)
{
    return std::make_unique<SqliteStream>(handle, sql);
}

std::unique_ptr<RowSink> sinkOf(sqlite3 *handle, const QString &table, const QStringList &columns)
{
    return std::make_unique<SqliteSink>(handle, table, columns);
}

bool prepareBulkWrite(QSqlDatabase &database, bool newDatabase, QSqlError *error)
{
    // A larger cache spares re-reads while an index is built over all rows at once.
    QStringList pragmas{QStringLiteral("PRAGMA cache_size=-16384")};
    if (newDatabase)
        pragmas << QStringLiteral("PRAGMA journal_mode=MEMORY");
    return run(database, pragmas, error);
}

bool finishNewDatabase(QSqlDatabase &database, QSqlError *error)
{
    // The write-ahead log from the first opening on, as the program opens a file.
    return run(database, {QStringLiteral("PRAGMA journal_mode=WAL")}, error);
}

} // namespace db::fileinternal
