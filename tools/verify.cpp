// simparo-verify: checks the audit trail (jejak) and the ledger of a SIMPARO
// database, on a file or on a server: every seal of the chain, every ledger row
// and customer row against its trail row, every balance chain, the rules that keep
// the ledger and the trail append-only, and that the head of the trail it saw last
// (kept in a file of the user's own) is still there. Prints the seal at the end of
// a day or at a trail row, compares it with a printed one, and records a
// supervisor's acceptance of a break of a balance chain. It opens the database
// read-only, but to record an acceptance.
//
// Exit codes: 0 everything holds (known breaks are listed as notices); 1 some row
// does not match; 2 the check could not be made (no database, wrong command line);
// 3 no seal yet (no trail row up to that day, or no row of that number).
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
#include "data/base/session.h"
#include "data/base/textforms.h"
#include "data/trail/trailhead.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace {

enum Exit { Holds = 0, Mismatch = 1, Trouble = 2, NoSealYet = 3 };

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

// What the tool prints: data never reaches the terminal with its control characters.
void say(QTextStream &stream, const QString &text)
{
    stream << textform::printableLines(text) << "\n";
}

const char kHelp[] =
    "Pemakaian: simparo-verify [--from FILE | --server LAYANAN]\n"
    "           simparo-verify [--from FILE | --server LAYANAN] --seal TANGGAL [--expect SEGEL]\n"
    "           simparo-verify [--from FILE | --server LAYANAN] --seal-at NOMOR [--expect SEGEL]\n"
    "           simparo-verify [--from FILE | --server LAYANAN] --accept REKENING:BARIS\n"
    "\n"
    "Memeriksa jejak audit (tabel jejak), buku tabungan (nabubg) dan daftar nasabah\n"
    "(daftar) database SIMPARO:\n"
    "  - rantai jejak menurut nomor: nomor 1, 2, 3 ... tanpa celah, dan setiap segel\n"
    "    dihitung ulang dari barisnya dan segel sebelumnya;\n"
    "  - setiap baris buku tabungan punya tepat satu baris jejak (setoran atau\n"
    "    penarikan) yang isinya sama dengan baris itu, atau termasuk rentang sebuah\n"
    "    impor atau pemasangan jejak yang jumlah dan digest-nya cocok;\n"
    "  - setiap nasabah sama dengan baris jejak terakhirnya (nasabah baru, ubah,\n"
    "    hapus), atau termasuk nasabah yang dicatat sebuah impor atau pemasangan jejak;\n"
    "  - kesinambungan saldo setiap rekening. Putus saldo yang sudah diketahui\n"
    "    (dicatat impor, pemasangan jejak, atau diterima penyelia) ditampilkan\n"
    "    sebagai catatan; putus lain adalah temuan;\n"
    "  - baris yang hanya boleh ditulis alat pemilik (putus diterima, impor, pasang\n"
    "    jejak, pindah, operator tambah/hapus/reset) diakui hanya bila ditulis\n"
    "    pemilik database;\n"
    "  - aturan (trigger) yang membuat nabubg dan jejak hanya boleh ditambah masih ada;\n"
    "  - kepala jejak (nomor dan segel baris terakhir) yang terlihat pada pemeriksaan\n"
    "    sebelumnya masih ada dengan segel yang sama. Kepala itu disimpan di file\n"
    "    pribadi pengguna, satu untuk setiap database, di %3.\n"
    "Baris yang tidak cocok disebut dengan tabel, baris dan bedanya. Database dibuka\n"
    "hanya-baca (kecuali untuk --accept), jadi disk yang hanya-baca tetap bisa diperiksa.\n"
    "\n"
    "  --from FILE               periksa file database ini.\n"
    "  --server LAYANAN          periksa database server PostgreSQL dari layanan ini\n"
    "                            (pg_service.conf), dengan layanan pemilik database.\n"
    "                            Tanpa keduanya: database menurut pengaturan koneksi\n"
    "                            SIMPARO (%1), atau %2.\n"
    "  --seal TANGGAL            cetak segel akhir hari itu (TAHUN-BULAN-HARI), dalam\n"
    "                            kelompok empat huruf, untuk dibandingkan dengan segel\n"
    "                            yang tercetak di laporan harian.\n"
    "  --seal-at NOMOR           cetak segel jejak nomor itu: laporan harian yang dicetak\n"
    "                            sebelum hari berakhir mencetak nomor jejak di samping\n"
    "                            segelnya.\n"
    "  --expect SEGEL            bersama --seal atau --seal-at: bandingkan dengan segel\n"
    "                            yang tercetak (64 huruf heksadesimal, spasi boleh).\n"
    "  --accept REKENING:BARIS   catat bahwa penyelia menerima putus saldo rekening\n"
    "                            itu pada baris (rowid) itu; sesudahnya putus itu\n"
    "                            sudah diketahui. Pelakunya: simparo-verify (user sistem).\n"
    "  -h, --help                tampilkan bantuan ini.\n"
    "\n"
    "Kode keluar:\n"
    "  0  semua cocok (putus yang sudah diketahui hanya dicatat); dengan --expect:\n"
    "     segel sama.\n"
    "  1  ada yang tidak cocok; dengan --expect: segel berbeda, atau baris yang\n"
    "     segelnya tercetak tidak ada lagi.\n"
    "  2  pemeriksaan tidak bisa dilakukan (database tidak ada atau tidak terbaca,\n"
    "     perintah salah).\n"
    "  3  belum ada segel: belum ada baris jejak sampai akhir hari itu, atau belum ada\n"
    "     jejak nomor itu.\n";

