// simparo-operator: lists the operators of a SIMPARO database, adds one, removes
// one, or gives one a new password, on a file or on a server. Every change is
// recorded in the audit trail; the last operator is never removed. A password
// comes from a prompt (asked twice, not shown) or from standard input, never
// from the command line.
//
// Exit codes: 0 done; 1 refused or failed, nothing changed.
#include "common/commandline.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/operators/operators.h"
#include "data/base/session.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <termios.h>
#include <unistd.h>

namespace {

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

// One reader for the whole run: a stream reads ahead, so a second one would miss lines.
QTextStream &input()
{
    static QTextStream stream(stdin);
    return stream;
}

// A line typed without being shown.
QString askHidden(const QString &question)
{
    out() << question << Qt::flush;
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    const QString answer = input().readLine();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        out() << "\n" << Qt::flush;
    }
    return answer;
}

const char kHelp[] =
    "Pemakaian: simparo-operator [--from FILE | --server LAYANAN] list\n"
    "           simparo-operator [--from FILE | --server LAYANAN] add NAMA [--penyelia] [--password-stdin]\n"
    "           simparo-operator [--from FILE | --server LAYANAN] remove NAMA\n"
    "           simparo-operator [--from FILE | --server LAYANAN] reset NAMA [--password-stdin]\n"
    "           simparo-operator [--from FILE | --server LAYANAN] peran NAMA kasir|penyelia\n"
    "\n"
    "Mengatur operator database SIMPARO: siapa yang boleh masuk.\n"
    "  list          tampilkan nama semua operator menurut urutan simpan, dengan\n"
    "                jenisnya (kasir atau penyelia).\n"
    "  add NAMA      tambah operator baru dengan password baru, sebagai kasir\n"
    "                (dengan --penyelia: sebagai penyelia). Nama yang sudah\n"
    "                dipakai ditolak.\n"
    "  remove NAMA   hapus operator itu. Operator terakhir dan penyelia terakhir\n"
    "                tidak boleh dihapus.\n"
    "  reset NAMA    beri operator itu password baru (misalnya bila lupa).\n"
    "  peran NAMA kasir|penyelia\n"
    "                jadikan operator itu kasir atau penyelia. Penyelia menyetujui\n"
    "                penarikan besar dan mengubah pengaturan; penyelia terakhir\n"
    "                tidak boleh dijadikan kasir.\n"
    "Dari dua operator bernama sama, yang pertama menurut urutan simpan yang\n"
    "dipakai untuk masuk, dihapus atau diberi password baru.\n"
    "\n"
    "Di file, operator adalah baris tabel tpassword dengan hash passwordnya. Di\n"
    "server, setiap operator juga peran server sendiri (DATABASE_op_NOMOR, anggota\n"
    "DATABASE_operator) yang menyimpan passwordnya; jalankan dengan layanan\n"
    "pemilik database (peran yang menjalankan simparo-initdb --server).\n"
    "Di server, penyelia juga anggota DATABASE_penyelia.\n"
    "Setiap perubahan dicatat di jejak audit (operator tambah, operator hapus,\n"
    "operator reset, operator peran).\n"
    "\n"
    "  --from FILE       pakai file database ini.\n"
    "  --server LAYANAN  pakai database server PostgreSQL dari layanan ini\n"
    "                    (pg_service.conf).\n"
    "                    Tanpa keduanya: database menurut pengaturan koneksi\n"
    "                    SIMPARO (%1), atau %2.\n"
    "  --password-stdin  baca password baru dari satu baris masukan standar,\n"
    "                    misalnya: printf '%s\\n' \"$PW\" | simparo-operator add budi --password-stdin\n"
    "                    (tanpa ini: ditanyakan dua kali tanpa ditampilkan).\n"
    "                    Password tidak pernah diberikan sebagai argumen: argumen\n"
    "                    terlihat oleh pengguna lain di daftar proses.\n"
    "  -h, --help        tampilkan bantuan ini.\n"
    "\n"
    "Kode keluar: 0 selesai; 1 ditolak atau gagal, tidak ada yang diubah.\n";

// The connection text of the database to work on; nothing (after telling why) when there is none.
std::optional<QString> target(const QCommandLineParser &parser, const QCommandLineOption &from,
                              const QCommandLineOption &server)
{
    if (parser.isSet(from) && parser.isSet(server)) {
        err() << "Pakai --from atau --server, jangan keduanya.\n";
        return std::nullopt;
    }
    if (parser.isSet(server)) {
        if (parser.value(server).isEmpty()) {
            err() << "--server memerlukan nama layanan dari pg_service.conf.\n";
            return std::nullopt;
        }
        return db::serviceConnectionText(parser.value(server));
    }
    if (parser.isSet(from)) {
        // A file named on the command line, whatever its name (no connection text can hold every path).
        const QString file = QFileInfo(parser.value(from)).absoluteFilePath();
        if (const QString problem = db::placeProblemText(file); !problem.isEmpty()) {
            err() << problem << "\n";
            return std::nullopt;
        }
        const QString text = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + file;
        if (db::fileFromConnectionText(text) != QDir::cleanPath(file)) {
            err() << "Nama file " << QDir::toNativeSeparators(file)
                  << " tidak bisa dipakai; pindahkan atau beri nama lain (tanpa ';'), lalu ulangi.\n";
            return std::nullopt;
        }
        return text;
    }
    QString error;
    const std::optional<QString> setting = db::checkedConnectionText(&error);
    if (!setting)
        err() << error << "\n";
    return setting;
}

