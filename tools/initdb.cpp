// simparo-initdb: creates the folder and a new, empty SIMPARO database with one
// first operator, or (--server SERVICE) the same tables on the empty database of
// a PostgreSQL service. It never touches a file or a database that holds them.
#include "data/commandline.h"
#include "data/database.h"

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

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("simparo-initdb"));
    cli::useIndonesian();
    const QString file = db::databaseFile();
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QString());
    const QCommandLineOption userOption(QStringLiteral("user"), QString(), QStringLiteral("nama"));
    const QCommandLineOption passwordOption(QStringLiteral("password"), QString(), QStringLiteral("password"));
    const QCommandLineOption passwordStdin(QStringLiteral("password-stdin"), QString());
    const QCommandLineOption serverOption(QStringLiteral("server"), QString(), QStringLiteral("layanan"));
    parser.addOptions({help, userOption, passwordOption, passwordStdin, serverOption});

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
               "\n"
               "Membuat database SIMPARO baru, "
            << QDir::toNativeSeparators(file)
            << ",\n"
               "dengan satu operator pertama. Database yang sudah ada tidak pernah disentuh.\n"
               "\n"
               "  --server LAYANAN  buat tabel SIMPARO di database server PostgreSQL yang\n"
               "                    disebut layanan ini di pg_service.conf (host, port, dbname,\n"
               "                    user, sslmode; password dari .pgpass). Database itu harus\n"
               "                    belum berisi tabel SIMPARO.\n"
               "  --user NAMA       nama operator pertama (tanpa ini: ditanyakan).\n"
               "  --password-stdin  baca password operator pertama dari satu baris masukan\n"
               "                    standar (bersama --user), misalnya:\n"
               "                    printf '%s\\n' \"$PW\" | simparo-initdb --user admin --password-stdin\n"
               "                    (tanpa ini: ditanyakan dua kali tanpa ditampilkan).\n"
               "  --password PW     password sebagai argumen; tidak disarankan, karena\n"
               "                    argumen terlihat oleh pengguna lain di daftar proses.\n"
               "  -h, --help        tampilkan bantuan ini.\n"
               "\n"
               "Kode keluar: 0 database dibuat; 1 gagal, tidak ada yang dibuat.\n";
        return 0;
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
    QString error;
    const bool made = service.isEmpty() ? db::createDatabase(file, user, password, &error)
                                        : db::createServerDatabase(service, user, password, &error);
    if (!made) {
        err << error << "\n";
        return 1;
    }
    QTextStream(stdout) << "Database dibuat: "
                        << (service.isEmpty() ? QDir::toNativeSeparators(file)
                                              : db::describedLocation(QStringLiteral("Provider=PostgreSQL;Data Source=") + service))
                        << "\n"
                        << "Operator pertama: " << user << "\n";
    return 0;
}
