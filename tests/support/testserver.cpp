#include "testserver.h"

#include "data/newdb/newdatabase.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
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
    int port = 5432;
    QString data() const { return folder.path() + QStringLiteral("/data"); }
    QString socket() const { return folder.path() + QStringLiteral("/sock"); }
    QString logFile() const { return socket() + QStringLiteral("/server.log"); }
    ~Server();
};

std::unique_ptr<Server> g_server;
std::unique_ptr<Server> g_tlsServer;
QString g_secret;
// The sections of the tests' service file, by service name.
QMap<QString, QStringList> g_services;

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
    g_tlsServer.reset();
    g_server.reset();
}

void startServer(Server &s)
{
    run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), s.data(), QStringLiteral("-l"), s.logFile(), QStringLiteral("-w"),
                                   QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("start")});
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

QString superuser()
{
    return asRoot() ? QStringLiteral("postgres") : QString::fromLocal8Bit(qgetenv("USER"));
}

// Runs SQL as the superuser over the server's socket, in a database (by default
// the server's own); its output, unaligned.
QString psql(const Server &s, const QString &sql, const QString &database = QStringLiteral("postgres"))
{
    return run(QStringLiteral("psql"), {QStringLiteral("-h"), s.socket(), QStringLiteral("-p"), QString::number(s.port),
                                        QStringLiteral("-U"), superuser(),
                                        QStringLiteral("-d"), database, QStringLiteral("-qAt"),
                                        QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1")},
               sql.toUtf8());
}

// A new server in its own folder, with these lines of pg_hba.conf (after the
// superuser's own over the socket) and of postgresql.conf, started, with the
// tests' role and database.
void makeServer(Server &s, const QString &access, const QString &settings)
{
    if (!s.folder.isValid())
        qFatal("test server: no temporary folder");
    QFile::setPermissions(s.folder.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                               | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    QDir().mkpath(s.data());
    QDir().mkpath(s.socket());
    giveToPostgres(s.data());
    giveToPostgres(s.socket());
    startWatchdog(s);
    run(QStringLiteral("initdb"), {QStringLiteral("-D"), s.data(), QStringLiteral("-U"), QStringLiteral("postgres"),
                                   QStringLiteral("-E"), QStringLiteral("UTF8"), QStringLiteral("--locale=C"),
                                   QStringLiteral("--auth-local=peer"), QStringLiteral("--auth-host=reject"),
                                   QStringLiteral("--no-sync")});
    writeFile(s.data() + QStringLiteral("/pg_hba.conf"),
              QStringLiteral("local all %1 peer\n%2").arg(superuser(), access).toUtf8(),
              QFile::ReadOwner | QFile::WriteOwner);
    giveToPostgres(s.data() + QStringLiteral("/pg_hba.conf"));
    QFile conf(s.data() + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append))
        qFatal("test server: postgresql.conf cannot be written");
    // The WAL writer flushes seldom: a commit told durable must have flushed by itself.
    // A month-end run holds the lock of every account it credits until it commits:
    // room for the bench's 100,000 accounts.
    conf.write(QStringLiteral("unix_socket_directories = '%1'\nfsync = on\nshared_buffers = 16MB\n"
                              "wal_writer_delay = 10s\nmax_locks_per_transaction = 2048\n%2")
                   .arg(s.socket(), settings)
                   .toUtf8());
    conf.close();
    startServer(s);
    // The tests' role is the database's owner, as the IT person's role is: it
    // makes the roles of the operators (CREATEROLE).
    psql(s, QStringLiteral("CREATE ROLE %1 LOGIN CREATEROLE PASSWORD '%2';\nCREATE DATABASE %1 OWNER %1;\n")
                .arg(kRole, g_secret));
    // What the IT person has a superuser do once, as simparo-initdb --superuser-sql prints it.
    psql(s, db::superuserStatements().join(QStringLiteral(";\n")) + QStringLiteral(";\n"), kRole);
}

void writeServices()
{
    QString text;
    for (auto it = g_services.cbegin(); it != g_services.cend(); ++it)
        text += QStringLiteral("[%1]\ndbname=%2\nuser=%2\n%3\n").arg(it.key(), kRole, it.value().join(u'\n'));
    writeFile(g_server->folder.path() + QStringLiteral("/pg_service.conf"), text.toUtf8(),
              QFile::ReadOwner | QFile::WriteOwner);
}

Server &server()
{
    if (g_server)
        return *g_server;
    g_server = std::make_unique<Server>();
    Server &s = *g_server;
    qAddPostRoutine(stopAtExit);
    g_secret = randomSecret();
    // The tests' role logs in with its password over the socket; nothing listens on the network.
    makeServer(s, QStringLiteral("local all all scram-sha-256\n"),
               QStringLiteral("listen_addresses = ''\nmax_connections = 60\n"));
    const QString passwords = s.folder.path() + QStringLiteral("/pgpass");
    g_services.insert(kService, {QStringLiteral("host=") + s.socket(), QStringLiteral("sslmode=disable")});
    writeServices();
    writeFile(passwords, QStringLiteral("*:*:%1:%1:%2\n").arg(kRole, g_secret).toUtf8(),
              QFile::ReadOwner | QFile::WriteOwner);
    qputenv("PGSERVICEFILE", QFile::encodeName(s.folder.path() + QStringLiteral("/pg_service.conf")));
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
        if (query.exec(QStringLiteral("SET lock_timeout = '20s'; SET client_min_messages = warning; DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public")))
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

void crash()
{
    Server &s = server();
    run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), s.data(), QStringLiteral("-m"), QStringLiteral("immediate"),
                                   QStringLiteral("-w"), QStringLiteral("stop")});
    s.running = false;
    startServer(s);
}

