#pragma once

#include "data/engine/messages.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

// The settings of a connection to a server as libpq itself reads them (the
// service file, the environment, libpq's defaults), read without contacting the
// server, and where each comes from.
namespace db::serversettings {

// The service files libpq reads, in its order: the user's (PGSERVICEFILE, else
// ~/.pg_service.conf), then the system's (pg_service.conf in PGSYSCONFDIR, on
// Debian /etc/postgresql-common). The first that defines a service holds all of it.
QStringList serviceFiles();
// True when a service file defines the service.
bool defined(const QString &service);

struct Settings {
    QString problem;                // libpq refuses the options (an unknown service, a malformed file)
    QHash<QString, QString> values; // keyword -> libpq's value, for those that have one
    QString value(const QString &keyword) const { return values.value(keyword); }
};
// libpq's reading of connection options ("keyword=value", separated by spaces).
// The password file is not read.
Settings read(const QString &options);

// The operator's message when the settings would reach a server through the
// network (not a local socket, not localhost) with an sslmode weaker than
// verify-full; nothing when they would not. It names the line of the service
// file, or the environment variable, that the sslmode comes from.
std::optional<QString> weakTls(const QString &service, const Settings &settings);

// Why libpq ignores a password file (others may read it, or it is not a plain
// file); empty when it reads it, or there is none.
QString passwordFileProblem(const QString &file);
// The password file libpq reads.
QString passwordFile(const Settings &settings);
// The CA certificate a server's certificate is checked against.
QString rootCertificate(const Settings &settings);

} // namespace db::serversettings
