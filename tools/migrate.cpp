// simparo-migrate: moves a whole SIMPARO database from a file onto a server's
// database, or from a server's database into a new file, and checks the target
// against the source afterwards (see migrate/transfer.h).
//
// Exit codes: 0 moved, and every check agrees; 1 nothing was moved; 2 wrong
// command line; 3 moved, but a check does not agree or could not be made.
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
#include "migrate/transfer.h"
#include "progressbar.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <QThread>
#include <sys/stat.h>

namespace {

enum Exit { Moved = 0, Failed = 1, Usage = 2, Mismatch = 3 };

const char kHelp[] =
    "Pemakaian: simparo-migrate --to-server LAYANAN [--from FILE]\n"
    "           simparo-migrate --from-server LAYANAN --to FILE\n"
    "\n"
    "Memindahkan seluruh database SIMPARO dari file ke database PostgreSQL sebuah\n"
    "layanan (pg_service.conf), atau dari server ke file baru. Semua tabel ikut\n"
    "(daftar, nabubg, tpassword, jejak, impor_disisihkan) dengan kunci dan urutan\n"
    "barisnya, sehingga setiap segel jejak audit tetap cocok.\n"
    "\n"
    "  --to-server LAYANAN    pindahkan ke database layanan ini; database itu belum\n"
    "                         boleh berisi tabel SIMPARO. Pakai layanan pemilik\n"
    "                         database (misalnya simparo-pemilik), bukan layanan\n"
    "                         loket: peran loket tidak boleh membuat tabel.\n"
    "  --from FILE            file sumber (tanpa pilihan ini: %1).\n"
    "  --from-server LAYANAN  pindahkan dari database layanan ini (layanan pemilik).\n"
    "  --to FILE              file baru tujuan; file yang sudah ada tidak pernah ditimpa.\n"
    "  -h, --help             tampilkan bantuan ini.\n"
    "\n"
    "Sumber dibaca dalam satu transaksi baca (satu snapshot), tujuan diisi dalam\n"
    "satu transaksi: bila gagal atau dihentikan, tujuan tetap kosong. Tutup dulu\n"
    "SIMPARO di semua loket. Sesudahnya tujuan diperiksa: jumlah baris dan digest\n"
    "setiap tabel dibandingkan dengan sumber, kesinambungan saldo, dan pemeriksaan\n"
    "simparo-verify. Password operator tidak ikut pindah: setiap operator diberi\n"
    "password baru dengan simparo-operator --server LAYANAN reset NAMA (ke server)\n"
    "atau simparo-operator --from FILE reset NAMA (ke file); laporan mencetak\n"
    "baris itu untuk setiap operator.\n"
    "\n"
    "Kode keluar: 0 pindah dan semua cocok; 1 tidak ada yang dipindahkan;\n"
    "2 perintah salah; 3 sudah pindah, tetapi ada pemeriksaan yang tidak cocok.\n";

} // namespace

int main(int argc, char *argv[])
{
    // The new file, its journals and SQLite's temporary files are for this user alone.
    ::umask(077);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simparo-migrate"));
    cli::useIndonesian();
    // Its long transactions and reads are not held to the limits of a clerk's screen.
    db::setToolSession();
    session::setOperator(session::toolOperator(QStringLiteral("simparo-migrate")));

    QTextStream out(stdout);
    QTextStream err(stderr);
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption toServer(QStringLiteral("to-server"), QString(), QStringLiteral("LAYANAN"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption fromServer(QStringLiteral("from-server"), QString(), QStringLiteral("LAYANAN"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("FILE"));
    parser.addOptions({help, toServer, from, fromServer, to});
    if (!parser.parse(app.arguments())) {
        if (!parser.unknownOptionNames().isEmpty())
            err << "Pilihan tidak dikenal: " << parser.unknownOptionNames().join(QStringLiteral(", "));
        else
            err << "Pilihan salah (" << parser.errorText() << ")";
        err << "\nLihat: simparo-migrate --help\n";
        return Usage;
    }
    if (parser.isSet(help)) {
        out << QString::fromUtf8(kHelp).arg(QDir::toNativeSeparators(db::databaseFile()));
        return Moved;
    }
    const bool up = parser.isSet(toServer) && !parser.isSet(fromServer) && !parser.isSet(to);
    const bool down = parser.isSet(fromServer) && parser.isSet(to) && !parser.isSet(toServer) && !parser.isSet(from);
    if (!parser.positionalArguments().isEmpty() || up == down) {
        err << "Pakai --to-server LAYANAN [--from FILE], atau --from-server LAYANAN --to FILE.\n"
               "Lihat: simparo-migrate --help\n";
        return Usage;
    }
    transfer::Place source, target;
    if (up) {
        source.file = QFileInfo(parser.isSet(from) ? parser.value(from) : db::databaseFile()).absoluteFilePath();
        target.service = parser.value(toServer);
    } else {
        source.service = parser.value(fromServer);
        target.file = QFileInfo(parser.value(to)).absoluteFilePath();
    }

    // The tests stop the move half way here (after the rows of this table are
    // written, before the commit), to end the process there.
    const QString pauseAfter = qEnvironmentVariable("SIMPARO_MIGRATE_PAUSE_AFTER");
    ProgressBar bar(true);
    const auto progress = [&](const QString &step, qint64 done, qint64 total) {
        bar.show(step, done, total);
        if (!pauseAfter.isEmpty() && step == QStringLiteral("Menyalin ") + pauseAfter && done == total) {
            QTextStream(stderr) << "jeda\n" << Qt::flush;
            QThread::sleep(60);
        }
    };
    const transfer::Result result = transfer::move(source, target, progress);
    bar.clear();
    out << textform::printableLines(transfer::describe(result).join(u'\n')) << '\n' << Qt::flush;
    db::releaseIdleConnections();
    if (!result.moved) {
        err << textform::printableLines(result.error) << "\nTidak ada yang dipindahkan.\n";
        return Failed;
    }
    if (!result.error.isEmpty())
        err << textform::printableLines(result.error) << "\n";
    return result.holds() ? Moved : Mismatch;
}
