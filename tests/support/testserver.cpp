#include "testserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <memory>
#include <pwd.h>
#include <unistd.h>

namespace testserver {

namespace {
// PostgreSQL's programs: where the build found them, else Debian's place for them.
const QString kBin = [] {
    const QString found = qEnvironmentVariable("SIMPARO_PG_BIN");
    return (found.isEmpty() ? QStringLiteral("/usr/lib/postgresql/15/bin") : found) + u'/';
}();
const QString kService = QStringLiteral("simparo_uji");
const QString kRole = QStringLiteral("simparo_uji");
const QString kAdminConnection = QStringLiteral("testserver-admin");

struct Server {
    QTemporaryDir folder{QDir::tempPath() + QStringLiteral("/simparo-pg-XXXXXX")};
    bool running = false;
    QString data() const { return folder.path() + QStringLiteral("/data"); }
    QString socket() const { return folder.path() + QStringLiteral("/sock"); }
    ~Server();
};

std::unique_ptr<Server> g_server;

bool asRoot()
{
    return ::geteuid() == 0;
}

// Runs one of PostgreSQL's programs, as the postgres user when we are root,
// with `input` on its standard input (never a secret on a command line).
QString run(const QString &program, const QStringList &arguments, const QByteArray &input = {}, bool mustWork = true)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (asRoot())
        process.start(QStringLiteral("runuser"), QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                                             QStringLiteral("--"), kBin + program} + arguments);
    else
        process.start(kBin + program, arguments);
    if (!process.waitForStarted())
        qFatal("test server: %s cannot start", qPrintable(program));
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    const QString output = QString::fromLocal8Bit(process.readAll());
    if (mustWork && (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0))
        qFatal("test server: %s failed: %s", qPrintable(program), qPrintable(output));
    return output;
}

void giveToPostgres(const QString &path)
{
    if (!asRoot())
        return;
    const passwd *user = ::getpwnam("postgres");
    if (!user || ::chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) != 0)
        qFatal("test server: %s cannot be given to the postgres user", qPrintable(path));
}

void writeFile(const QString &path, const QByteArray &text, QFile::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        qFatal("test server: cannot write %s", qPrintable(path));
    file.close();
    file.setPermissions(permissions);
}

Server::~Server()
{
    QSqlDatabase::removeDatabase(kAdminConnection);
    if (running)
        run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), data(), QStringLiteral("-m"), QStringLiteral("fast"),
                                       QStringLiteral("-w"), QStringLiteral("stop")}, {}, false);
}

void stopAtExit()
{
    g_server.reset();
}

void startServer(Server &s)
{
    run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), s.data(), QStringLiteral("-l"),
                                   s.socket() + QStringLiteral("/server.log"), QStringLiteral("-w"), QStringLiteral("-t"),
                                   QStringLiteral("60"), QStringLiteral("start")});
    s.running = true;
}

// Should this program die without ending, the server is stopped and its folder removed all the same.
void startWatchdog(const Server &server)
{
    const QString script = QStringLiteral(
        "while kill -0 \"$1\" 2>/dev/null; do sleep 1; done; "
        "if [ \"$(id -u)\" = 0 ]; then runuser -u postgres -- \"$2\" -D \"$3\" -m immediate -w stop; "
        "else \"$2\" -D \"$3\" -m immediate -w stop; fi; rm -rf \"$4\"");
    QProcess watchdog;
    watchdog.setProgram(QStringLiteral("sh"));
    watchdog.setArguments({QStringLiteral("-c"), script, QStringLiteral("simparo-pg-watchdog"),
                           QString::number(QCoreApplication::applicationPid()), kBin + QStringLiteral("pg_ctl"),
                           server.data(), server.folder.path()});
    watchdog.setStandardInputFile(QProcess::nullDevice());
    watchdog.setStandardOutputFile(QProcess::nullDevice());
    watchdog.setStandardErrorFile(QProcess::nullDevice());
    watchdog.startDetached();
}

QString randomSecret()
{
    QString secret;
    for (int i = 0; i < 4; ++i)
        secret += QString::number(QRandomGenerator::system()->generate64(), 36);
    return secret;
}

