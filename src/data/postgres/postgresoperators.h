#pragma once

#include "data/engine/dialect.h"
#include "data/engine/roles.h"

#include <QHash>

// A server's operators as roles of its own, for the PostgreSQL dialect: the
// functions, roles and grants that simparo-initdb makes, and what the tools and
// the screens do with them (postgresoperators.cpp).
namespace db {

// The function of the trigger that seals every row of jejak (postgresdialect.cpp).
QString sealFunctionStatement();

namespace serverroles {

// The functions that tell who writes a jejak row: the operator of the session's
// role (<database>_op_<key>), else the role itself. Part of the trail's statements.
QStringList attributionStatements();

// See Dialect::secureOperators(), operatorPassword(), operatorRemoved(), operatorLogins().
Outcome secure(QSqlDatabase &database, RoleAccess *access);
Outcome setOperatorPassword(QSqlDatabase &database, qint64 key, const QString &password, bool *canLogIn);
Outcome removeOperatorRole(QSqlDatabase &database, qint64 key);
Outcome operatorLogins(QSqlDatabase &database, QHash<qint64, bool> *canLogIn);

} // namespace serverroles
} // namespace db
