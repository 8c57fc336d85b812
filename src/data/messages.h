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
QString notSqliteText(const QString &file);
QString fileIncompleteText(const QString &file, const QString &missing);
QString unsafeFileText(const QString &file);
QString fileNoTrailText(const QString &file);
// A message for the operator, in Indonesian, that names the file and the cause
// of a database error (told by SQLite's code) and what to do about it.
QString describeError(const QSqlError &error, const QString &file);

// --- The setting file
QString settingProblemText(const QString &file, const QString &problem);
QString invalidConnectionText(const QString &problem);

// --- Servers
// "server PostgreSQL (layanan "NAME")"
QString serverLocation(const QString &service);
QString serverIncompleteText(const QString &location, const QString &missing);
QString serverNoTrailText(const QString &location, const QString &service);
QString unsafeServerText(const QString &location);
QString noServerDriverText(const QString &location);
// Why a server could not be reached or refused the login.
enum class ConnectFailure { UnknownService, LoginRefused, NoDatabase, Unreachable };
QString connectFailureText(ConnectFailure cause, const QString &service, const QStringList &serviceFiles,
                           const QString &passwordFile, const QSqlError &error);
// A connection lost before an action ended.
QString lostText(const QString &location, const QSqlError &error);
// An error the server reported (told by its SQLSTATE).
QString serverErrorText(const QSqlError &error, const QString &location);

} // namespace db
