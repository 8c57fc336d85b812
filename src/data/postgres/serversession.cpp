#include "data/postgres/postgresdialect.h"
#include "data/postgres/serverinternal.h"

#include "data/base/wallclock.h"
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

// libpq's keepalives on an idle connection: the first probe after this many
// seconds of silence, then one every few seconds; with the limit on
// unacknowledged data below, a link that is gone is noticed within seconds.
constexpr int kKeepaliveIdleSeconds = 5;
constexpr int kKeepaliveIntervalSeconds = 2;
constexpr int kKeepaliveCount = 3;
// Data the server has not acknowledged for this long ends the connection.
constexpr int kUnacknowledgedMilliseconds = 10000;

} // namespace

// The libpq options of every connection to a service (for Qt's driver, separated
// by ";"). The service name is checked to be a plain word: it stands here as it is.
QString connectOptions(const QString &service)
{
    return QStringLiteral("service=%1;connect_timeout=%2;application_name=simparo;keepalives=1;"
                          "keepalives_idle=%3;keepalives_interval=%4;keepalives_count=%5;tcp_user_timeout=%6")
        .arg(service)
        .arg(kConnectSeconds)
        .arg(kKeepaliveIdleSeconds)
        .arg(kKeepaliveIntervalSeconds)
        .arg(kKeepaliveCount)
        .arg(kUnacknowledgedMilliseconds);
}

// The same, as libpq reads them.
serversettings::Settings settingsOf(const QString &service)
{
    return serversettings::read(connectOptions(service).replace(u';', u' '));
}

int deadlineSeconds()
{
    return (pool::sessionOptions().answerDeadline + 999) / 1000;
}

