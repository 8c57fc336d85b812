// simparo-backup: a consistent copy of the SIMPARO database, also while the
// program runs and posts, through SQLite's online backup. The copy is checked
// (integrity, then the audit trail, the ledger against it and the balance chain
// of every account, by the check of simparo-verify) under a temporary name and
// gets its final, dated name only when the checks are through.
//
// Exit codes: 0 copy made and every check passed (known breaks of balance
// chains are listed as notices); 1 failure, no copy made; 2 copy made and kept,
// but something does not match (in the source as well).
#include "data/auditcheck.h"
#include "data/commandline.h"
#include "data/database.h"
#include "data/ledgerchain.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace {

enum Exit { Ok = 0, Failed = 1, ChainFindings = 2 };

// Pages copied per backup step, and how long a step may keep meeting a lock.
constexpr int kPagesPerStep = 256;
constexpr int kLockRetryMs = 20;
constexpr int kLockPatienceMs = 60000;
// Findings printed one by one; the rest are counted.
constexpr int kFindingsShown = 100;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

QString native(const QString &path) { return QDir::toNativeSeparators(path); }

const char kHelp[] =
    "Pemakaian: simparo-backup [--from FILE] [--keep N] [FOLDER]\n"
    "\n"
    "Membuat salinan cadangan database SIMPARO yang utuh, juga selagi SIMPARO\n"
    "dipakai dan transaksi diposting. Salinan diperiksa dengan nama sementara\n"
    "(PRAGMA integrity_check, lalu pemeriksaan simparo-verify: segel jejak audit,\n"
    "setiap baris nabubg terhadap jejaknya, kesinambungan saldo setiap rekening),\n"
    "dan baru diberi nama akhir bila pemeriksaan selesai. Segel terakhir jejak\n"
    "dicetak; putus saldo yang sudah diketahui dicatat saja.\n"
    "\n"
    "  FOLDER       folder tujuan, dibuat bila belum ada (bawaan: %1).\n"
    "               Nama salinan: NAMA-TAHUN-BULAN-HARI_JAMMENITDETIK.sqlite,\n"
    "               misalnya asli-2026-12-09_101530.sqlite; file yang sudah ada\n"
    "               tidak pernah ditimpa.\n"
    "  --from FILE  database sumber (bawaan: %2).\n"
    "  --keep N     sesudah menyalin, simpan hanya N salinan terbaru di FOLDER;\n"
    "               hanya file dengan pola nama di atas yang dihapus.\n"
    "  -h, --help   tampilkan bantuan ini.\n"
    "\n"
    "Kode keluar:\n"
    "  0  salinan dibuat dan lolos semua pemeriksaan (putus saldo yang sudah\n"
    "     diketahui hanya dicatat).\n"
    "  1  gagal, tidak ada salinan: database tidak ada atau rusak, folder tujuan\n"
    "     tidak bisa ditulis atau penuh, atau pilihan salah.\n"
    "  2  salinan dibuat dan disimpan, tetapi ada yang tidak cocok (jejak audit,\n"
    "     buku tabungan, atau saldo yang putus dan belum diketahui); kesalahan itu\n"
    "     ada juga di database sumber: periksa dengan simparo-verify.\n"
    "\n"
    "Mengembalikan cadangan: tutup SIMPARO, hapus file -wal dan -shm di samping\n"
    "database (bila ada), lalu salin file cadangan menjadi %2.\n";

// A message of the data layer about the source database, and that no copy was made.
QString noCopy(const QString &text)
{
    return text + QStringLiteral("\nCadangan tidak dibuat.");
}

