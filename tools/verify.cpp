// simparo-verify: checks the audit trail (jejak) and the ledger of a SIMPARO
// database, on a file or on a server: every seal of the chain, every ledger row
// against its trail row, every balance chain. Prints the seal at the end of a day,
// and records a supervisor's acceptance of a break of a balance chain.
//
// Exit codes: 0 everything holds (known breaks are listed as notices); 1 some row
// does not match; 2 the check could not be made (no database, wrong command line).
#include "data/auditcheck.h"
#include "data/commandline.h"
#include "data/database.h"
#include "data/session.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

namespace {

enum Exit { Holds = 0, Mismatch = 1, Trouble = 2 };

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

const char kHelp[] =
    "Pemakaian: simparo-verify [--from FILE | --server LAYANAN] [--seal TANGGAL | --accept REKENING:BARIS]\n"
    "\n"
    "Memeriksa jejak audit (tabel jejak) dan buku tabungan (nabubg) database SIMPARO:\n"
    "  - rantai jejak menurut nomor: nomor 1, 2, 3 ... tanpa celah, dan setiap segel\n"
    "    dihitung ulang dari barisnya dan segel sebelumnya;\n"
    "  - setiap baris buku tabungan punya tepat satu baris jejak (setoran atau\n"
    "    penarikan) yang isinya sama dengan baris itu, atau termasuk rentang sebuah\n"
    "    impor atau pemasangan jejak yang jumlah dan digest-nya cocok;\n"
    "  - kesinambungan saldo setiap rekening. Putus saldo yang sudah diketahui\n"
    "    (dicatat impor, pemasangan jejak, atau diterima penyelia) ditampilkan\n"
    "    sebagai catatan; putus lain adalah temuan.\n"
    "Baris pertama yang tidak cocok disebut dengan tabel, baris dan bedanya.\n"
    "\n"
    "  --from FILE               periksa file database ini.\n"
    "  --server LAYANAN          periksa database server PostgreSQL dari layanan ini\n"
    "                            (pg_service.conf).\n"
    "                            Tanpa keduanya: database menurut pengaturan koneksi\n"
    "                            SIMPARO (%1), atau %2.\n"
    "  --seal TANGGAL            cetak segel akhir hari itu (TAHUN-BULAN-HARI), dalam\n"
    "                            kelompok empat huruf, untuk dibandingkan dengan segel\n"
    "                            yang tercetak di laporan harian.\n"
    "  --accept REKENING:BARIS   catat bahwa penyelia menerima putus saldo rekening\n"
    "                            itu pada baris (rowid) itu; sesudahnya putus itu\n"
    "                            sudah diketahui. Pelakunya: simparo-verify (user sistem).\n"
    "  -h, --help                tampilkan bantuan ini.\n"
    "\n"
    "Kode keluar: 0 semua cocok (putus yang sudah diketahui hanya dicatat);\n"
    "1 ada yang tidak cocok; 2 pemeriksaan tidak bisa dilakukan.\n";


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
    const QCommandLineOption accept(QStringLiteral("accept"), QString(), QStringLiteral("REKENING:BARIS"));
    parser.addOptions({help, from, server, sealOption, accept});
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
                                              QDir::toNativeSeparators(db::databaseFile()));
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
    if (parser.isSet(sealOption) && parser.isSet(accept)) {
        err() << "Pakai --seal atau --accept, jangan keduanya.\n";
        return Trouble;
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

    // What to check: as the program reads its setting, unless a file or service is named.
    QString name;
    QString error;
    bool opened = false;
    if (parser.isSet(from)) {
        opened = db::openFile(QFileInfo(parser.value(from)).absoluteFilePath(), &name, &error);
    } else if (parser.isSet(server)) {
        opened = db::openConnection(QStringLiteral("Provider=%1;Data Source=%2")
                                        .arg(QLatin1String(db::kServerProvider), parser.value(server)),
                                    &name, &error);
    } else if (const std::optional<QString> setting = db::checkedConnectionText(&error)) {
        opened = db::openConnection(*setting, &name, &error);
    }
    if (!opened) {
        err() << error << "\n";
        return Trouble;
    }
    int exit = Holds;
    {
        QSqlDatabase database = db::connection(name);
        QStringList missing;
        QSqlError failure;
        if (!db::missingRelations(database, &missing, &failure)) {
            err() << db::describeError(failure, database) << "\n";
            exit = Trouble;
        } else if (!missing.isEmpty()) {
            err() << db::dialect(database).incompleteText(db::location(database), missing.join(QStringLiteral(", ")))
                  << "\n";
            exit = Trouble;
        } else if (day.isValid()) {
            std::optional<audit::DaySeal> seal;
            const Outcome found = audit::sealAtEndOfDay(database, day, &seal);
            if (!found.isOk()) {
                err() << found.message() << "\n";
                exit = Trouble;
            } else if (!seal) {
                out() << "Belum ada baris jejak sampai akhir " << day.toString(Qt::ISODate) << ".\n";
                exit = Mismatch;
            } else {
                const QDateTime local = audit::localTime(seal->waktu, seal->zona);
                out() << "Segel akhir " << day.toString(Qt::ISODate) << " (jejak nomor " << seal->nomor << ", "
                      << local.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << " " << seal->zona << "):\n"
                      << audit::groupedSeal(seal->segel) << "\n";
            }
        } else if (!account.isEmpty()) {
            const Outcome accepted = audit::acceptBreak(database, account, key);
            if (!accepted.isOk()) {
                (accepted.isRefused() ? out() : err()) << accepted.message() << "\n";
                exit = accepted.isRefused() ? Mismatch : Trouble;
            } else {
                out() << "Dicatat: putus saldo rekening " << account << " pada baris " << key
                      << " diterima oleh " << session::operatorName() << ".\n";
            }
        } else {
            out() << "Memeriksa " << db::location(database) << " ...\n" << Qt::flush;
            audit::CheckResult result;
            const Outcome checked = audit::check(database, &result);
            if (!checked.isOk()) {
                err() << checked.message() << "\n";
                exit = Trouble;
            } else {
                for (const QString &line : audit::describe(result))
                    out() << line << "\n";
                exit = result.holds() && result.hasTrail ? Holds : Mismatch;
            }
        }
    }
    db::closeConnection(name);
    // A server's connection kept for a next opening goes with the tool.
    db::releaseIdleConnections();
    return exit;
}