void start()
{
    Server &s = server();
    if (!s.running)
        startServer(s);
}

QString socketFile()
{
    return server().socket() + QStringLiteral("/.s.PGSQL.5432");
}

QString defineService(const QString &name, const QStringList &settings)
{
    server();
    g_services.insert(name, settings);
    writeServices();
    return name;
}

namespace tls {

namespace {
const QString kTlsService = QStringLiteral("simparo_uji_tls");
int g_port = 0;

QString certificates()
{
    return g_tlsServer->folder.path() + QStringLiteral("/tls");
}

void openssl(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(certificates());
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        qFatal("test server: openssl %s failed: %s", qPrintable(arguments.join(u' ')), process.readAll().constData());
}

// A CA of its own (NAME.crt, NAME.key), and a server certificate it signs for the names.
void authority(const QString &name)
{
    openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
             QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
             QStringLiteral("-keyout"), name + QStringLiteral(".key"), QStringLiteral("-out"), name + QStringLiteral(".crt"),
             QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=SIMPARO uji ") + name});
}
void certificate(const QString &name, const QString &authorityName, const QString &names)
{
    writeFile(certificates() + u'/' + name + QStringLiteral(".ext"), ("subjectAltName=" + names).toUtf8(),
              QFile::ReadOwner | QFile::WriteOwner);
    openssl({QStringLiteral("req"), QStringLiteral("-new"), QStringLiteral("-newkey"), QStringLiteral("ec"),
             QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
             QStringLiteral("-keyout"), name + QStringLiteral(".key"), QStringLiteral("-out"), name + QStringLiteral(".csr"),
             QStringLiteral("-subj"), QStringLiteral("/CN=") + names.section(u',', 0, 0).section(u':', 1)});
    openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), name + QStringLiteral(".csr"),
             QStringLiteral("-CA"), authorityName + QStringLiteral(".crt"), QStringLiteral("-CAkey"),
             authorityName + QStringLiteral(".key"), QStringLiteral("-CAcreateserial"), QStringLiteral("-days"),
             QStringLiteral("2"), QStringLiteral("-out"), name + QStringLiteral(".crt"), QStringLiteral("-extfile"),
             name + QStringLiteral(".ext")});
    // The server reads its key only when it alone may.
    for (const QString &file : {name + QStringLiteral(".crt"), name + QStringLiteral(".key")}) {
        giveToPostgres(certificates() + u'/' + file);
        QFile::setPermissions(certificates() + u'/' + file, QFile::ReadOwner | QFile::WriteOwner);
    }
}