// The new password: one line of standard input, or asked twice without being shown.
std::optional<QString> newPassword(bool fromStdin)
{
    QString password;
    if (fromStdin) {
        // Only the line's end is taken off, so a password may begin or end with a space.
        password = input().readLine();
    } else {
        password = askHidden(QStringLiteral("Password baru: "));
        if (askHidden(QStringLiteral("Ulangi password baru: ")) != password) {
            err() << "Kedua password tidak sama; tidak ada yang diubah.\n";
            return std::nullopt;
        }
    }
    if (password.isEmpty()) {
        err() << "Password tidak boleh kosong; tidak ada yang diubah.\n";
        return std::nullopt;
    }
    return password;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simparo-operator"));
    cli::useIndonesian();
    session::setOperator(session::toolOperator(QStringLiteral("simparo-operator")));

    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption server(QStringLiteral("server"), QString(), QStringLiteral("LAYANAN"));
    const QCommandLineOption passwordStdin(QStringLiteral("password-stdin"), QString());
    const QCommandLineOption supervisor(QStringLiteral("penyelia"), QString());
    parser.addOptions({help, from, server, passwordStdin, supervisor});
    if (!parser.parse(app.arguments())) {
        if (!parser.unknownOptionNames().isEmpty())
            err() << "Pilihan tidak dikenal: " << parser.unknownOptionNames().join(QStringLiteral(", "));
        else
            err() << "Pilihan salah (" << parser.errorText() << ")";
        err() << "\nLihat: simparo-operator --help\n";
        return 1;
    }
    if (parser.isSet(help)) {
        QStringList shown;
        for (const QString &file : db::settingFiles())
            shown << QDir::toNativeSeparators(file);
        out() << QString::fromUtf8(kHelp).arg(shown.join(QStringLiteral(" atau ")),
                                              QDir::toNativeSeparators(db::databaseFile()));
        return 0;
    }
    const QStringList words = parser.positionalArguments();
    const QString command = words.value(0);
    const bool named = command == QLatin1String("add") || command == QLatin1String("remove")
        || command == QLatin1String("reset");
    const bool kind = command == QLatin1String("peran");
    if (!(command == QLatin1String("list") && words.size() == 1) && !(named && words.size() == 2)
        && !(kind && words.size() == 3)) {
        err() << (words.isEmpty() ? QStringLiteral("Perintah tidak ada.")
                                  : QStringLiteral("Perintah tidak dikenal: %1.").arg(words.join(u' ')))
              << "\nLihat: simparo-operator --help\n";
        return 1;
    }
    if (parser.isSet(passwordStdin) && command != QLatin1String("add") && command != QLatin1String("reset")) {
        err() << "--password-stdin hanya dipakai bersama add atau reset.\n";
        return 1;
    }
    if (parser.isSet(supervisor) && command != QLatin1String("add")) {
        err() << "--penyelia hanya dipakai bersama add (untuk operator yang sudah ada: peran NAMA penyelia).\n";
        return 1;
    }
    const std::optional<supervision::Kind> typedKind = supervision::kindNamed(words.value(2));
    const supervision::Kind newKind = typedKind.value_or(supervision::Kind::Clerk);
    if (kind && !typedKind) {
        err() << "Jenis operator hanya kasir atau penyelia, bukan " << words.value(2) << ".\n";
        return 1;
    }
    const std::optional<QString> text = target(parser, from, server);
    if (!text)
        return 1;
    const QString user = words.value(1);
    if ((named || kind) && user.isEmpty()) {
        err() << "Nama operator tidak boleh kosong.\n";
        return 1;
    }

    // A change names the database it is made in before anything is asked or written.
    if (command != QLatin1String("list"))
        out() << "Database: " << db::describedLocation(*text) << "\n" << Qt::flush;
    Outcome outcome;
    if (command == QLatin1String("list")) {
        QList<operators::Listed> all;
        outcome = operators::list(*text, &all);
        if (outcome.isOk()) {
            for (const operators::Listed &listed : std::as_const(all))
                out() << listed.user << "   " << supervision::kindText(listed.kind)
                      << (listed.canLogIn ? QString() : QStringLiteral("   (belum bisa masuk: atur passwordnya dengan reset)"))
                      << "\n";
        }
    } else if (kind) {
        outcome = operators::setKind(*text, user, newKind);
        if (outcome.isOk())
            out() << "Operator " << user << " sekarang " << supervision::kindText(newKind) << "\n";
    } else if (command == QLatin1String("remove")) {
        outcome = operators::remove(*text, user);
        if (outcome.isOk())
            out() << "Operator dihapus: " << user << "\n";
    } else {
        const std::optional<QString> password = newPassword(parser.isSet(passwordStdin));
        if (!password)
            return 1;
        const bool adding = command == QLatin1String("add");
        const supervision::Kind added = parser.isSet(supervisor) ? supervision::Kind::Supervisor : supervision::Kind::Clerk;
        outcome = adding ? operators::add(*text, user, *password, added) : operators::reset(*text, user, *password);
        if (outcome.isOk())
            out() << (adding ? "Operator ditambah: " : "Password baru untuk operator: ") << user
                  << (adding ? QStringLiteral(" (%1)").arg(supervision::kindText(added)) : QString()) << "\n";
    }
    // A server's connection kept for a next opening goes with the tool.
    db::releaseIdleConnections();
    if (!outcome.isOk()) {
        err() << outcome.message() << "\n";
        return 1;
    }
    return 0;
}
