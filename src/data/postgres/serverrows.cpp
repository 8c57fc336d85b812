#include "data/postgres/postgresdialect.h"
#include "data/postgres/serverinternal.h"

#include "data/engine/connectiontext.h"
#include "data/postgres/linkwatch.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"
#include "data/postgres/postgresoperators.h"
#include "data/postgres/serversettings.h"
#include "data/base/sqlscript.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QThread>
#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

#include <cerrno>
#include <poll.h>

#include <libpq-fe.h>

namespace db::serverinternal {

namespace {

// A statement's rows straight from libpq, one row at a time (single-row mode),
// on the connection Qt's driver holds: integers and floating numbers read from
// their text, every other value as its text in UTF-8 (the session's encoding).
class PostgresStream final : public RowStream
{
public:
    PostgresStream(PGconn *connection, const QString &sql) : connection_(connection)
    {
        if (!connection_ || !PQsendQuery(connection_, sql.toUtf8().constData()) || !PQsetSingleRowMode(connection_)) {
            error_ = QSqlError(QString(), connection_ ? QString::fromUtf8(PQerrorMessage(connection_)) : QString(),
                               QSqlError::ConnectionError);
            drain();
        }
    }
    ~PostgresStream() override
    {
        PQclear(row_);
        drain();
    }
    bool next() override
    {
        PQclear(row_);
        row_ = nullptr;
        if (done_)
            return false;
        PGresult *result = PQgetResult(connection_);
        switch (result ? PQresultStatus(result) : PGRES_TUPLES_OK) {
        case PGRES_SINGLE_TUPLE:
            row_ = result;
            return true;
        case PGRES_TUPLES_OK:
            PQclear(result);
            drain();
            return false;
        default:
            error_ = QSqlError(QString(), QString::fromUtf8(PQresultErrorMessage(result)).trimmed(),
                               QSqlError::StatementError,
                               QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)));
            PQclear(result);
            drain();
            return false;
        }
    }
    Value value(int column) const override
    {
        Value value;
        if (!row_ || PQgetisnull(row_, 0, column))
            return value;
        value.type = Value::Type::Text;
        value.text = QByteArrayView(PQgetvalue(row_, 0, column), PQgetlength(row_, 0, column));
        bool ok = false;
        switch (PQftype(row_, column)) {
        case 20: case 21: case 23: // int8, int2, int4
            value.integer = value.text.toLongLong(&ok);
            value.type = ok ? Value::Type::Integer : Value::Type::Text;
            break;
        case 700: case 701: // float4, float8: their text gives back the same number
            value.real = value.text.toDouble(&ok);
            value.type = ok ? Value::Type::Real : Value::Type::Text;
            break;
        default:
            break;
        }
        return value;
    }
    QSqlError error() const override { return error_; }

private:
    // Reads what is left of the statement's results, so that the connection is idle again.
    void drain()
    {
        if (done_ || !connection_)
            return;
        while (PGresult *rest = PQgetResult(connection_))
            PQclear(rest);
        done_ = true;
    }

    PGconn *connection_;
    PGresult *row_ = nullptr;
    bool done_ = false;
    QSqlError error_;
};

// Rows into one table through COPY ... FROM STDIN in its text form, sent in large
// pieces: one statement for the whole table. Keys given for the identity column
// are stored as they are. The table is one made in the same transaction, so its
// rows are stored frozen, as a later read would otherwise mark them one page at
// a time (the first read of a freshly loaded table writes it all again).
class PostgresSink final : public RowSink
{
public:
    PostgresSink(PGconn *connection, const QString &table, const QStringList &columns)
        : connection_(connection)
        , count_(int(columns.size()))
    {
        if (!connection_) {
            error_ = QSqlError(QString(), QString(), QSqlError::ConnectionError);
            return;
        }
        PGresult *result = PQexec(connection_, QStringLiteral("COPY %1 (%2) FROM STDIN WITH (FREEZE)").arg(table, columns.join(u',')).toUtf8().constData());
        if (PQresultStatus(result) == PGRES_COPY_IN)
            copying_ = true;
        else
            fail(result);
        PQclear(result);
        buffer_.reserve(kPiece + 4096);
    }
    ~PostgresSink() override
    {
        if (copying_) {
            // Given up half way: the server refuses the COPY, the transaction is rolled back.
            PQputCopyEnd(connection_, "dibatalkan");
            while (PGresult *rest = PQgetResult(connection_))
                PQclear(rest);
        }
    }
    bool add(const Value *values) override
    {
        if (!copying_)
            return false;
        for (int c = 0; c < count_; ++c) {
            if (c > 0)
                buffer_.append('\t');
            const Value &value = values[c];
            switch (value.type) {
            case Value::Type::Null: buffer_.append("\\N", 2); break;
            case Value::Type::Integer: buffer_.append(QByteArray::number(value.integer)); break;
            case Value::Type::Real: {
                char text[32];
                const auto end = std::to_chars(text, text + sizeof text, value.real).ptr;
                buffer_.append(text, end - text);
                break;
            }
            case Value::Type::Text:
                for (const char ch : value.text) {
                    switch (ch) {
                    case '\\': buffer_.append("\\\\", 2); break;
                    case '\n': buffer_.append("\\n", 2); break;
                    case '\r': buffer_.append("\\r", 2); break;
                    case '\t': buffer_.append("\\t", 2); break;
                    default: buffer_.append(ch);
                    }
                }
                break;
            }
        }
        buffer_.append('\n');
        return buffer_.size() < kPiece || send();
    }
    bool finish() override
    {
        if (!copying_ || !send())
            return false;
        copying_ = false;
        if (PQputCopyEnd(connection_, nullptr) != 1) {
            fail(nullptr);
            return false;
        }
        bool ok = true;
        while (PGresult *result = PQgetResult(connection_)) {
            if (PQresultStatus(result) != PGRES_COMMAND_OK && ok) {
                fail(result);
                ok = false;
            }
            PQclear(result);
        }
        return ok;
    }
    QSqlError error() const override { return error_; }

private:
    static constexpr qsizetype kPiece = 1 << 20;

    bool send()
    {
        if (!buffer_.isEmpty() && PQputCopyData(connection_, buffer_.constData(), int(buffer_.size())) != 1) {
            fail(nullptr);
            return false;
        }
        buffer_.clear();
        return true;
    }
    void fail(PGresult *result)
    {
        const QString message = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(connection_)).trimmed();
        error_ = QSqlError(QString(), message, QSqlError::StatementError,
                           result ? QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QString());
    }

    PGconn *connection_ = nullptr;
    int count_ = 0;
    bool copying_ = false;
    QByteArray buffer_;
    QSqlError error_;
};

} // namespace

std::unique_ptr<RowStream> streamOf(PGconn *connection, const QString &sql)
{
    return std::make_unique<PostgresStream>(connection, sql);
}

std::unique_ptr<RowSink> sinkOf(PGconn *connection, const QString &table, const QStringList &columns)
{
    return std::make_unique<PostgresSink>(connection, table, columns);
}

} // namespace db::serverinternal