// The settings of TLS the server reads at each reload.
QString tlsSettings(Certificate which)
{
    static const char *const names[] = {"trusted", "other-authority", "other-name"};
    if (which == Certificate::None)
        return QStringLiteral("ssl = off\n");
    const QString name = certificates() + u'/' + QLatin1String(names[static_cast<int>(which)]);
    return QStringLiteral("ssl = on\nssl_cert_file = '%1.crt'\nssl_key_file = '%1.key'\n").arg(name);
}

int freePort()
{
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (probe < 0 || ::bind(probe, reinterpret_cast<sockaddr *>(&address), size) != 0
        || ::getsockname(probe, reinterpret_cast<sockaddr *>(&address), &size) != 0)
        qFatal("test server: no free port");
    ::close(probe);
    return ntohs(address.sin_port);
}

Server &tlsServer()
{
    if (g_tlsServer)
        return *g_tlsServer;
    server();
    g_tlsServer = std::make_unique<Server>();
    Server &s = *g_tlsServer;
    QDir().mkpath(certificates());
    authority(QStringLiteral("ca"));
    authority(QStringLiteral("other-ca"));
    certificate(QStringLiteral("trusted"), QStringLiteral("ca"), QStringLiteral("DNS:localhost,IP:127.0.0.1"));
    certificate(QStringLiteral("other-authority"), QStringLiteral("other-ca"), QStringLiteral("DNS:localhost,IP:127.0.0.1"));
    certificate(QStringLiteral("other-name"), QStringLiteral("ca"), QStringLiteral("DNS:kantor.example"));
    g_port = s.port = freePort();
    makeServer(s, QStringLiteral("hostssl all all 127.0.0.1/32 scram-sha-256\nhostssl all all ::1/128 scram-sha-256\n"),
               QStringLiteral("listen_addresses = '127.0.0.1'\nport = %1\nmax_connections = 20\nlog_connections = on\n"
                              "include_if_exists = 'tls.conf'\n")
                   .arg(g_port));
    g_services.insert(kTlsService, serviceSettings());
    writeServices();
    serve(Certificate::Trusted);
    QString error;
    if (!db::createServerDatabase(kTlsService, QStringLiteral("admin"), QStringLiteral("admin123"), &error))
        qFatal("test server: the TLS server's tables: %s", qPrintable(error));
    db::releaseIdleConnections();
    return s;
}
} // namespace

void serve(Certificate certificate)
{
    Server &s = g_tlsServer ? *g_tlsServer : tlsServer();
    const QString settings = tlsSettings(certificate);
    writeFile(s.data() + QStringLiteral("/tls.conf"), settings.toUtf8(), QFile::ReadOwner | QFile::WriteOwner);
    giveToPostgres(s.data() + QStringLiteral("/tls.conf"));
    run(QStringLiteral("pg_ctl"), {QStringLiteral("-D"), s.data(), QStringLiteral("reload")});
    // In force once a new session sees it.
    const QString wanted = certificate == Certificate::None
        ? QStringLiteral("off")
        : QStringLiteral("on ") + settings.section(u'\'', 1, 1);
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (psql(s, QStringLiteral("SELECT current_setting('ssl') || CASE current_setting('ssl') WHEN 'on' THEN ' ' "
                                   "|| current_setting('ssl_cert_file') ELSE '' END"))
                .trimmed()
            == wanted)
            return;
        QThread::msleep(50);
    }
    qFatal("test server: the TLS settings did not come into force");
}

QString service()
{
    tlsServer();
    return kTlsService;
}

QStringList serviceSettings()
{
    return {QStringLiteral("host=localhost"), QStringLiteral("port=%1").arg(g_port), QStringLiteral("sslmode=verify-full"),
            QStringLiteral("sslrootcert=") + authorityFile(), QStringLiteral("channel_binding=require")};
}

QString authorityFile()
{
    return certificates() + QStringLiteral("/ca.crt");
}

QString log()
{
    QFile file(tlsServer().logFile());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace tls

} // namespace testserver