// A printed seal as the chain stores it: 64 lower-case hex digits; empty when it is none.
QString sealTyped(const QString &typed)
{
    QString seal = typed.toLower();
    seal.remove(QRegularExpression(QStringLiteral("\\s")));
    static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
    return hex.match(seal).hasMatch() ? seal : QString();
}

// Prints a seal found (or that there is none) and compares it with the one
// expected, if any; the exit code.
int tellSeal(const QString &heading, const std::optional<audit::DaySeal> &seal, const QString &none,
             const QString &expected)
{
    if (!seal) {
        say(out(), none);
        if (expected.isEmpty())
            return NoSealYet;
        say(out(), QStringLiteral("SEGEL TIDAK COCOK: segel yang tercetak tidak ada di jejak ini: jejak dipotong atau "
                                  "diganti sesudah segel itu dicetak."));
        return Mismatch;
    }
    const QDateTime local = audit::localTime(seal->waktu, seal->zona);
    say(out(), QStringLiteral("%1 (jejak nomor %2, %3 %4):")
                   .arg(heading)
                   .arg(seal->nomor)
                   .arg(local.isValid() ? local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : seal->waktu, seal->zona));
    say(out(), audit::groupedSeal(seal->segel));
    if (expected.isEmpty())
        return Holds;
    if (seal->segel == expected) {
        say(out(), QStringLiteral("Segel sama dengan yang tercetak."));
        return Holds;
    }
    say(out(), QStringLiteral("SEGEL TIDAK COCOK: tercetak %1; jejak diubah sesudah segel itu dicetak.")
                   .arg(audit::groupedSeal(expected)));
    return Mismatch;
}

