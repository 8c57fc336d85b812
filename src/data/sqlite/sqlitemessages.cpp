#include "data/sqlite/sqlitemessages.h"

#include "data/engine/messages.h"

#include <QDir>

namespace db {

namespace {
// SQLite's primary result code, from the extended code the driver reports.
int primaryCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? (code & 0xff) : -1;
}
} // namespace

QString describeFileError(const QSqlError &error, const QString &file)
{
    const QString path = QDir::toNativeSeparators(file);
    QString text;
    switch (primaryCode(error)) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        text = QStringLiteral("Database %1 sedang dikunci oleh program lain.\n"
                              "Tutup program lain yang memakai file ini, lalu ulangi.").arg(path);
        break;
    case 8: // SQLITE_READONLY
        text = QStringLiteral("Database %1 tidak bisa ditulis (hanya-baca).\n"
                              "Periksa hak akses file dan foldernya, lalu ulangi.").arg(path);
        break;
    case 13: // SQLITE_FULL
        text = QStringLiteral("Disk tempat database %1 penuh.\n"
                              "Kosongkan ruang disk, lalu ulangi.").arg(path);
        break;
    case 14: // SQLITE_CANTOPEN
        text = QStringLiteral("Database %1 tidak bisa dibuka.\n"
                              "Periksa bahwa file dan foldernya ada dan boleh dibaca dan ditulis.").arg(path);
        break;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        text = notSqliteText(file);
        break;
    case 19: // SQLITE_CONSTRAINT
        text = QStringLiteral("Database %1 menolak data ini.").arg(path);
        break;
    case 10: // SQLITE_IOERR
        text = QStringLiteral("Terjadi kesalahan baca/tulis pada database %1.\n"
                              "Periksa disk, lalu ulangi.").arg(path);
        break;
    default:
        text = QStringLiteral("Terjadi kesalahan pada database %1.").arg(path);
        break;
    }
    return withDetail(text, error);
}

} // namespace db
