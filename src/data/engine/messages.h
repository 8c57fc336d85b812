#pragma once

#include <QSqlError>
#include <QString>
#include <QStringList>

// The operator's messages of the data layer, in Indonesian: each names the file,
// or the server and its service, the cause, and what to do about it.
namespace db {

// The database's own words for an error, to stand in brackets under a message.
QString detailOf(const QSqlError &error);
QString withDetail(const QString &text, const QSqlError &error);

// --- Files
QString notFoundText(const QString &file);
// The message for a database's place that holds no database file: nothing there
// (notFoundText()), or a folder, a FIFO ... named as such. Empty when a regular
// file is there.
QString placeProblemText(const QString &file);
QString notSqliteText(const QString &file);
QString fileIncompleteText(const QString &file, const QString &missing);
QString unsafeFileText(const QString &file);
QString fileNoTrailText(const QString &file);

// --- The setting file
QString settingProblemText(const QString &file, const QString &problem);
QString invalidConnectionText(const QString &problem);

// --- Servers
// "server PostgreSQL (layanan "NAME")"
QString serverLocation(const QString &service);
QString serverIncompleteText(const QString &location, const QString &missing);
QString serverNoTrailText(const QString &location, const QString &service);
// A server session that would not commit durably; `setting` names what is off
// ("fsync tidak aktif", "synchronous_commit bukan on").
QString unsafeServerText(const QString &location, const QString &setting);
QString noServerDriverText(const QString &location);
// Why a server could not be reached, could not be trusted, or refused the login.
enum class ConnectFailure {
    UnknownService,
    LoginRefused,
    NoDatabase,
    Unreachable,
    SslOff,               // the server does not offer TLS
    UntrustedCertificate, // its certificate is not signed by the CA of sslrootcert
    NoRootCertificate,    // the CA certificate to check it against is missing
    WrongHostName,        // its certificate names another host
    NoChannelBinding,     // channel_binding=require, and the server did not offer it
    TooManyConnections,   // the server's, or the role's, limit of connections is reached
};
// What a connection failure's message names besides the service.
struct ConnectContext {
    QStringList serviceFiles;    // where services are looked for, in order
    QString passwordFile;        // the password file libpq reads
    QString passwordFileProblem; // why libpq ignores it; empty when it does not
    QString rootCertificate;     // the CA certificate the server's is checked against
};
QString connectFailureText(ConnectFailure cause, const QString &service, const ConnectContext &context,
                           const QSqlError &error);
// Where a connection setting comes from: a line of a service file; the line of
// the service's section when the setting is not written there and libpq's
// default applies; or an environment variable.
struct SettingOrigin {
    QString file;
    int line = 0;
    bool missing = false;
    QString variable;
};
// A connection over the network whose sslmode is weaker than verify-full: refused
// before anything is sent to the server.
QString weakTlsText(const QString &service, const QString &host, const QString &mode, const SettingOrigin &origin);
// A connection the program cut because the server did not answer in time.
QString silentServerText(const QString &location, int seconds);
// A connection lost before an action ended.
QString lostText(const QString &location, const QSqlError &error);
// An error the server reported (told by its SQLSTATE).
QString serverErrorText(const QSqlError &error, const QString &location);

// What became of a "SAVE" whose write broke off (the link lost, the COMMIT
// failed), as its token tells once the database is asked again. `cause` is the
// first line of the failure's own message.
// Stored after all: the answer was lost, not the posting.
QString savedAfterBreakText(const QString &location);
// A "SAVE" tried again whose earlier try was stored: not stored twice.
QString savedBeforeText(const QString &location);
// Not stored: nothing was written, the typing stays for another "SAVE".
QString notSavedText(const QString &location, const QString &cause);
// Not known while the database cannot be asked (`why`): the typing stays, and
// another "SAVE" of it is never stored twice.
QString outcomeUnknownText(const QString &location, const QString &cause, const QString &why);

} // namespace db