// The check, with the head of the trail seen last.
int checkAll(QSqlDatabase &database, const QString &identity)
{
    say(out(), QStringLiteral("Memeriksa %1 ...").arg(db::location(database)));
    out().flush();
    std::optional<trailhead::Head> seen;
    QString error;
    if (!trailhead::load(identity, &seen, &error)) {
        say(err(), error);
        return Trouble;
    }
    audit::CheckResult result;
    const Outcome checked = audit::check(database, &result, 100, seen);
    if (!checked.isOk()) {
        say(err(), checked.message());
        return Trouble;
    }
    for (const QString &line : audit::describe(result))
        say(out(), line);
    const QString file = QDir::toNativeSeparators(trailhead::fileFor(identity));
    if (!result.headHolds) {
        say(out(), QStringLiteral("Kepala jejak yang terlihat sebelumnya ada di %1. Bila database ini memang "
                                  "dikembalikan dari cadangan, hapus file itu, lalu periksa lagi.")
                       .arg(file));
    } else if (result.head) {
        // Only ever forward: a chain that lost its head keeps failing until the file is removed.
        if (!trailhead::save(identity, {result.head->nomor, result.head->segel, {}}, &error))
            say(err(), error + QStringLiteral("\nKepala jejak tidak dicatat: pemeriksaan berikutnya tidak bisa menemukan "
                                              "jejak yang dipotong sejak sekarang."));
        else
            say(out(), QStringLiteral("Kepala jejak (nomor %1) dicatat di %2 untuk pemeriksaan berikutnya.")
                           .arg(result.head->nomor)
                           .arg(file));
    }
    return result.holds() && result.hasTrail ? Holds : Mismatch;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simparo-verify"));
    cli::useIndonesian();
    // Its long transaction and reads are not held to the limits of a clerk's screen.
    db::setToolSession();
    session::setOperator(session::toolOperator(QStringLiteral("simparo-verify")));

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption server(QStringLiteral("server"), QString(), QStringLiteral("LAYANAN"));
    const QCommandLineOption sealOption(QStringLiteral("seal"), QString(), QStringLiteral("TANGGAL"));
    const QCommandLineOption sealAt(QStringLiteral("seal-at"), QString(), QStringLiteral("NOMOR"));
    const QCommandLineOption expect(QStringLiteral("expect"), QString(), QStringLiteral("SEGEL"));
    const QCommandLineOption accept(QStringLiteral("accept"), QString(), QStringLiteral("REKENING:BARIS"));
    parser.addOptions({help, from, server, sealOption, sealAt, expect, accept});
    if (!parser.parse(app.arguments())) {
        if (!parser.unknownOptionNames().isEmpty())
            err() << "Pilihan tidak dikenal: " << parser.unknownOptionNames().join(QStringLiteral(", "));
        else
            err() << "Pilihan salah (" << parser.errorText() << ")";
        err() << "\nLihat: simparo-verify --help\n";
        return Trouble;
    }
    if (parser.isSet(help)) {
        const QStringList settings = db::settingFiles();
        QStringList shown;
        for (const QString &file : settings)
            shown << QDir::toNativeSeparators(file);
        out() << QString::fromUtf8(kHelp).arg(shown.join(QStringLiteral(" atau ")),
                                              QDir::toNativeSeparators(db::databaseFile()),
                                              QDir::toNativeSeparators(QFileInfo(trailhead::fileFor({})).path()));
        return Holds;
    }
    if (!parser.positionalArguments().isEmpty()) {
        err() << "Argumen tidak dikenal: " << parser.positionalArguments().join(u' ')
              << "\nLihat: simparo-verify --help\n";
        return Trouble;
    }
    if (parser.isSet(from) && parser.isSet(server)) {
        err() << "Pakai --from atau --server, jangan keduanya.\n";
        return Trouble;
    }
    if (int(parser.isSet(sealOption)) + int(parser.isSet(sealAt)) + int(parser.isSet(accept)) > 1) {
        err() << "Pakai salah satu dari --seal, --seal-at dan --accept.\n";
        return Trouble;
    }
    QString expected;
    if (parser.isSet(expect)) {
        expected = sealTyped(parser.value(expect));
        if (!parser.isSet(sealOption) && !parser.isSet(sealAt)) {
            err() << "--expect hanya dipakai bersama --seal atau --seal-at.\n";
            return Trouble;
        }
        if (expected.isEmpty()) {
            err() << "--expect memerlukan segel 64 huruf heksadesimal (0-9, a-f), boleh dalam kelompok empat.\n";
            return Trouble;
        }
    }
    qint64 row = 0;
    if (parser.isSet(sealAt)) {
        bool ok = false;
        row = parser.value(sealAt).toLongLong(&ok);
        if (!ok || row < 1) {
            err() << "--seal-at memerlukan nomor jejak 1 atau lebih, misalnya 8.\n";
            return Trouble;
        }
    }
    QDate day;
    if (parser.isSet(sealOption)) {
        day = QDate::fromString(parser.value(sealOption), QStringLiteral("yyyy-MM-dd"));
        if (!day.isValid()) {
            err() << "--seal memerlukan tanggal TAHUN-BULAN-HARI, misalnya 2026-12-09.\n";
            return Trouble;
        }
    }
    QString account;
    qint64 key = 0;
    if (parser.isSet(accept)) {
        const QString value = parser.value(accept);
        const qsizetype colon = value.lastIndexOf(u':');
        bool ok = false;
        key = value.mid(colon + 1).toLongLong(&ok);
        account = value.left(colon);
        if (colon <= 0 || !ok || key <= 0) {
            err() << "--accept memerlukan REKENING:BARIS, misalnya 0101:1234 (baris: rowid di nabubg).\n";
            return Trouble;
        }
    }

    // Only an acceptance writes: everything else reads, also from a read-only disk.
    if (account.isEmpty())
        db::setReadOnlySession();
    // What to check: as the program reads its setting, unless a file or service is named.
    db::Connection connection;
    QString error;
    std::optional<QString> file; // the file checked, if it is one
    bool opened = false;
    if (parser.isSet(from)) {
        file = QFileInfo(parser.value(from)).absoluteFilePath();
        opened = connection.openFile(*file, &error);
    } else if (parser.isSet(server)) {
        opened = connection.open(db::serviceConnectionText(parser.value(server)), &error);
    } else if (const std::optional<QString> setting = db::checkedConnectionText(&error)) {
        file = db::dialectFor(*setting).fileOf(*setting);
        opened = connection.open(*setting, &error);
    }
    if (!opened) {
        say(err(), error);
        return Trouble;
    }
    int exit = Holds;
    {
        QSqlDatabase database = connection.database();
        QStringList missing;
        QSqlError failure;
        if (!db::missingRelations(database, &missing, &failure)) {
            say(err(), db::describeError(failure, database));
            exit = Trouble;
        } else if (!missing.isEmpty()) {
            say(err(), db::dialect(database).incompleteText(db::location(database), missing.join(QStringLiteral(", "))));
            exit = Trouble;
        } else if (day.isValid() || row > 0) {
            std::optional<audit::DaySeal> seal;
            const Outcome found = day.isValid() ? audit::sealAtEndOfDay(database, day, &seal)
                                                : audit::sealAtRow(database, row, &seal);
            if (!found.isOk()) {
                say(err(), found.message());
                exit = Trouble;
            } else if (day.isValid()) {
                exit = tellSeal(QStringLiteral("Segel akhir %1").arg(day.toString(Qt::ISODate)), seal,
                                QStringLiteral("Belum ada segel: belum ada baris jejak sampai akhir %1.")
                                    .arg(day.toString(Qt::ISODate)),
                                expected);
            } else {
                exit = tellSeal(QStringLiteral("Segel"), seal,
                                QStringLiteral("Belum ada segel: belum ada jejak nomor %1.").arg(row), expected);
            }
        } else if (!account.isEmpty()) {
            // It writes: the database it writes in is named first.
            say(out(), QStringLiteral("Database: %1").arg(db::location(database)));
            const Outcome accepted = audit::acceptBreak(database, account, key);
            if (!accepted.isOk()) {
                say(accepted.isRefused() ? out() : err(), accepted.message());
                exit = accepted.isRefused() ? Mismatch : Trouble;
            } else {
                say(out(), QStringLiteral("Dicatat: putus saldo rekening %1 pada baris %2 diterima oleh %3.")
                               .arg(account)
                               .arg(key)
                               .arg(session::operatorName()));
            }
        } else {
            exit = checkAll(database, file ? trailhead::identityOfFile(*file) : db::location(database));
        }
    }
    connection.close();
    // A server's connection kept for a next opening goes with the tool.
    db::releaseIdleConnections();
    return exit;
}
