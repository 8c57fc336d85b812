#pragma once

#include <QSqlError>
#include <QString>

namespace db {

// A message for the operator, in Indonesian, that names the file and the cause
// of a database error (told by SQLite's code) and what to do about it.
QString describeFileError(const QSqlError &error, const QString &file);

} // namespace db