PGconn *handleOf(const QSqlDatabase &database)
{
    if (!database.driver())
        return nullptr;
    const QVariant handle = database.driver()->handle();
    // Qt names the type by libpq's structure, which libpq calls PGconn.
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

bool connectionLost(const QSqlDatabase &database)
{
    if (!database.isOpen())
        return true;
    PGconn *connection = handleOf(database);
    if (!connection)
        return true;
    // Between two actions nothing is under way on the connection: whatever the
    // server sent meanwhile (its notice of a shutdown, or the end of the socket)
    // is read without a round trip, and tells a connection that is gone.
    // A shutdown notice comes first and the end of the socket after it: two reads.
    for (int read = 0; read < 2 && PQstatus(connection) == CONNECTION_OK
                       && PQtransactionStatus(connection) == PQTRANS_IDLE;
         ++read)
        PQconsumeInput(connection);
    return PQstatus(connection) == CONNECTION_BAD;
}

// Why a server could not be reached, could not be trusted or refused the login,
// as the operator hears it.
QString connectFailureText(const QString &service, const serversettings::Settings &settings, const QSqlError &error)
{
    const QString detail = detailOf(error).toLower();
    ConnectContext context{serversettings::serviceFiles(), serversettings::passwordFile(settings), {},
                           serversettings::rootCertificate(settings)};
    const auto has = [&detail](const char *words) { return detail.contains(QLatin1String(words)); };
    ConnectFailure cause = ConnectFailure::Unreachable;
    if (!serversettings::defined(service) || (has("service") && has("not found")))
        cause = ConnectFailure::UnknownService;
    else if (has("does not support ssl"))
        cause = ConnectFailure::SslOff;
    else if (has("root certificate file") && has("does not exist"))
        cause = ConnectFailure::NoRootCertificate;
    else if (has("certificate verify failed"))
        cause = ConnectFailure::UntrustedCertificate;
    else if (has("does not match host name"))
        cause = ConnectFailure::WrongHostName;
    else if (has("channel binding"))
        cause = ConnectFailure::NoChannelBinding;
    else if (has("too many connections") || has("too many clients") || has("remaining connection slots"))
        cause = ConnectFailure::TooManyConnections;
    else if (has("password") || has("authentication") || has("pg_hba.conf") || has("role")) {
        cause = ConnectFailure::LoginRefused;
        // libpq says on its standard error only that it passed the file over.
        context.passwordFileProblem = serversettings::passwordFileProblem(context.passwordFile);
    } else if (has("database") && has("does not exist"))
        cause = ConnectFailure::NoDatabase;
    return db::connectFailureText(cause, service, context, error);
}

// A new session: durable commits, the limits that keep a counter whose link
// goes silent from holding anything for long, and no more. Over the network to
// another machine only with a server certificate that is checked in full:
// otherwise nothing is sent.
bool startSession(QSqlDatabase &database, const QString &service, QString *error)
{
    const QString name = database.connectionName();
    linkwatch::unwatch(name);
    pool::sessionStarted(name);
    const serversettings::Settings settings = settingsOf(service);
    if (const std::optional<QString> refused = serversettings::weakTls(service, settings)) {
        *error = *refused;
        return false;
    }
    if (!database.open()) {
        *error = connectFailureText(service, settings, database.lastError());
        return false;
    }
    const pool::SessionOptions &options = pool::sessionOptions();
    // The watch asks from its own thread whether a request waits for its answer:
    // PQtransactionStatus() only reads the connection's state, and the connection
    // is unwatched before it is closed (closing()).
    if (PGconn *handle = handleOf(database))
        linkwatch::watch(
            name, PQsocket(handle), [handle] { return PQtransactionStatus(handle) == PQTRANS_ACTIVE; },
            options.answerDeadline);
    const auto fail = [&](const QString &text, QSqlQuery &query) {
        *error = text;
        query.finish();
        linkwatch::unwatch(name);
        database.close();
        return false;
    };
    QSqlQuery query(database);
    query.setForwardOnly(true);
    // Numbers of the program's own, no operator text. A lock another counter holds
    // is waited for briefly; a statement that runs long is ended by the server, and
    // so is a session that stays inside a transaction without a word from the
    // program (its link gone silent), which frees the locks it holds.
    // Every commit waits until it is on the server's disk; the setting is read
    // back, and a session that would commit less durably is not used.
    if (!query.exec(QStringLiteral("SELECT set_config('synchronous_commit', '%5', false), "
                                   "set_config('lock_timeout', '%1ms', false), "
                                   "set_config('statement_timeout', '%2ms', false), "
                                   "set_config('idle_in_transaction_session_timeout', '%3ms', false), "
                                   "set_config('default_transaction_read_only', '%4', false), "
                                   "current_setting('fsync')")
                        .arg(options.busyTimeout)
                        .arg(options.statementTimeout)
                        .arg(options.idleInTransactionTimeout)
                        .arg(options.readOnly ? QStringLiteral("on") : QStringLiteral("off"))
                        .arg(options.lessDurable ? QStringLiteral("local") : QStringLiteral("on")))
        || !query.next()) {
        if (linkwatch::cut(name))
            return fail(silentServerText(serverLocation(service), deadlineSeconds()), query);
        return fail(connectionLost(database) ? connectFailureText(service, settings, query.lastError())
                                             : serverErrorText(query.lastError(), serverLocation(service)),
                    query);
    }
    if (query.value(5).toString() != QLatin1String("on"))
        return fail(unsafeServerText(serverLocation(service), QStringLiteral("fsync tidak aktif")), query);
    if (query.value(0).toString() != QLatin1String("on"))
        return fail(unsafeServerText(serverLocation(service), QStringLiteral("synchronous_commit bukan on")), query);
    // The session keeps the counter's time zone: the dates the server gives a row
    // (a posting's TANGGAL) are the counter's dates.
    query.finish();
    if (!query.exec(QStringLiteral("SET TIME ZONE INTERVAL '%1' HOUR TO MINUTE").arg(wallclock::zoneNow())))
        return fail(serverErrorText(query.lastError(), serverLocation(service)), query);
    pool::sessionStarted(name);
    return true;
}

} // namespace db::serverinternal
