// simparo-initdb: creates the folder and a new, empty SIMPARO database with one
// first operator, or (--server SERVICE) the same tables on the empty database of
// a PostgreSQL service. It never touches a file or a database that holds them,
// but for --upgrade: that gives a database made before the audit trail its trail.
#include "data/trail/audit.h"
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
#include "data/base/textforms.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

// One reader for the whole run: a stream reads ahead, so a second one would miss lines.
static QTextStream &input()
{
    static QTextStream stream(stdin);
    return stream;
}

static QString ask(const QString &question, bool hidden)
{
    QTextStream out(stdout);
    out << question << Qt::flush;
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (hidden && terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    const QString answer = input().readLine();
    if (hidden && terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        out << "\n" << Qt::flush;
    }
    return answer;
}

// --upgrade: the database a file, a service or the program's setting names is given the trail.
// What a server database's roles are now, and the line for the counters' .pgpass
// when the lookup role got a new password.
static void printAccess(QTextStream &out, const operators::Access &access, const QString &service)
{
    out << "Peran operator (grup): " << access.groupRole << "\n"
        << "Peran pencari nama untuk loket: " << access.lookupRole << "\n";
    if (!access.lookupPassword.isEmpty())
        out << "Baris ~/.pgpass untuk setiap loket (simpan dengan chmod 600; ganti * dengan host dan port "
               "server bila perlu):\n"
            << "  " << operators::passwordFileLine(access) << "\n";
    if (!access.withoutPassword.isEmpty()) {
        out << "Operator yang belum bisa masuk (passwordnya tidak bisa dibawa ke server); beri password baru "
               "dengan:\n";
        for (const QString &user : access.withoutPassword)
            out << "  simparo-operator --server " << cli::shellWord(service) << " reset "
                << textform::printable(cli::shellWord(user)) << "\n";
    }
}

static int upgrade(const std::optional<QString> &from, const QString &service, bool server, bool newLookupPassword,
                   QTextStream &err)
{
    if (from && server) {
        err << "Pakai --from atau --server, jangan keduanya.\n";
        return 1;
    }
    if (server && service.isEmpty()) {
        err << "--server memerlukan nama layanan dari pg_service.conf.\n";
        return 1;
    }
    QString connectionText;
    QString error;
    if (server) {
        connectionText = db::serviceConnectionText(service);
    } else if (from) {
        // A file named on the command line, whatever its name (no connection text can hold every path).
        const QString file = QFileInfo(*from).absoluteFilePath();
        if (const QString problem = db::placeProblemText(file); !problem.isEmpty()) {
            err << problem << "\n";
            return 1;
        }
        connectionText = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + file;
        if (db::fileFromConnectionText(connectionText) != QDir::cleanPath(file)) {
            err << "Nama file " << QDir::toNativeSeparators(file)
                << " tidak bisa dipakai; pindahkan atau beri nama lain (tanpa ';'), lalu ulangi.\n";
            return 1;
        }
    } else if (const std::optional<QString> setting = db::checkedConnectionText(&error)) {
        connectionText = *setting;
    } else {
        err << error << "\n";
        return 1;
    }
    // It writes: the database it writes in is named first.
    QTextStream(stdout) << "Database: " << db::describedLocation(connectionText) << "\n" << Qt::flush;
    audit::Coverage covered;
    operators::Access access;
    if (newLookupPassword)
        access.lookupPassword = operators::newLookupPassword();
    bool installed = false;
    bool upgraded = db::upgradeDatabase(connectionText, &access, &covered, &installed, &error);
    // A lookup role that has no password yet gets one made up (once the rest is done).
    if (upgraded && !access.database.isEmpty() && !access.lookupCanLogIn) {
        access.lookupPassword = operators::newLookupPassword();
        audit::Coverage again;
        bool installedAgain = false;
        upgraded = db::upgradeDatabase(connectionText, &access, &again, &installedAgain, &error);
    }
    // A server's connection kept for a next opening goes with the tool.
    db::releaseIdleConnections();
    if (!upgraded) {
        err << error << "\n";
        return 1;
    }
    QTextStream out(stdout);
    if (installed) {
        out << "Jejak audit dipasang: " << db::describedLocation(connectionText) << "\n"
            << "Baris buku tabungan yang dicatat: " << covered.count;
        if (covered.first && covered.last)
            out << " (baris " << *covered.first << " sampai " << *covered.last << ")";
        out << "\n";
        if (!covered.breaks.isEmpty()) {
            out << "Putus saldo yang ditemukan (sejak ini: sudah diketahui):\n";
            for (const audit::KnownBreak &known : std::as_const(covered.breaks))
                out << "  rekening " << textform::printable(known.account) << ", baris " << known.key << "\n";
        }
    }
    if (!installed)
        out << "Jejak audit sudah ada; aturan database diperbarui: " << db::describedLocation(connectionText) << "\n";
    if (!access.database.isEmpty())
        printAccess(out, access, db::connectionValue(connectionText, QStringLiteral("Data Source")));
    return 0;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simparo-initdb"));
    cli::useIndonesian();
    // Its long transaction and reads are not held to the limits of a clerk's screen.
    db::setToolSession();
    const QString file = db::databaseFile();
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption userOption(QStringLiteral("user"), QString(), QStringLiteral("nama"));
    const QCommandLineOption passwordOption(QStringLiteral("password"), QString(), QStringLiteral("password"));
    const QCommandLineOption passwordStdin(QStringLiteral("password-stdin"), QString());
    const QCommandLineOption serverOption(QStringLiteral("server"), QString(), QStringLiteral("layanan"));
    const QCommandLineOption upgradeOption(QStringLiteral("upgrade"), QString());
    const QCommandLineOption superuserOption(QStringLiteral("superuser-sql"), QString());
    const QCommandLineOption fromOption(QStringLiteral("from"), QString(), QStringLiteral("file"));
    const QCommandLineOption newLookupOption(QStringLiteral("new-lookup-password"), QString());
    parser.addOptions({help, userOption, passwordOption, passwordStdin, serverOption, upgradeOption, superuserOption, fromOption,
                       newLookupOption});

    QTextStream err(stderr);
    if (!parser.parse(app.arguments())) {
        if (!parser.unknownOptionNames().isEmpty())
            err << "Pilihan tidak dikenal: " << parser.unknownOptionNames().join(QStringLiteral(", "));
        else
            err << "Pilihan salah (" << parser.errorText() << ")";
        err << "\nLihat: simparo-initdb --help\n";
        return 1;
    }
    if (parser.isSet(help)) {
        QTextStream(stdout)
            << "Pemakaian: simparo-initdb [--server LAYANAN] [--user NAMA [--password-stdin]]\n"
               "           simparo-initdb --upgrade [--from FILE | --server LAYANAN [--new-lookup-password]]\n"
               "\n"
               "Membuat database SIMPARO baru, "
            << QDir::toNativeSeparators(file)
            << ",\n"
               "dengan satu operator pertama. Database yang sudah ada tidak pernah disentuh,\n"
               "kecuali dengan --upgrade.\n"
               "\n"
               "  --upgrade         beri database buatan SIMPARO versi lama jejak audit:\n"
               "                    tabel jejak, aturan bahwa nabubg dan jejak hanya boleh\n"
               "                    ditambah, dan satu baris \"pasang jejak\" yang mencatat\n"
               "                    baris buku tabungan yang ada (rentang, jumlah, digest)\n"
               "                    dan putus saldo yang ditemukan (sejak itu: sudah\n"
               "                    diketahui). Juga (lagi) memasang aturan database yang\n"
               "                    menolak baris yang tidak dibuat layar, juga bila jejak\n"
               "                    sudah ada; di server juga mengatur peran operator, peran\n"
               "                    pencari nama dan haknya. Tutup SIMPARO\n"
               "                    di semua loket dulu. Tanpa --from atau --server: database\n"
               "                    menurut pengaturan koneksi SIMPARO.\n"
               "  --from FILE       (dengan --upgrade) file database yang diberi jejak.\n"
               "  --server LAYANAN  buat tabel SIMPARO di database server PostgreSQL yang\n"
               "                    disebut layanan ini di pg_service.conf (host, port, dbname,\n"
               "                    user, sslmode; password dari .pgpass). Database itu harus\n"
               "                    belum berisi tabel SIMPARO. Peran layanan itu pemilik\n"
               "                    database dan boleh membuat peran (CREATEROLE): setiap\n"
               "                    operator menjadi peran server sendiri, anggota peran\n"
               "                    DATABASE_operator; loket mencari nama operator lewat\n"
               "                    peran DATABASE_masuk, yang passwordnya ditanyakan (atau\n"
               "                    dibuat acak) dan dicetak sebagai baris ~/.pgpass loket.\n"
               "  --new-lookup-password\n"
               "                    (dengan --upgrade --server) buat password acak baru untuk\n"
               "                    peran DATABASE_masuk dan cetak baris ~/.pgpass-nya.\n"
               "  --user NAMA       nama operator pertama (tanpa ini: ditanyakan).\n"
               "  --password-stdin  baca password operator pertama dari satu baris masukan\n"
               "                    standar (bersama --user), misalnya:\n"
               "                    printf '%s\\n' \"$PW\" | simparo-initdb --user admin --password-stdin\n"
               "                    (tanpa ini: ditanyakan dua kali tanpa ditampilkan). Dengan\n"
               "                    --server, baris kedua (boleh kosong) adalah password peran\n"
               "                    DATABASE_masuk.\n"
               "  --password PW     password sebagai argumen; tidak disarankan, karena\n"
               "                    argumen terlihat oleh pengguna lain di daftar proses.\n"
               "  --superuser-sql   cetak perintah SQL yang dijalankan superuser sekali di\n"
               "                    database server (lagi sesudah dipulihkan ke database baru):\n"
               "                    hanya pemilik yang boleh memakai kunci advisory PostgreSQL\n"
               "                    dan large object, misalnya:\n"
               "                    simparo-initdb --superuser-sql | runuser -u postgres -- psql -X -q -d simparo -f -\n"
               "  -h, --help        tampilkan bantuan ini.\n"
               "\n"
               "Kode keluar: 0 database dibuat (atau diberi jejak); 1 gagal, tidak ada yang\n"
               "dibuat atau diubah.\n";
        return 0;
    }
    if (parser.isSet(superuserOption)) {
        QTextStream out(stdout);
        for (const QString &statement : db::superuserStatements())
            out << statement << ";\n";
        return 0;
    }
    if (parser.isSet(upgradeOption))
        return upgrade(parser.isSet(fromOption) ? std::optional<QString>(parser.value(fromOption)) : std::nullopt,
                       parser.value(serverOption), parser.isSet(serverOption), parser.isSet(newLookupOption), err);
    if (parser.isSet(newLookupOption)) {
        err << "--new-lookup-password hanya dipakai bersama --upgrade --server.\n";
        return 1;
    }
    if (parser.isSet(fromOption)) {
        err << "--from hanya dipakai bersama --upgrade.\n";
        return 1;
    }
    if (parser.isSet(passwordOption) && parser.isSet(passwordStdin)) {
        err << "Pakai --password atau --password-stdin, jangan keduanya.\n";
        return 1;
    }
    if (parser.isSet(passwordStdin) && !parser.isSet(userOption)) {
        err << "--password-stdin memerlukan --user NAMA: masukan standar hanya membawa password.\n";
        return 1;
    }
    const QString service = parser.value(serverOption);
    if (parser.isSet(serverOption) && service.isEmpty()) {
        err << "--server memerlukan nama layanan dari pg_service.conf.\n";
        return 1;
    }
    if (service.isEmpty() && QFileInfo::exists(file)) {
        err << "Database " << QDir::toNativeSeparators(file)
            << " sudah ada; simparo-initdb tidak menyentuh database yang sudah ada.\n";
        return 1;
    }
    QTextStream(stdout) << "Database baru: "
                        << (service.isEmpty() ? QDir::toNativeSeparators(file)
                                              : db::describedLocation(db::serviceConnectionText(service)))
                        << "\n" << Qt::flush;
    QString user = parser.value(userOption);
    QString password = parser.value(passwordOption);
    // One line; only its end is taken off, so a password may begin or end with a space.
    if (parser.isSet(passwordStdin))
        password = input().readLine();
    if (!parser.isSet(userOption))
        user = ask(QStringLiteral("Nama operator pertama: "), false);
    if (!parser.isSet(passwordOption) && !parser.isSet(passwordStdin)) {
        password = ask(QStringLiteral("Password: "), true);
        if (ask(QStringLiteral("Ulangi password: "), true) != password) {
            err << "Kedua password tidak sama; database tidak dibuat.\n";
            return 1;
        }
    }
    if (user.isEmpty() || password.isEmpty()) {
        err << "Nama operator dan password tidak boleh kosong; database tidak dibuat.\n";
        return 1;
    }
    // On a server: the lookup role's password, the one secret every counter keeps.
    operators::Access access;
    if (!service.isEmpty()) {
        if (parser.isSet(passwordStdin)) {
            access.lookupPassword = input().readLine();
        } else {
            access.lookupPassword =
                ask(QStringLiteral("Password peran pencari nama untuk loket (Enter saja: dibuat acak): "), true);
            if (!access.lookupPassword.isEmpty()
                && ask(QStringLiteral("Ulangi password peran pencari nama: "), true) != access.lookupPassword) {
                err << "Kedua password tidak sama; database tidak dibuat.\n";
                return 1;
            }
        }
        if (access.lookupPassword.isEmpty())
            access.lookupPassword = operators::newLookupPassword();
    }
    QString error;
    const bool made = service.isEmpty() ? db::createDatabase(file, user, password, &error)
                                        : db::createServerDatabase(service, user, password, &access, &error);
    db::releaseIdleConnections();
    if (!made) {
        err << error << "\n";
        return 1;
    }
    QTextStream out(stdout);
    out << "Database dibuat: "
        << (service.isEmpty() ? QDir::toNativeSeparators(file)
                              : db::describedLocation(QStringLiteral("Provider=PostgreSQL;Data Source=") + service))
        << "\n"
        << "Operator pertama: " << user << "\n";
    if (!service.isEmpty())
        printAccess(out, access, service);
    return 0;
}
