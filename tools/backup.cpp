// simparo-backup: a consistent copy of the SIMPARO database, also while the
// program runs and posts, through SQLite's online backup. The copy is checked
// (integrity, then the audit trail, the ledger against it and the balance chain
// of every account, by the check of simparo-verify) under a temporary name and
// gets its final, dated name only when the checks are through.
//
// The copy is built in a folder of its own (0700, made with mkdtemp beside the
// destination), as a file 0600 made there with O_EXCL and O_NOFOLLOW, and moved to
// its name in the destination only by a rename that replaces nothing: no name
// planted in a shared destination folder (a symbolic link, say) is ever followed.
//
// The source is read only (a disk remounted read-only after errors can still be
// copied). The head of the audit trail it saw last, kept with simparo-verify's in
// a file of the user's own (see data/trailhead.h), must still be in the copy's
// chain with its seal: a chain cut short since the last backup is found.
//
// Exit codes: 0 copy made and every check passed (known breaks of balance
// chains are listed as notices); 1 failure, no copy made; 2 copy made and kept,
// but something does not match (in the source as well).
#include "data/trail/auditcheck.h"
#include "common/commandline.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/trail/ledgerchain.h"
#include "data/base/privatefiles.h"
#include "data/base/textforms.h"
#include "data/trail/trailhead.h"
#include "backup/destination.h"
#include "backup/sqlitecopy.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>
#include <optional>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

using backupcopy::Connection;
using backupcopy::noCopy;
using backupcopy::Workshop;

enum Exit { Ok = 0, Failed = 1, ChainFindings = 2 };

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

// What the tool prints: data never reaches the terminal with its control characters.
void say(QTextStream &stream, const QString &text)
{
    stream << textform::printableLines(text) << "\n";
}

const char kHelp[] =
    "Pemakaian: simparo-backup [--from FILE] [--keep N] [FOLDER]\n"
    "\n"
    "Membuat salinan cadangan database SIMPARO yang utuh, juga selagi SIMPARO\n"
    "dipakai dan transaksi diposting. Salinan diperiksa dengan nama sementara\n"
    "(PRAGMA integrity_check, lalu pemeriksaan simparo-verify: segel jejak audit,\n"
    "setiap baris nabubg terhadap jejaknya, kesinambungan saldo setiap rekening),\n"
    "dan baru diberi nama akhir bila pemeriksaan selesai. Segel terakhir jejak\n"
    "dicetak; putus saldo yang sudah diketahui dicatat saja. Kepala jejak yang\n"
    "terakhir dilihat (juga oleh simparo-verify) harus masih ada di salinan: jejak\n"
    "yang dipotong sejak itu ditemukan. Database sumber dibuka hanya-baca.\n"
    "\n"
    "  FOLDER       folder tujuan, dibuat bila belum ada (bawaan: %1).\n"
    "               Nama salinan: NAMA-TAHUN-BULAN-HARI_JAMMENITDETIK.sqlite,\n"
    "               misalnya asli-2026-12-09_101530.sqlite; file yang sudah ada\n"
    "               tidak pernah ditimpa.\n"
    "  --from FILE  database sumber (bawaan: %2).\n"
    "  --keep N     sesudah menyalin, simpan hanya N salinan terbaru di FOLDER,\n"
    "               termasuk yang baru dibuat (yang tidak pernah dihapus). Yang\n"
    "               dihitung dan dihapus hanya salinan yang sah: file SQLite\n"
    "               dengan tabel SIMPARO, bernama menurut pola di atas, dan\n"
    "               bertanggal tidak lewat dari sekarang; file lain dibiarkan.\n"
    "  -h, --help   tampilkan bantuan ini.\n"
    "\n"
    "Kode keluar:\n"
    "  0  salinan dibuat dan lolos semua pemeriksaan (putus saldo yang sudah\n"
    "     diketahui hanya dicatat).\n"
    "  1  gagal, tidak ada salinan: database tidak ada atau rusak, folder tujuan\n"
    "     tidak bisa ditulis atau penuh, atau pilihan salah.\n"
    "  2  salinan dibuat dan disimpan, tetapi ada yang tidak cocok (jejak audit,\n"
    "     buku tabungan, daftar nasabah, saldo yang putus dan belum diketahui, atau\n"
    "     jejak yang lebih pendek dari yang terlihat sebelumnya); kesalahan itu ada\n"
    "     juga di database sumber: periksa dengan simparo-verify --from FILE.\n"
    "\n"
    "Mengembalikan cadangan: tutup SIMPARO, hapus file -wal dan -shm di samping\n"
    "database (bila ada), lalu salin file cadangan menjadi %2.\n";

struct CheckResult
{
    bool usable = false;
    QString problem;
    audit::CheckResult trail;
};

// Integrity, the program's tables, then the check of simparo-verify: the audit
// trail's seals, the ledger against it, and every account's balance chain in
// posting order (saldo = previous saldo + kredit - debet, to the sen).
CheckResult checkCopy(const QString &copy, const QString &source, const std::optional<trailhead::Head> &seen)
{
    CheckResult result;
    db::Connection opened;
    QString error;
    if (!opened.openFile(copy, &error)) {
        result.problem = noCopy(db::notSqliteText(source));
        return result;
    }
    {
        QSqlDatabase database = QSqlDatabase::database(opened.name(), false);
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
        } else if (!audit::check(database, &result.trail, kFindingsShown, seen).isOk()) {
            result.problem = noCopy(db::notSqliteText(source));
        } else {
            result.usable = true;
        }
    }
    opened.close();
    return result;
}

