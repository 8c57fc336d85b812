#include "data/postgres/serverinternal.h"

#include <QSqlQuery>

// The pipelined commit: the last statement of a write transaction and its COMMIT
// go to the server together, so that no lock the statement takes is held while
// the answer travels to the counter and the COMMIT back.
namespace db::serverinternal {

bool pipelinedCommit(QSqlDatabase &database, const QString &sql, const QVariantList &values, QSqlError *error,
                     bool *pipelined)
{
    PGconn *connection = handleOf(database);
    *pipelined = false;
    if (!connection || PQpipelineStatus(connection) != PQ_PIPELINE_OFF || PQenterPipelineMode(connection) != 1)
        return false;
    *pipelined = true;
    // The statement and the COMMIT in one pipeline: the server runs the COMMIT
    // as soon as the statement is done, without waiting for this side.
    // The trail's lock, which the statement's sealing trigger takes, is held
    // until the commit ends; a durable COMMIT would hold it while the server
    // waits for its disk, and every counter's posting would wait for that flush
    // in turn. So the COMMIT does not wait for the disk (synchronous_commit off
    // for this transaction alone) and lets the lock go at once, and a second,
    // durable transaction follows in the same pipeline. It must write to the
    // write-ahead log itself: the server flushes the log at a commit only for a
    // transaction that wrote to it, and a transaction that wrote nothing (a
    // txid_current(), say) commits without any flush. Its setval() of the
    // sequence simparo_flush writes one small record, so its commit waits until
    // the log is on disk up to its own record, past the first commit's; the
    // flushes of several counters are made together. Nothing is told stored
    // before that flush. A commit sealed after another lies after it in the log,
    // so no crash can keep the later and lose the earlier: the chain never forks.
    // Another counter may read the row in the moment before it is on disk; its
    // own posting's flush then carries this one to disk as well.
    QString numbered;
    int number = 0;
    for (const QChar c : sql)
        numbered += c == u'?' ? QStringLiteral("$%1").arg(++number) : QString(c);
    QVector<QByteArray> texts;
    std::vector<const char *> given;
    texts.reserve(values.size());
    for (const QVariant &value : values) {
        texts << value.toString().toUtf8();
        given.push_back(value.isNull() ? nullptr : texts.last().constData());
    }
    const bool sent = PQsendQueryParams(connection, "SET LOCAL synchronous_commit TO off", 0, nullptr, nullptr,
                                        nullptr, nullptr, 0)
                      && PQsendQueryParams(connection, numbered.toUtf8().constData(), int(given.size()), nullptr,
                                           given.data(), nullptr, nullptr, 0)
                      && PQsendQueryParams(connection, "COMMIT", 0, nullptr, nullptr, nullptr, nullptr, 0)
                      && PQsendQueryParams(connection, "SELECT setval('simparo_flush', 1)", 0, nullptr,
                                           nullptr, nullptr, nullptr, 0)
                      && PQpipelineSync(connection);
    std::optional<QSqlError> failure;
    if (!sent)
        failure = QSqlError(QString(), QString::fromUtf8(PQerrorMessage(connection)).trimmed(),
                            QSqlError::ConnectionError);
    // Every answer up to the pipeline's end; the first failure is the one told:
    // a refused statement (parts 0 and 1: nothing stored), or the COMMIT's or the
    // flush's (parts 2 and 3: the end unknown to this side).
    int part = 0;
    while (sent) {
        PGresult *result = PQgetResult(connection);
        if (!result) {
            // The end of one statement's answers, or of the connection.
            if (PQstatus(connection) != CONNECTION_BAD) {
                ++part;
                continue;
            }
            if (!failure)
                failure = QSqlError(QString(), QString::fromUtf8(PQerrorMessage(connection)).trimmed(),
                                    QSqlError::ConnectionError);
            break;
        }
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_FATAL_ERROR && !failure)
            failure = QSqlError(QString(), QString::fromUtf8(PQresultErrorMessage(result)).trimmed(),
                                part <= 1 ? QSqlError::StatementError : QSqlError::TransactionError,
                                QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)));
        PQclear(result);
        if (status == PGRES_PIPELINE_SYNC)
            break;
    }
    PQexitPipelineMode(connection);
    if (!failure)
        return true;
    if (error)
        *error = *failure;
    // A failed statement leaves its transaction aborted (its COMMIT was skipped).
    if (PQstatus(connection) == CONNECTION_OK && PQtransactionStatus(connection) != PQTRANS_IDLE)
        QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
    return false;
}

} // namespace db::serverinternal
