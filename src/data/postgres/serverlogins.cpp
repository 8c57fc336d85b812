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

namespace db {

using namespace serverinternal;

namespace {

// The logins adopted, by service.
QHash<QString, ServerLogin> &adoptedLogins()
{
    static QHash<QString, ServerLogin> all;
    return all;
}

// Opens a pooled connection on the service as the login (none: as the service
// names), or takes a kept one that logged in so.
bool openServerWith(const QString &service, const ServerLogin *login, QString *connectionName, QString *error)
{
    const QString identity = login ? login->role : QString();
    const QString kept = pool::takeKept(&postgresDialect(), service, identity);
    if (!kept.isEmpty()) {
        *connectionName = kept;
        return true;
    }
    QString name;
    bool ok = false;
    {
        QSqlDatabase database =
            pool::add(QStringLiteral("QPSQL"), &postgresDialect(), serverLocation(service), service, &name, identity);
        if (!database.isValid()) {
            *error = noServerDriverText(serverLocation(service));
        } else {
            database.setConnectOptions(connectOptions(service));
            // Given to libpq as the role and its password; the service's own
            // settings (host, TLS) stay in force, its user and .pgpass do not apply.
            if (login) {
                database.setUserName(login->role);
                database.setPassword(login->password);
            }
            ok = startSession(database, service, error);
        }
    }
    if (!ok) {
        closeConnection(name);
        return false;
    }
    *connectionName = name;
    return true;
}

// The libpq options of connectOptions(), as keyword and value pairs.
QList<QPair<QByteArray, QByteArray>> connectPairs(const QString &service)
{
    QList<QPair<QByteArray, QByteArray>> pairs;
    for (const QString &option : connectOptions(service).split(u';', Qt::SkipEmptyParts))
        pairs.append({option.section(u'=', 0, 0).toUtf8(), option.section(u'=', 1).toUtf8()});
    return pairs;
}

// libpq's words about a failed connection, without the SQLSTATE and source
// location that its verbose form (asked for to tell a refused password) adds.
QString plainConnectionError(const QString &verbose)
{
    static const QRegularExpression code(QStringLiteral("((?:FATAL|ERROR|PANIC):\\s+)[0-9A-Z]{5}: "));
    static const QRegularExpression location(QStringLiteral("\\n?LOCATION:[^\\n]*"));
    QString text = verbose;
    text.replace(code, QStringLiteral("\\1"));
    text.remove(location);
    return text.trimmed();
}

} // namespace

bool openServer(const QString &service, QString *connectionName, QString *error)
{
    const auto adopted = adoptedLogins().constFind(service);
    return openServerWith(service, adopted == adoptedLogins().constEnd() ? nullptr : &adopted.value(), connectionName,
                          error);
}

bool openServerAsService(const QString &service, QString *connectionName, QString *error)
{
    return openServerWith(service, nullptr, connectionName, error);
}

bool openServerAs(const QString &service, const ServerLogin &login, QString *connectionName, QString *error)
{
    return openServerWith(service, &login, connectionName, error);
}

void adoptServerLogin(const QString &service, const ServerLogin &login)
{
    adoptedLogins().insert(service, login);
}

void forgetServerLogin(const QString &service)
{
    if (adoptedLogins().remove(service) > 0)
        releaseIdleConnections();
}

std::optional<ServerLogin> adoptedServerLogin(const QString &service)
{
    const auto adopted = adoptedLogins().constFind(service);
    if (adopted == adoptedLogins().constEnd())
        return std::nullopt;
    return adopted.value();
}

LoginProof proveServerLogin(const QString &service, const ServerLogin &login, QString *message)
{
    const serversettings::Settings settings = settingsOf(service);
    if (const std::optional<QString> refused = serversettings::weakTls(service, settings)) {
        *message = *refused;
        return LoginProof::Failed;
    }
    QList<QPair<QByteArray, QByteArray>> pairs = connectPairs(service);
    pairs.append({"user", login.role.toUtf8()});
    pairs.append({"password", login.password.toUtf8()});
    QVector<const char *> keywords, values;
    for (const auto &[keyword, value] : std::as_const(pairs)) {
        keywords << keyword.constData();
        values << value.constData();
    }
    keywords << nullptr;
    values << nullptr;
    // Started without waiting, so that the server's refusal comes with its SQLSTATE
    // (the verbose form): a refused password (28P01) is told apart from every other
    // refusal, whatever language the server speaks.
    PGconn *connection = PQconnectStartParams(keywords.constData(), values.constData(), 0);
    if (!connection) {
        *message = connectFailureText(service, settings, QSqlError(QString(), QStringLiteral("out of memory"),
                                                                   QSqlError::ConnectionError));
        return LoginProof::Failed;
    }
    PQsetErrorVerbosity(connection, PQERRORS_VERBOSE);
    // libpq does not keep connect_timeout for a connection made this way: the
    // whole login (TLS and the password exchange too) has twice that long.
    QDeadlineTimer deadline(2 * kConnectSeconds * 1000);
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    bool timedOut = false;
    while (PQstatus(connection) != CONNECTION_BAD && polling != PGRES_POLLING_OK && polling != PGRES_POLLING_FAILED) {
        pollfd wait{PQsocket(connection), short(polling == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        const qint64 left = deadline.remainingTime();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        const int ready = ::poll(&wait, 1, int(std::min<qint64>(left, 1000)));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready > 0)
            polling = PQconnectPoll(connection);
    }
    const bool right = !timedOut && PQstatus(connection) == CONNECTION_OK;
    const QString said = QString::fromUtf8(PQerrorMessage(connection));
    PQfinish(connection);
    if (right)
        return LoginProof::Right;
    static const QRegularExpression refusedPassword(QStringLiteral("\\b28P01\\b"));
    if (!timedOut && refusedPassword.match(said).hasMatch())
        return LoginProof::Wrong;
    *message = connectFailureText(
        service, settings,
        QSqlError(QString(), timedOut ? QStringLiteral("timeout expired") : plainConnectionError(said),
                  QSqlError::ConnectionError));
    return LoginProof::Failed;
}

QString passwordVerifier(const QSqlDatabase &database, const QString &role, const QString &password, QString *error)
{
    PGconn *connection = handleOf(database);
    if (!connection) {
        *error = QStringLiteral("Password tidak bisa disiapkan: koneksi ke server tidak ada.");
        return {};
    }
    char *made = PQencryptPasswordConn(connection, password.toUtf8().constData(), role.toUtf8().constData(),
                                       "scram-sha-256");
    if (!made) {
        *error = QStringLiteral("Password tidak bisa disiapkan: %1").arg(QString::fromUtf8(PQerrorMessage(connection)).trimmed());
        return {};
    }
    const QString verifier = QString::fromLatin1(made);
    PQfreemem(made);
    return verifier;
}

// Operators as roles of the server (postgresoperators.cpp, serverlogins.cpp).
namespace {

class ServerRoles final : public Roles
{
public:
    Outcome setPassword(QSqlDatabase &database, qint64 key, const QString &password, bool *canLogIn) const override
    {
        return serverroles::setOperatorPassword(database, key, password, canLogIn);
    }
    Outcome removed(QSqlDatabase &database, qint64 key) const override
    {
        return serverroles::removeOperatorRole(database, key);
    }
    Outcome logins(QSqlDatabase &database, QHash<qint64, bool> *canLogIn) const override
    {
        return serverroles::operatorLogins(database, canLogIn);
    }
    LoginProof prove(const QString &service, const ServerLogin &login, QString *message) const override
    {
        return proveServerLogin(service, login, message);
    }
    bool openAs(const QString &service, const ServerLogin &login, QString *connectionName, QString *error) const override
    {
        return openServerAs(service, login, connectionName, error);
    }
    void adopt(const QString &service, const ServerLogin &login) const override { adoptServerLogin(service, login); }
    std::optional<ServerLogin> adopted(const QString &service) const override { return adoptedServerLogin(service); }
    void forget(const QString &service) const override { forgetServerLogin(service); }
    QString verifier(const QSqlDatabase &database, const QString &role, const QString &password,
                     QString *error) const override
    {
        return passwordVerifier(database, role, password, error);
    }
};

} // namespace

const Roles &serverinternal::serverRoles()
{
    static const ServerRoles roles;
    return roles;
}

} // namespace db
