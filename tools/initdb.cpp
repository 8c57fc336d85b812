// simparo-initdb: creates the folder and a new, empty SIMPARO database with one
// first operator. It never touches a file that exists.
#include "data/database.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

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
    QTextStream in(stdin);
    const QString answer = in.readLine();
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
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Membuat database SIMPARO baru di %1 dengan satu operator pertama.")
            .arg(QDir::toNativeSeparators(db::databaseFile())));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("user"), QStringLiteral("Nama operator pertama."), QStringLiteral("nama")});
    parser.addOption({QStringLiteral("password"), QStringLiteral("Password operator pertama."), QStringLiteral("password")});
    parser.process(app);

    QTextStream err(stderr);
    const QString file = db::databaseFile();
    if (QFileInfo::exists(file)) {
        err << "Database " << QDir::toNativeSeparators(file)
            << " sudah ada; simparo-initdb tidak menyentuh database yang sudah ada.\n";
        return 1;
    }
    QString user = parser.value(QStringLiteral("user"));
    QString password = parser.value(QStringLiteral("password"));
    if (!parser.isSet(QStringLiteral("user")))
        user = ask(QStringLiteral("Nama operator pertama: "), false);
    if (!parser.isSet(QStringLiteral("password"))) {
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
    if (!db::createDatabase(file, user, password, &error)) {
        err << error << "\n";
        return 1;
    }
    QTextStream(stdout) << "Database dibuat: " << QDir::toNativeSeparators(file) << "\n"
                        << "Operator pertama: " << user << "\n";
    return 0;
}