// What a site whose data lives on a server is told: it backs it up there, with
// pg_dump, as the owner. A counter's service logs in as the lookup role or an
// operator, who may not read everything; by the names of the IT person's pages
// the owner's service is the counters' with "-pemilik" after it.
QString serverAdvice(const QString &setting)
{
    const QString service = db::connectionValue(setting, QStringLiteral("Data Source"));
    return QStringLiteral("Data SIMPARO ada di %1 (pengaturan %2); simparo-backup hanya menyalin file SQLite.\n"
                          "Cadangkan server dengan pg_dump dari akun bagian TI, dengan layanan pemilik "
                          "database (bukan layanan loket \"%3\"), misalnya:\n"
                          "  (umask 077; pg_dump -Fc -f simparo-$(date +%F).dump \"service=%3-pemilik\")\n"
                          "(lihat %4).")
        .arg(db::describedLocation(setting), native(db::settingFile()), service,
             native(cli::adminPage(QStringLiteral("cadangan.md"))));
}

// Makes the destination folder and those above it that are missing, 0700 whatever
// the umask (*madeFrom: the first it made). False, told, when it cannot.
bool makeDestination(const QString &folder, QString *madeFrom)
{
    if (privatefiles::makeFolders(folder, madeFrom))
        return true;
    // The cause is told by the parent that exists.
    QString parent = folder;
    while (!QFileInfo::exists(parent) && parent != QFileInfo(parent).path())
        parent = QFileInfo(parent).path();
    const int cause = ::access(QFile::encodeName(parent).constData(), W_OK) == 0 ? ENOTDIR : errno;
    say(err(), backupcopy::destinationFailure(cause, folder));
    return false;
}

// The head of the trail the copy ends in is kept for the next backup and
// simparo-verify. It goes only forward: a chain that lost its head keeps failing
// until the file is removed (after a restore that was meant).
void keepHead(const QString &identity, const audit::CheckResult &trail)
{
    const QString headFile = native(trailhead::fileFor(identity));
    if (!trail.headHolds) {
        say(out(), QStringLiteral("Kepala jejak yang terlihat sebelumnya ada di %1. Bila database ini memang "
                                  "dikembalikan dari cadangan, hapus file itu, lalu ulangi.")
                       .arg(headFile));
    } else if (trail.head) {
        QString headError;
        if (!trailhead::save(identity, {trail.head->nomor, trail.head->segel, {}}, &headError))
            say(err(), headError + QStringLiteral("\nKepala jejak tidak dicatat: cadangan berikutnya tidak bisa "
                                                  "menemukan jejak yang dipotong sejak sekarang."));
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
        say(err(), settingError);
        return Failed;
    }
    // A site whose data lives on a server backs it up there.
    if (!parser.isSet(from) && !settingDatabase) {
        say(err(), serverAdvice(*setting));
        return Failed;
    }
    const QString source = QFileInfo(parser.isSet(from) ? parser.value(from) : programFile).absoluteFilePath();
    // Nothing there, or a folder or a FIFO: named as such (a FIFO is never opened).
    if (const QString problem = db::placeProblemText(source); !problem.isEmpty()) {
        say(err(), noCopy(problem));
        return Failed;
    }
    db::setReadOnlySession();
    const QString identity = trailhead::identityOfFile(source);
    std::optional<trailhead::Head> seen;
    if (QString headError; !trailhead::load(identity, &seen, &headError)) {
        say(err(), noCopy(headError));
        return Failed;
    }
    const QString folder = QFileInfo(parser.positionalArguments().value(0, defaultFolder)).absoluteFilePath();
    // Folders it makes are 0700 whatever the umask; they go again when no copy is made.
    QString madeFrom;
    if (!makeDestination(folder, &madeFrom))
        return Failed;
    std::optional<Workshop> workshop;
    const auto failed = [&](const QString &message) {
        say(err(), message);
        workshop.reset();
        privatefiles::removeMadeFolders(folder, madeFrom);
        return Failed;
    };

    const QString base = QFileInfo(source).completeBaseName();
    const QString name = QStringLiteral("%1-%2.sqlite")
                             .arg(base, QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss")));
    const QString target = QDir(folder).filePath(name);
    const QString taken = QStringLiteral("File %1 sudah ada; simparo-backup tidak menimpa file.\n"
                                         "Ulangi sebentar lagi atau pilih folder lain.")
                              .arg(native(target));
    workshop.emplace();
    if (const int cause = workshop->open(folder, name))
        return failed(backupcopy::destinationFailure(cause, folder));
    if (workshop->taken())
        return failed(taken);
    QString error;
    if (!backupcopy::copyDatabase(source, workshop->copy(), &error))
        return failed(error);
    say(out(), QStringLiteral("Menyalin %1 ke %2 ...").arg(native(source), native(folder)));
    out().flush();
    const CheckResult check = checkCopy(workshop->copy(), source, seen);
    if (!check.usable)
        return failed(check.problem);
    if (!workshop->finish())
        return failed(taken);

    say(out(), QStringLiteral("Cadangan dibuat: %1").arg(native(target)));
    say(out(), QStringLiteral("Diperiksa: keutuhan baik; %1 rekening, %2 baris tabungan.")
                   .arg(check.trail.ledger.accounts)
                   .arg(check.trail.ledger.rows));
    for (const QString &line : audit::describe(check.trail))
        say(out(), line);
    keepHead(identity, check.trail);
    if (keepCount > 0)
        backupcopy::keepNewest(workshop->folder(), folder, base, name, keepCount,
                               [](const QString &line, bool isError) { say(isError ? err() : out(), line); });
    workshop.reset();
    if (!check.trail.holds()) {
        say(out(), QStringLiteral("Salinan tetap disimpan; yang tidak cocok ada juga di database %1 dan perlu "
                                  "diperiksa dengan: simparo-verify --from %1")
                       .arg(cli::shellWord(native(source))));
        out().flush();
        return ChainFindings;
    }
    return Ok;
}
