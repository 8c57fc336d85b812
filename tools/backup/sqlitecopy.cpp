#include "sqlitecopy.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/sqlite/sqlitemessages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>
#include <cerrno>
#include <cstring>

namespace backupcopy {

namespace {
// Pages copied per backup step, and how long a step may keep meeting a lock.
constexpr int kPagesPerStep = 256;
constexpr int kLockRetryMs = 20;
constexpr int kLockPatienceMs = 60000;

QString native(const QString &path) { return QDir::toNativeSeparators(path); }
} // namespace

// A message of the data layer about the source database, and that no copy was made.
QString noCopy(const QString &text)
{
    return text + QStringLiteral("\nCadangan tidak dibuat.");
}

namespace {
// The data layer's message for a failure of SQLite on the source database.
QString sourceFailure(int code, const QString &source, const QString &detail)
{
    return noCopy(db::describeFileError(QSqlError(QString(), detail, QSqlError::ConnectionError, QString::number(code)),
                                        source));
}

// A message for a failure of SQLite while the copy is written.
QString copyFailure(int code, const QString &source, const QString &target, const QString &detail)
{
    const QString folder = QFileInfo(target).absolutePath();
    QString text;
    switch (code & 0xff) {
    case SQLITE_FULL:
        text = QStringLiteral("Disk tujuan %1 penuh; cadangan tidak dibuat.\n"
                              "Kosongkan ruang disk atau pilih folder lain, lalu ulangi.")
                   .arg(native(folder));
        break;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        text = QStringLiteral("Folder tujuan %1 tidak bisa ditulis (hanya-baca atau tanpa izin); cadangan tidak dibuat.")
                   .arg(native(folder));
        break;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return sourceFailure(code, source, detail);
    case SQLITE_IOERR:
        text = QStringLiteral("Terjadi kesalahan baca/tulis saat menyalin %1 ke folder %2; cadangan tidak dibuat.\n"
                              "Periksa kedua disk, lalu ulangi.")
                   .arg(native(source), native(folder));
        break;
    default:
        text = QStringLiteral("Cadangan %1 di folder %2 tidak bisa dibuat.").arg(native(source), native(folder));
        break;
    }
    return text + QStringLiteral("\n(%1)").arg(detail);
}
} // namespace

QString destinationFailure(int error, const QString &folder)
{
    const QString detail = QString::fromLocal8Bit(std::strerror(error));
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("Folder tujuan %1 tidak bisa ditulis (hanya-baca atau tanpa izin); cadangan tidak dibuat.\n"
                              "Pilih folder lain atau periksa hak aksesnya.\n(%2)")
            .arg(native(folder), detail);
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Disk tujuan %1 penuh; cadangan tidak dibuat.\n"
                              "Kosongkan ruang disk atau pilih folder lain, lalu ulangi.\n(%2)")
            .arg(native(folder), detail);
    default:
        return QStringLiteral("Folder tujuan %1 tidak bisa dipakai; cadangan tidak dibuat.\n(%2)")
            .arg(native(folder), detail);
    }
}

// Copies the source into the (empty) target file, from one read snapshot of the
// source: in WAL mode, posting goes on meanwhile and is not waited for.
bool copyDatabase(const QString &source, const QString &target, QString *error)
{
    Connection from, to;
    if (sqlite3_open_v2(QFile::encodeName(source).constData(), &from.handle, SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK) {
        *error = sourceFailure(from.code(), source, from.message());
        return false;
    }
    sqlite3_busy_timeout(from.handle, kLockPatienceMs);
    // The read transaction holds one snapshot of the source for every step of the copy.
    bool reading = from.exec("BEGIN") && from.exec("SELECT count(*) FROM sqlite_master");
    // On a read-only disk a file in the write-ahead log's mode cannot get its -shm
    // file: when nothing can change it and no log lies beside it, it is read as
    // unchangeable (SQLite's immutable).
    if (!reading && ((from.code() & 0xff) == SQLITE_CANTOPEN || (from.code() & 0xff) == SQLITE_READONLY)
        && privatefiles::unwritablePlace(source)
        && QFileInfo(source + QStringLiteral("-wal")).size() == 0) {
        sqlite3_close_v2(from.handle);
        from.handle = nullptr;
        const QByteArray uri = "file:" + QUrl::toPercentEncoding(source, "/") + "?immutable=1";
        reading = sqlite3_open_v2(uri.constData(), &from.handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr)
                == SQLITE_OK
            && from.exec("BEGIN") && from.exec("SELECT count(*) FROM sqlite_master");
    }
    if (!reading) {
        *error = sourceFailure(from.code(), source, from.message());
        return false;
    }
    if (sqlite3_open_v2(QFile::encodeName(target).constData(), &to.handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW,
                        nullptr)
        != SQLITE_OK) {
        *error = copyFailure(to.code(), source, target, to.message());
        return false;
    }
    sqlite3_backup *backup = sqlite3_backup_init(to.handle, "main", from.handle, "main");
    if (!backup) {
        *error = copyFailure(to.code(), source, target, to.message());
        return false;
    }
    int rc = SQLITE_OK;
    int waitedMs = 0;
    while (true) {
        rc = sqlite3_backup_step(backup, kPagesPerStep);
        if (rc == SQLITE_OK) {
            waitedMs = 0;
        } else if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && waitedMs < kLockPatienceMs) {
            QThread::msleep(kLockRetryMs);
            waitedMs += kLockRetryMs;
        } else {
            break;
        }
    }
    sqlite3_backup_finish(backup);
    from.exec("COMMIT");
    if (rc != SQLITE_DONE) {
        *error = copyFailure(to.code() != SQLITE_OK ? to.code() : rc, source, target,
                             to.code() != SQLITE_OK ? to.message() : QString::fromUtf8(sqlite3_errstr(rc)));
        return false;
    }
    return true;
}

} // namespace backupcopy
