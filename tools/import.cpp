// simparo-import PATH.mdb: brings the customer register, the savings ledger and the
// operators of an old asli.mdb into a new SIMPARO database, and reports every row
// that needs a look.
#include "common/commandline.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "import/importer.h"
#include "import/legacyreader.h"
#include "progressbar.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <sys/stat.h>

int main(int argc, char *argv[])
{
    // Everything the import makes (the database, its journals, the report, and the
    // temporary files of SQLite and the system) is for this user alone, whatever
    // the umask it was started with.
    ::umask(077);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simparo-import"));
    cli::useIndonesian();
    // Its long transaction and reads are not held to the limits of a clerk's screen.
    db::setToolSession();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Memindahkan data dari file lama asli.mdb (tabel daftar, nabubg, tpassword) ke database "
                       "SIMPARO baru di %1, atau (dengan --server) ke database PostgreSQL sebuah layanan.\n\n"
                       "Baris yang ditolak oleh database (nomor rekening ganda, kosong, atau lebih dari 10 "
                       "karakter) disisihkan ke tabel impor_disisihkan; semua keanehan lain tetap disimpan apa "
                       "adanya. Laporannya dicetak dan disimpan di samping database (untuk server: di folder saat "
                       "ini).\n\n"
                       "Kode keluar: 0 berhasil, 1 gagal (tidak ada yang ditulis), 2 perintah salah, "
                       "3 ditolak oleh --strict (tidak ada yang ditulis).")
            .arg(QDir::toNativeSeparators(db::databaseFile())));
    // The help option of our own: Qt's would offer --help-all with Qt's own options, in English.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Tampilkan bantuan ini."));
    parser.addOption(help);
    parser.addPositionalArgument(QStringLiteral("FILE.mdb"), QStringLiteral("File Access lama (asli.mdb)."));
    parser.addOption({QStringLiteral("to"), QStringLiteral("Buat database di FILE, bukan di tempat biasanya."),
                      QStringLiteral("FILE")});
    parser.addOption({QStringLiteral("server"),
                      QStringLiteral("Tulis ke database PostgreSQL layanan LAYANAN (host, role dari pg_service.conf, "
                                     "password dari .pgpass); tabelnya dibuat bila belum ada."),
                      QStringLiteral("LAYANAN")});
    parser.addOption(
        {QStringLiteral("into-existing"),
         QStringLiteral("Tambahkan baris ke database yang sudah ada (tidak ada yang diubah atau dihapus).")});
    parser.addOption(
        {QStringLiteral("strict"), QStringLiteral("Berhenti tanpa menulis apa pun bila ada satu saja anomali.")});
    parser.addOption({QStringLiteral("progress-lines"),
                      QStringLiteral("Tulis kemajuan di stderr sebagai baris \"kemajuan<TAB>SELESAI<TAB>JUMLAH<TAB>"
                                     "LANGKAH\", untuk program yang menjalankan impor ini (jendela mulai SIMPARO).")});

    QTextStream out(stdout);
    QTextStream err(stderr);
    // A wrong command line ends with exit code 2, as the help says.
    if (!parser.parse(app.arguments())) {
        err << parser.errorText() << "\nLihat: simparo-import --help\n";
        return import::kUsage;
    }
    if (parser.isSet(help)) {
        out << parser.helpText();
        return import::kSuccess;
    }
    if (parser.positionalArguments().size() != 1) {
        err << "Sebutkan tepat satu file .mdb. Lihat: simparo-import --help\n";
        return import::kUsage;
    }
    if (parser.isSet(QStringLiteral("to")) && parser.isSet(QStringLiteral("server"))) {
        err << "--to dan --server tidak bisa dipakai bersama. Lihat: simparo-import --help\n";
        return import::kUsage;
    }

    import::Options options;
    options.source = parser.positionalArguments().constFirst();
    options.target = parser.value(QStringLiteral("to"));
    options.server = parser.value(QStringLiteral("server"));
    options.intoExisting = parser.isSet(QStringLiteral("into-existing"));
    options.strict = parser.isSet(QStringLiteral("strict"));
    // The reader lies beside this program in a build folder, and in SIMPARO's private
    // folder when installed; tests may put another in its place.
    options.reader = qEnvironmentVariable("SIMPARO_MDB_READER");
    if (options.reader.isEmpty()) {
        options.reader = QCoreApplication::applicationDirPath() + QStringLiteral("/simparo-mdb-reader");
        if (!QFileInfo(options.reader).isExecutable())
            options.reader = cli::privateProgram(QStringLiteral("simparo-mdb-reader"));
    }
    bool ok = false;
    const double seconds = qEnvironmentVariable("SIMPARO_IMPORT_TIMEOUT").toDouble(&ok);
    if (ok && seconds > 0)
        options.silenceTimeoutMs = int(seconds * 1000);
    ProgressBar bar;
    if (parser.isSet(QStringLiteral("progress-lines"))) {
        // One line per step taken, at most ten a second: a window reads them as they come.
        options.progress = [clock = QElapsedTimer(), last = QString(), lastDone = qint64(-1)](
                               const QString &step, qint64 done, qint64 total) mutable {
            if (step == last && (done == lastDone || (clock.elapsed() < 100 && done < total)))
                return;
            last = step;
            lastDone = done;
            clock.start();
            QTextStream(stderr) << "kemajuan\t" << done << '\t' << total << '\t' << step << '\n' << Qt::flush;
        };
    } else {
        options.progress = [&bar](const QString &step, qint64 done, qint64 total) { bar.show(step, done, total); };
    }

    // The database it writes in is named before it writes (beside the progress, not in the report).
    if (!parser.isSet(QStringLiteral("progress-lines")))
        err << "Mengimpor ke "
            << legacy::printable(options.server.isEmpty()
                                     ? QDir::toNativeSeparators(QFileInfo(options.target.isEmpty() ? db::databaseFile()
                                                                                                   : options.target)
                                                                    .absoluteFilePath())
                                     : db::describedLocation(db::serviceConnectionText(options.server)))
            << " ...\n" << Qt::flush;
    const import::Outcome outcome = import::run(options);
    bar.clear();
    if (!outcome.report.isEmpty())
        out << outcome.report << Qt::flush;
    if (!outcome.error.isEmpty())
        err << outcome.error << (outcome.exitCode == import::kFailed ? "\nTidak ada yang ditulis.\n" : "\n");
    return outcome.exitCode;
}
