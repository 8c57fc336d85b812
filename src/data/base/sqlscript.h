#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The program's own SQL kept in .sql files, compiled into the program as
// resources (":/sql/<name>.sql"). A file holds statements, each ended by a ";"
// outside quotes, dollar quotes and comments, as psql reads them. Values in a
// file are the program's own: a placeholder {{name}} stands for a value the
// program gives (a number, a name of its own), never for an operator's text.
namespace sqlscript {

// The statements of a text, in order, each without its ";"; comments outside
// statements dropped.
QStringList split(const QString &text);
// The statements of a resource file, its placeholders filled in. An unknown
// placeholder or a missing file is the program's own fault: it stops there.
QStringList statements(const QString &name, const QHash<QString, QString> &values = {});

} // namespace sqlscript