Server &server()
{
    if (g_server)
        return *g_server;
    g_server = std::make_unique<Server>();
    Server &s = *g_server;
    if (!s.folder.isValid())
        qFatal("test server: no temporary folder");
    QFile::setPermissions(s.folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                               | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QDir().mkpath(s.data());
    QDir().mkpath(s.socket());
    giveToPostgres(s.data());
    giveToPostgres(s.socket());
    qAddPostRoutine(stopAtExit);
    startWatchdog(s);

    run(QStringLiteral("initdb"), {QStringLiteral("-D"), s.data(), QStringLiteral("-U"), QStringLiteral("postgres"),
                                   QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                                   QStringLiteral("--auth-local=peer"), QStringLiteral("--auth-host=reject"),
                                   QStringLiteral("--no-sync")});
    // The tests' role logs in with its password over the socket; nothing listens on the network.
    const QString superuser = asRoot() ? QStringLiteral("postgres") : QString::fromLocal8Bit(qgetenv("USER"));
    writeFile(s.data() + QStringLiteral("/pg_hba.conf"),
              QStringLiteral("local all %1 peer\nlocal all all scram-sha-256\n").arg(superuser).toUtf8(),
              QFile::ReadOwner | QFile::WriteOwner);
    giveToPostgres(s.data() + QStringLiteral("/pg_hba.conf"));
    QFile conf(s.data() + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append))
        qFatal("test server: postgresql.conf cannot be written");
    conf.write(QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\nfsync = on\n"
                              "shared_buffers = 16MB\nmax_connections = 60\n")
                   .arg(s.socket())
                   .toUtf8());
    conf.close();
    startServer(s);

    const QString secret = randomSecret();
    run(QStringLiteral("psql"), {QStringLiteral("-h"), s.socket(), QStringLiteral("-U"), superuser, QStringLiteral("-d"),
                                 QStringLiteral("postgres"), QStringLiteral("-q"), QStringLiteral("-v"),
                                 QStringLiteral("ON_ERROR_STOP=1")},
        QStringLiteral("CREATE ROLE %1 LOGIN PASSWORD '%2';\nCREATE DATABASE %1 OWNER %1;\n").arg(kRole, secret).toUtf8());
    const QString services = s.folder.path() + QStringLiteral("/pg_service.conf");
    const QString passwords = s.folder.path() + QStringLiteral("/pgpass");
    writeFile(services, QStringLiteral("[%1]\nhost=%2\ndbname=%3\nuser=%3\nsslmode=disable\n")
                            .arg(kService, s.socket(), kRole)
                            .toUtf8(),
              QFile::ReadOwner | QFile::WriteOwner);
    writeFile(passwords, QStringLiteral("*:*:%1:%1:%2\n").arg(kRole, secret).toUtf8(),
              QFile::ReadOwner | QFile::WriteOwner);
    qputenv("PGSERVICEFILE", QFile::encodeName(services));
    qputenv("PGPASSFILE", QFile::encodeName(passwords));
    return s;
}

QSqlDatabase admin()
{
    if (!QSqlDatabase::contains(kAdminConnection)) {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), kAdminConnection);
        database.setConnectOptions(QStringLiteral("service=%1;connect_timeout=5").arg(kService));
    }
    QSqlDatabase database = QSqlDatabase::database(kAdminConnection, false);
    if (!database.isOpen() && !database.open())
        qFatal("test server: cannot connect: %s", qPrintable(database.lastError().text()));
    return database;
}
} // namespace

bool wanted()
{
    return qEnvironmentVariable("SIMPARO_TEST_ENGINE").compare(QLatin1String("postgresql"), Qt::CaseInsensitive) == 0;
}

QString unavailable()
{
    for (const char *program : {"initdb", "pg_ctl", "psql"})
        if (!QFileInfo(kBin + QLatin1String(program)).isExecutable())
            return QStringLiteral("PostgreSQL's %1 is not installed in %2").arg(QLatin1String(program), kBin);
    if (asRoot() && !::getpwnam("postgres"))
        return QStringLiteral("no postgres system user to run the server as");
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return QStringLiteral("Qt's PostgreSQL driver (libqt6sql6-psql) is not installed");
    return {};
}

QString service()
{
    start();
    return kService;
}

QString connectionText()
{
    return QStringLiteral("Provider=PostgreSQL;Data Source=") + kService;
}

void clearDatabase()
{
    service();
    for (int attempt = 0; attempt < 2; ++attempt) {
        QSqlDatabase database = admin();
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("SET lock_timeout = '20s'; DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public")))
            return;
        // A connection the server dropped (after stop() and start()) is made anew.
        database.close();
        if (attempt == 1)
            qFatal("test server: cannot empty the database: %s", qPrintable(query.lastError().text()));
    }
}

void stop()
{
    Server &s = server();
    run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), s.data(), QStringLiteral("-m"), QStringLiteral("fast"),
                                   QStringLiteral("-w"), QStringLiteral("stop")});
    s.running = false;
}

void start()
{
    Server &s = server();
    if (!s.running)
        startServer(s);
}

} // namespace testserver
