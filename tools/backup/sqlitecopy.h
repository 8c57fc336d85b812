#pragma once

#include <QString>
#include <sqlite3.h>

// The copy simparo-backup makes of a SQLite file, through SQLite's online backup
// from one read snapshot of the source, and the messages of its failures.
namespace backupcopy {

// Owns one SQLite connection.
struct Connection
{
    sqlite3 *handle = nullptr;
    ~Connection() { sqlite3_close_v2(handle); }
    QString message() const { return QString::fromUtf8(sqlite3_errmsg(handle)); }
    int code() const { return sqlite3_extended_errcode(handle); }
    bool exec(const char *sql) { return sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
};

// A message about the source database, and that no copy was made.
QString noCopy(const QString &text);
// The message for a destination folder that cannot be used (errno).
QString destinationFailure(int error, const QString &folder);
// Copies the source into the (empty) target file, from one read snapshot of the
// source: in WAL mode, posting goes on meanwhile and is not waited for. The source
// is read only; on a disk nobody can write, without its -shm file.
bool copyDatabase(const QString &source, const QString &target, QString *error);

} // namespace backupcopy