// The data layer's message for a failure of SQLite on the source database.
QString sourceFailure(int code, const QString &source, const QString &detail)
{
    return noCopy(db::describeError(QSqlError(QString(), detail, QSqlError::ConnectionError, QString::number(code)),
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

// Owns one SQLite connection.
struct Connection
{
    sqlite3 *handle = nullptr;
    ~Connection() { sqlite3_close_v2(handle); }
    QString message() const { return QString::fromUtf8(sqlite3_errmsg(handle)); }
    int code() const { return sqlite3_extended_errcode(handle); }
    bool exec(const char *sql) { return sqlite3_exec(handle, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
};

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
    if (!from.exec("BEGIN") || !from.exec("SELECT count(*) FROM sqlite_master")) {
        *error = sourceFailure(from.code(), source, from.message());
        return false;
    }
    if (sqlite3_open_v2(QFile::encodeName(target).constData(), &to.handle, SQLITE_OPEN_READWRITE, nullptr)
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

struct CheckResult
{
    bool usable = false;
    QString problem;
    audit::CheckResult trail;
};

// Integrity, the program's tables, then the check of simparo-verify: the audit
// trail's seals, the ledger against it, and every account's balance chain in
// posting order (saldo = previous saldo + kredit - debet, to the sen).
CheckResult checkCopy(const QString &copy, const QString &source)
{
    CheckResult result;
    QString name;
    QString error;
    if (!db::openFile(copy, &name, &error)) {
        result.problem = noCopy(db::notSqliteText(source));
        return result;
    }
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        QSqlQuery integrity(database);
        integrity.setForwardOnly(true);
        QStringList lines;
        const bool ran = integrity.exec(QStringLiteral("PRAGMA integrity_check"));
        while (ran && integrity.next())
            lines << integrity.value(0).toString();
        QStringList missing;
        QSqlError failure;
        if (!ran || integrity.lastError().isValid() || lines != QStringList{QStringLiteral("ok")}) {
            if (!ran || integrity.lastError().isValid())
                lines << db::detailOf(integrity.lastError());
            result.problem = QStringLiteral("Database %1 rusak: pemeriksaan keutuhan (integrity_check) gagal; "
                                            "cadangan tidak dibuat.\n"
                                            "Cadangan lama tetap disimpan: kembalikan cadangan terakhir yang baik.\n%2")
                                 .arg(native(source), lines.mid(0, 10).join(u'\n'));
        } else if (!db::missingRelations(database, &missing, &failure)) {
            result.problem = noCopy(db::notSqliteText(source));
        } else if (!missing.isEmpty()) {
            result.problem = noCopy(db::fileIncompleteText(source, missing.join(QStringLiteral(", "))));
        } else if (!audit::check(database, &result.trail, kFindingsShown).isOk()) {
            result.problem = noCopy(db::notSqliteText(source));
        } else {
            result.usable = true;
        }
    }
    db::closeConnection(name);
    return result;
}

// The files SQLite may keep beside a database; a closed copy has none left.
void removeSideFiles(const QString &file)
{
    for (const char *suffix : {"-journal", "-wal", "-shm"})
        QFile::remove(file + QLatin1String(suffix));
}

void removeCopy(const QString &file)
{
    QFile::remove(file);
    removeSideFiles(file);
}

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Removes the oldest copies named by this tool's pattern, so that `keep` remain.
void keepNewest(const QString &folder, const QString &base, int keep)
{
    const QRegularExpression pattern(QStringLiteral("^%1-\\d{4}-\\d{2}-\\d{2}_\\d{6}\\.sqlite$")
                                         .arg(QRegularExpression::escape(base)));
    QStringList copies;
    for (const QString &name : QDir(folder).entryList(QDir::Files | QDir::Hidden))
        if (pattern.match(name).hasMatch())
            copies << name;
    copies.sort();
    while (copies.size() > keep) {
        const QString oldest = QDir(folder).filePath(copies.takeFirst());
        if (QFile::remove(oldest))
            out() << "Cadangan lama dihapus: " << native(oldest) << "\n";
        else
            err() << "Cadangan lama " << native(oldest) << " tidak bisa dihapus.\n";
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simparo-backup"));
    cli::useIndonesian();
    // The program's setting, read and checked by the program's own code: the file it
    // names is the one backed up, unless --from names another.
    QString settingError;
    const std::optional<QString> setting = db::checkedConnectionText(&settingError);
    // A connection text that names no file names a server: this tool copies files only.
    const std::optional<QString> settingDatabase = setting ? db::dialectFor(*setting).fileOf(*setting) : std::nullopt;
    const QString programFile = settingDatabase.value_or(db::databaseFile());
    const QString defaultFolder = QFileInfo(programFile).absolutePath() + QStringLiteral("/cadangan");

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption keep(QStringLiteral("keep"), QString(), QStringLiteral("N"));
    parser.addOptions({help, from, keep});
    if (!parser.parse(app.arguments())) {
        if (!parser.unknownOptionNames().isEmpty())
            err() << "Pilihan tidak dikenal: " << parser.unknownOptionNames().join(QStringLiteral(", "));
        else
            err() << "Pilihan salah (" << parser.errorText() << ")";
        err() << "\nLihat: simparo-backup --help\n";
        return Failed;
    }
    if (parser.isSet(help)) {
        out() << QString::fromUtf8(kHelp).arg(native(defaultFolder), native(programFile));
        return Ok;
    }
    if (parser.positionalArguments().size() > 1) {
        err() << "Terlalu banyak argumen: hanya satu FOLDER tujuan.\nLihat: simparo-backup --help\n";
        return Failed;
    }
    int keepCount = 0;
    if (parser.isSet(keep)) {
        bool ok = false;
        keepCount = parser.value(keep).toInt(&ok);
        if (!ok || keepCount < 1) {
            err() << "--keep memerlukan bilangan bulat 1 atau lebih.\n";
            return Failed;
        }
    }

    if (!parser.isSet(from) && !setting) {
        err() << settingError << "\n";
        return Failed;
    }
    // A site whose data lives on a server backs it up there, with pg_dump.
    if (!parser.isSet(from) && !settingDatabase) {
        err() << "Data SIMPARO ada di " << db::describedLocation(*setting) << " (pengaturan " << native(db::settingFile())
              << "); simparo-backup hanya menyalin file SQLite.\n"
              << "Cadangkan server dengan pg_dump, misalnya: pg_dump -Fc -f simparo.dump \"service="
              << db::connectionValue(*setting, QStringLiteral("Data Source")) << "\" (lihat "
              << native(cli::readmeFile()) << ").\n";
        return Failed;
    }
    const QString source = QFileInfo(parser.isSet(from) ? parser.value(from) : programFile).absoluteFilePath();
    if (!QFileInfo(source).isFile()) {
        err() << noCopy(db::notFoundText(source)) << "\n";
        return Failed;
    }
    const QString folder = QFileInfo(parser.positionalArguments().value(0, defaultFolder)).absoluteFilePath();
    if (!QDir().mkpath(folder)) {
        // mkpath says nothing of the cause; the parent that exists tells it.
        QString parent = folder;
        while (!QFileInfo::exists(parent) && parent != QFileInfo(parent).path())
            parent = QFileInfo(parent).path();
        const int cause = ::access(QFile::encodeName(parent).constData(), W_OK) == 0 ? ENOTDIR : errno;
        err() << destinationFailure(cause, folder) << "\n";
        return Failed;
    }

    const QString base = QFileInfo(source).completeBaseName();
    const QString name = QStringLiteral("%1-%2.sqlite")
                             .arg(base, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss")));
    const QString target = QDir(folder).filePath(name);
    const QString temporary = QDir(folder).filePath(u'.' + name + QStringLiteral(".part"));
    if (QFileInfo::exists(target)) {
        err() << "File " << native(target) << " sudah ada; simparo-backup tidak menimpa file.\n"
              << "Ulangi sebentar lagi atau pilih folder lain.\n";
        return Failed;
    }
    // The temporary file is claimed exclusively: two copies started in the same second never share it.
    const int fd = ::open(QFile::encodeName(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST)
            err() << "File sementara " << native(temporary) << " sudah ada: cadangan lain sedang dibuat. "
                  << "Ulangi sebentar lagi.\n";
        else
            err() << destinationFailure(errno, folder) << "\n";
        return Failed;
    }
    ::close(fd);

    QString error;
    if (!copyDatabase(source, temporary, &error)) {
        removeCopy(temporary);
        err() << error << "\n";
        return Failed;
    }
    const CheckResult check = checkCopy(temporary, source);
    if (!check.usable) {
        removeCopy(temporary);
        err() << check.problem << "\n";
        return Failed;
    }
    removeSideFiles(temporary);
    if (!QFile::rename(temporary, target)) {
        removeCopy(temporary);
        err() << "File " << native(target) << " sudah ada atau tidak bisa dibuat; simparo-backup tidak menimpa file.\n";
        return Failed;
    }
    syncFolder(folder);

    out() << "Cadangan dibuat: " << native(target) << "\n"
          << "Diperiksa: keutuhan baik; " << check.trail.ledger.accounts << " rekening, " << check.trail.ledger.rows
          << " baris tabungan.\n";
    for (const QString &line : audit::describe(check.trail))
        out() << line << "\n";
    if (keepCount > 0)
        keepNewest(folder, base, keepCount);
    if (!check.trail.holds()) {
        out() << "Salinan tetap disimpan; yang tidak cocok ada juga di database " << native(source)
              << " dan perlu diperiksa dengan simparo-verify.\n";
        out().flush();
        return ChainFindings;
    }
    return Ok;
}
