#include "database.h"

#include "passwords.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <libpq-fe.h>

namespace db {

const char *const kConnectionText =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\SKRIP\\asli.mdb;Persist Security Info=False";
const char *const kEnvironmentConnectionText =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\SKRIP\\asli.mdb;Persist Security Info=False;";

namespace {
bool g_readOnly = false;
int g_busyTimeout = 5000;
bool g_writeAheadLog = true;
QString g_siteSettingFile;
QAtomicInt g_connectionSerial;

// A server that does not answer within this many seconds is reported as unreachable.
constexpr int kConnectSeconds = 4;
// The hidden row key of every table on a server, after the described columns.
const char *const kServerKey = "simparo_key";
const char *const kServerProvider = "PostgreSQL";

// What each open connection is, kept by its Qt connection name.
struct Place {
    Engine engine = Engine::Sqlite;
    QString location; // as messages name it
    QString service;
    QString openError; // why the last attempt to open it again failed
    QString session;   // the settings its server session was started with
    bool idle = false; // closed by its user, kept open for the next opening
};

QHash<QString, Place> &places()
{
    static QHash<QString, Place> all;
    return all;
}

// Server connections kept open after their record source or environment closed:
// a connection to a server costs a login (a process on the server, a password
// exchange), opening a file costs next to nothing. At most this many wait per service.
constexpr int kIdleConnections = 3;

// Statements prepared on a server connection, kept while it lives: each use is
// then one round trip instead of three (prepare, execute, free).
QHash<QString, QHash<QString, Statement>> &statements()
{
    static QHash<QString, QHash<QString, Statement>> all;
    return all;
}

// Ends what the kept statements of a connection left unread (a server sends a
// result in parts), so that between two actions the connection is idle.
void finishStatements(const QString &connectionName)
{
    const auto kept = statements().constFind(connectionName);
    if (kept == statements().constEnd())
        return;
    for (const Statement &statement : kept.value())
        if (statement->isActive())
            statement->finish();
}

QString sessionSettings()
{
    return QStringLiteral("%1/%2").arg(g_busyTimeout).arg(g_readOnly);
}

QString nextConnectionName()
{
    return QStringLiteral("simparo-%1").arg(g_connectionSerial.fetchAndAddRelaxed(1));
}

bool looksLikeSqlite(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(16);
    // An empty file is what SQLite itself makes of a new database; it holds no tables.
    return head.size() == 16 && head == QByteArray("SQLite format 3\0", 16);
}

int primaryCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? (code & 0xff) : -1;
}

QString detailOf(const QSqlError &error)
{
    QString detail = error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
    return detail.trimmed();
}

QString withDetail(const QString &text, const QSqlError &error)
{
    const QString detail = detailOf(error);
    return detail.isEmpty() ? text : text + QStringLiteral("\n(%1)").arg(detail);
}

QString notFoundText(const QString &file)
{
    return QStringLiteral("Database %1 tidak ditemukan.\n"
                          "Buat database baru dengan menjalankan simparo-initdb, "
                          "atau kembalikan file dari cadangan.")
        .arg(QDir::toNativeSeparators(file));
}

QString notSqliteText(const QString &file)
{
    return QStringLiteral("File %1 bukan database SIMPARO (bukan database SQLite) atau rusak.\n"
                          "Kembalikan file dari cadangan, atau buat database baru dengan simparo-initdb.")
        .arg(QDir::toNativeSeparators(file));
}

QString incompleteText(const QString &location, const QString &missing, Engine engine)
{
    if (engine == Engine::PostgreSQL)
        return QStringLiteral("Database di %1 tidak lengkap: %2 tidak ada.\n"
                              "Buat tabelnya dengan simparo-initdb --server, atau pulihkan dari cadangan (pg_dump).")
            .arg(location, missing);
    return QStringLiteral("Database %1 tidak lengkap: %2 tidak ada.\n"
                          "Kembalikan file dari cadangan, atau buat database baru dengan simparo-initdb.")
        .arg(QDir::toNativeSeparators(location), missing);
}

// ---------------------------------------------------------------------------
// The setting file

struct Setting {
    QString file;    // empty: the built-in connection text
    QString text;    // its connection text (lines without comments, joined)
    QString problem; // the file could not be read
};

Setting currentSetting()
{
    for (const QString &path : settingFiles()) {
        if (!QFileInfo::exists(path))
            continue;
        Setting setting{path, {}, {}};
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            setting.problem = QStringLiteral("file tidak bisa dibaca (%1)").arg(file.errorString());
            return setting;
        }
        QStringList lines;
        for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
            const QString text = line.trimmed();
            if (!text.isEmpty() && !text.startsWith(u'#'))
                lines << text;
        }
        setting.text = lines.join(u'\n');
        return setting;
    }
    return {};
}

QString settingProblemText(const QString &file, const QString &problem)
{
    return QStringLiteral("Pengaturan koneksi di file %1 tidak sah: %2.\n"
                          "Isi file itu satu baris, misalnya: Provider=PostgreSQL;Data Source=simparo\n"
                          "(nama layanan dari pg_service.conf). Perbaiki atau hapus file itu, lalu ulangi.")
        .arg(QDir::toNativeSeparators(file), problem);
}

// ---------------------------------------------------------------------------
// Servers

QString serverLocation(const QString &service)
{
    return QStringLiteral("server PostgreSQL (layanan \"%1\")").arg(service);
}

// The service files libpq reads, in its order.
QStringList serviceFiles()
{
    QStringList files;
    const QString own = qEnvironmentVariable("PGSERVICEFILE");
    files << (own.isEmpty() ? QDir::homePath() + QStringLiteral("/.pg_service.conf") : own);
    const QString system = qEnvironmentVariable("PGSYSCONFDIR");
    files << (system.isEmpty() ? QStringLiteral("/etc/postgresql-common") : system) + QStringLiteral("/pg_service.conf");
    return files;
}

bool serviceDefined(const QString &service)
{
    const QString section = u'[' + service + u']';
    for (const QString &path : serviceFiles()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (QString::fromUtf8(line).trimmed() == section)
                return true;
    }
    return false;
}

PGconn *handleOf(const QSqlDatabase &database)
{
    if (!database.driver())
        return nullptr;
    const QVariant handle = database.driver()->handle();
    // Qt names the type by libpq's structure, which libpq calls PGconn.
    if (!handle.isValid()
        || (qstrcmp(handle.typeName(), "PGconn*") != 0 && qstrcmp(handle.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

bool lost(const QSqlDatabase &database)
{
    if (!database.isOpen())
        return true;
    PGconn *connection = handleOf(database);
    if (!connection)
        return true;
    // Between two actions nothing is under way on the connection: whatever the
    // server sent meanwhile (its notice of a shutdown, or the end of the socket)
    // is read without a round trip, and tells a connection that is gone.
    // A shutdown notice comes first and the end of the socket after it: two reads.
    for (int read = 0; read < 2 && PQstatus(connection) == CONNECTION_OK
                       && PQtransactionStatus(connection) == PQTRANS_IDLE;
         ++read)
        PQconsumeInput(connection);
    return PQstatus(connection) == CONNECTION_BAD;
}

// Why a server could not be reached or refused the login, as the operator hears it.
QString connectFailureText(const QString &service, const QSqlError &error)
{
    const QString location = serverLocation(service);
    const QString detail = detailOf(error).toLower();
    QString cause;
    if (!serviceDefined(service) || (detail.contains(QLatin1String("service")) && detail.contains(QLatin1String("not found")))) {
        QStringList files;
        for (const QString &path : serviceFiles())
            files << QDir::toNativeSeparators(path);
        cause = QStringLiteral("Layanan \"%1\" tidak ada di file layanan PostgreSQL (dicari di: %2).\n"
                               "Tambahkan bagian [%1] dengan host, port, dbname dan user, "
                               "atau perbaiki nama layanan di pengaturan koneksi.")
                    .arg(service, files.join(QStringLiteral(", ")));
    } else if (detail.contains(QLatin1String("password")) || detail.contains(QLatin1String("authentication"))
               || detail.contains(QLatin1String("pg_hba.conf")) || detail.contains(QLatin1String("role"))) {
        const QString passfile = qEnvironmentVariable("PGPASSFILE", QDir::homePath() + QStringLiteral("/.pgpass"));
        cause = QStringLiteral("Server menolak login. Periksa role (user) di file layanan dan password di %1.")
                    .arg(QDir::toNativeSeparators(passfile));
    } else if (detail.contains(QLatin1String("database")) && detail.contains(QLatin1String("does not exist"))) {
        cause = QStringLiteral("Database yang disebut layanan itu (dbname) tidak ada di server.");
    } else {
        cause = QStringLiteral("Server tidak bisa dihubungi: pastikan server menyala dan jaringan tersambung, lalu ulangi.");
    }
    return withDetail(QStringLiteral("SIMPARO tidak bisa tersambung ke %1.\n%2").arg(location, cause), error);
}

QString lostText(const QString &location, const QSqlError &error)
{
    return withDetail(QStringLiteral("Sambungan ke %1 terputus sebelum tindakan ini selesai.\n"
                                     "SIMPARO menyambung kembali pada tindakan berikutnya: setelah server menyala "
                                     "dan jaringan tersambung, periksa datanya lalu ulangi bila perlu.")
                          .arg(location),
                      error);
}

QString serverErrorText(const QSqlError &error, const QString &location)
{
    const QString state = error.nativeErrorCode();
    QString text;
    if (state.startsWith(QLatin1String("08")) || state.startsWith(QLatin1String("57P")))
        return lostText(location, error);
    if (state == QLatin1String("55P03") || state == QLatin1String("40P01") || state == QLatin1String("40001"))
        text = QStringLiteral("Data di %1 sedang dikunci oleh loket lain.\nTunggu sebentar, lalu ulangi.").arg(location);
    else if (state == QLatin1String("25006"))
        text = QStringLiteral("Database di %1 tidak bisa ditulis (hanya-baca).\n"
                              "Hubungi pengelola server, lalu ulangi.").arg(location);
    else if (state == QLatin1String("42501") || state.startsWith(QLatin1String("28")))
        text = QStringLiteral("Role SIMPARO tidak berhak memakai data ini di %1.\n"
                              "Hubungi pengelola server.").arg(location);
    else if (state.startsWith(QLatin1String("53")))
        text = QStringLiteral("Disk atau memori %1 penuh.\nHubungi pengelola server, lalu ulangi.").arg(location);
    else if (state.startsWith(QLatin1String("23")))
        text = QStringLiteral("Database di %1 menolak data ini.").arg(location);
    else if (state == QLatin1String("42P01"))
        text = QStringLiteral("Database di %1 tidak lengkap.\n"
                              "Buat tabelnya dengan simparo-initdb --server, atau pulihkan dari cadangan.").arg(location);
    else if (state.startsWith(QLatin1String("58")) || state.startsWith(QLatin1String("XX")))
        text = QStringLiteral("Terjadi kesalahan baca/tulis pada %1.\nHubungi pengelola server, lalu ulangi.").arg(location);
    else
        text = QStringLiteral("Terjadi kesalahan pada database di %1.").arg(location);
    return withDetail(text, error);
}

// A new session: durable commits, the lock wait of a counter, and no more.
bool startSession(QSqlDatabase &database, const QString &service, QString *error)
{
    statements().remove(database.connectionName());
    if (!database.open()) {
        *error = connectFailureText(service, database.lastError());
        return false;
    }
    QSqlQuery query(database);
    query.setForwardOnly(true);
    // Numbers of the program's own, no operator text.
    if (!query.exec(QStringLiteral("SELECT set_config('synchronous_commit', 'on', false), "
                                   "set_config('lock_timeout', '%1ms', false), "
                                   "set_config('default_transaction_read_only', '%2', false), "
                                   "current_setting('fsync')")
                        .arg(g_busyTimeout)
                        .arg(g_readOnly ? QStringLiteral("on") : QStringLiteral("off")))
        || !query.next()) {
        *error = lost(database) ? connectFailureText(service, query.lastError())
                                : serverErrorText(query.lastError(), serverLocation(service));
        query.finish();
        database.close();
        return false;
    }
    if (query.value(3).toString() != QLatin1String("on")) {
        *error = QStringLiteral("Database di %1 tidak bisa ditulis dengan aman (fsync tidak aktif di server).\n"
                                "Data bisa hilang bila listrik padam; SIMPARO tidak memakai sambungan ini.")
                     .arg(serverLocation(service));
        query.finish();
        database.close();
        return false;
    }
    places()[database.connectionName()].session = sessionSettings();
    return true;
}

// An idle connection to the service, ready for use, or nothing.
QString takeIdle(const QString &service)
{
    for (auto it = places().begin(); it != places().end(); ++it) {
        if (!it->idle || it->service != service)
            continue;
        const QString name = it.key();
        QSqlDatabase database = QSqlDatabase::database(name, false);
        if (it->session == sessionSettings() && !lost(database)) {
            it->idle = false;
            return name;
        }
        // Gone meanwhile, or started with other settings: let go.
        it->idle = false;
        statements().remove(name);
        database = QSqlDatabase();
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
        places().remove(name);
        return takeIdle(service);
    }
    return {};
}

bool openServer(const QString &service, QString *connectionName, QString *error)
{
    const QString idle = takeIdle(service);
    if (!idle.isEmpty()) {
        *connectionName = idle;
        return true;
    }
    const QString name = nextConnectionName();
    bool ok = false;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        places().insert(name, Place{Engine::PostgreSQL, serverLocation(service), service, {}, {}, false});
        if (!database.isValid()) {
            *error = QStringLiteral("SIMPARO tidak bisa tersambung ke %1: driver PostgreSQL untuk Qt tidak terpasang.\n"
                                    "Pasang paket libqt6sql6-psql, lalu ulangi.")
                         .arg(serverLocation(service));
        } else {
            // The service name is checked to be a plain word: it stands in the connection options as it is.
            database.setConnectOptions(QStringLiteral("service=%1;connect_timeout=%2;application_name=simparo")
                                           .arg(service)
                                           .arg(kConnectSeconds));
            ok = startSession(database, service, error);
        }
    }
    if (!ok) {
        closeConnection(name);
        return false;
    }
    *connectionName = name;
    return true;
}

// ---------------------------------------------------------------------------
// Files

// Every write is committed when it is made and survives a power cut; a connection
// on which that cannot be had is refused.
bool makeDurable(QSqlDatabase &database, const QString &file, bool allowCreate, QString *error)
{
    QSqlQuery pragma(database);
    if (!pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"))) {
        *error = describeError(pragma.lastError(), file);
        return false;
    }
    // Each screen holds a connection for as long as it is open; the system's file
    // cache keeps the pages warm, so each needs only a small cache.
    pragma.exec(QStringLiteral("PRAGMA cache_size=-512"));
    if (g_writeAheadLog && !g_readOnly && pragma.exec(QStringLiteral("PRAGMA journal_mode")) && pragma.next()
        && pragma.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0) {
        // Without the write-ahead log (another program holds the file, or its file
        // system has no shared memory) the rollback journal serves; writes work either way.
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    }
    if (!pragma.exec(QStringLiteral("PRAGMA synchronous")) || !pragma.next()) {
        *error = describeError(pragma.lastError(), file);
        return false;
    }
    if (pragma.value(0).toInt() < 2 && !allowCreate) {
        *error = QStringLiteral("Database %1 tidak bisa ditulis dengan aman (synchronous bukan FULL).\n"
                                "Data bisa hilang bila listrik padam; SIMPARO tidak memakai sambungan ini.")
                     .arg(QDir::toNativeSeparators(file));
        return false;
    }
    return true;
}

bool openFile(const QString &file, bool allowCreate, QString *connectionName, QString *error)
{
    if (!allowCreate) {
        if (!QFileInfo::exists(file)) {
            *error = notFoundText(file);
            return false;
        }
        if (!looksLikeSqlite(file)) {
            *error = notSqliteText(file);
            return false;
        }
    }
    const QString name = nextConnectionName();
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        places().insert(name, Place{Engine::Sqlite, file, {}, {}, {}, false});
        database.setDatabaseName(file);
        QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(g_busyTimeout);
        if (g_readOnly && !allowCreate)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        database.setConnectOptions(options);
        if (!database.open()) {
            *error = describeError(database.lastError(), file);
            ok = false;
        } else if (!makeDurable(database, file, allowCreate, error)) {
            ok = false;
        }
    }
    if (!ok) {
        closeConnection(name);
        return false;
    }
    *connectionName = name;
    return true;
}

// The names of the program's tables and views in the database, in lower case, each with its kind.
bool relationNames(QSqlDatabase &database, QStringList *tables, QStringList *views, QSqlError *error)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    const bool server = engineOf(database) == Engine::PostgreSQL;
    const QString sql = server ? QStringLiteral("SELECT CASE WHEN c.relkind = 'v' THEN 'view' ELSE 'table' END, c.relname "
                                                "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                                                "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p', 'v', 'm')")
                               : QStringLiteral("SELECT type, name FROM sqlite_master");
    if (!query.exec(sql)) {
        *error = query.lastError();
        return false;
    }
    while (query.next()) {
        const QString type = query.value(0).toString();
        const QString name = query.value(1).toString().toLower();
        if (type == QLatin1String("view"))
            *views << name;
        else if (type == QLatin1String("table"))
            *tables << name;
    }
    if (query.lastError().isValid()) {
        *error = query.lastError();
        return false;
    }
    return true;
}

bool verifyOpen(QSqlDatabase &database, QString *error)
{
    QStringList tables, views;
    QSqlError failure;
    if (!relationNames(database, &tables, &views, &failure)) {
        *error = describeError(failure, database);
        return false;
    }
    QStringList missing;
    for (const char *t : {"daftar", "nabubg", "tpassword"})
        if (!tables.contains(QLatin1String(t)))
            missing << QStringLiteral("tabel %1").arg(QLatin1String(t));
    if (!views.contains(QLatin1String("qpass")) && !tables.contains(QLatin1String("qpass")))
        missing << QStringLiteral("query Qpass");
    if (!missing.isEmpty()) {
        *error = incompleteText(location(database), missing.join(QStringLiteral(", ")), engineOf(database));
        return false;
    }
    return true;
}
} // namespace

// ---------------------------------------------------------------------------
// The setting

QStringList settingFiles()
{
#ifdef Q_OS_WIN
    const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString site = qEnvironmentVariable("ProgramData", QStringLiteral("C:/ProgramData"));
#else
    QString own = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (own.isEmpty() || !QDir::isAbsolutePath(own))
        own = QDir::homePath() + QStringLiteral("/.config");
    const QString site = QStringLiteral("/etc");
#endif
    return {own + QStringLiteral("/simparo/koneksi"),
            g_siteSettingFile.isEmpty() ? site + QStringLiteral("/simparo/koneksi") : g_siteSettingFile};
}

QString settingFile()
{
    return currentSetting().file;
}

QString connectionText()
{
    const Setting setting = currentSetting();
    return setting.file.isEmpty() ? QString::fromLatin1(kConnectionText) : setting.text;
}

QString environmentConnectionText()
{
    const Setting setting = currentSetting();
    return setting.file.isEmpty() ? QString::fromLatin1(kEnvironmentConnectionText) : setting.text;
}

void setSiteSettingFileForTesting(const QString &file)
{
    g_siteSettingFile = file;
}

QString connectionValue(const QString &connectionText, const QString &key)
{
    const QStringList parts = connectionText.split(u';', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const int eq = part.indexOf(u'=');
        if (eq < 0)
            continue;
        if (part.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1).trimmed();
    }
    return {};
}

bool checkConnectionText(const QString &connectionText, QString *problem)
{
    if (connectionText.trimmed().isEmpty()) {
        *problem = QStringLiteral("tidak ada teks koneksi");
        return false;
    }
    if (connectionText.contains(u'\n')) {
        *problem = QStringLiteral("ada lebih dari satu baris koneksi");
        return false;
    }
    static const QStringList known = {QStringLiteral("provider"), QStringLiteral("data source"),
                                      QStringLiteral("persist security info")};
    static const QStringList secrets = {QStringLiteral("password"), QStringLiteral("pwd"), QStringLiteral("user id"),
                                        QStringLiteral("uid"), QStringLiteral("user")};
    for (const QString &part : connectionText.split(u';', Qt::SkipEmptyParts)) {
        if (part.trimmed().isEmpty())
            continue;
        const int eq = part.indexOf(u'=');
        if (eq <= 0) {
            *problem = QStringLiteral("bagian \"%1\" bukan KUNCI=NILAI").arg(part.trimmed());
            return false;
        }
        const QString key = part.left(eq).trimmed().toLower();
        if (secrets.contains(key)) {
            *problem = QStringLiteral("\"%1\" tidak boleh ditulis di sini: role ada di pg_service.conf, "
                                      "password di .pgpass")
                           .arg(part.left(eq).trimmed());
            return false;
        }
        if (!known.contains(key)) {
            *problem = QStringLiteral("kunci \"%1\" tidak dikenal").arg(part.left(eq).trimmed());
            return false;
        }
    }
    const QString provider = connectionValue(connectionText, QStringLiteral("Provider"));
    const QString source = connectionValue(connectionText, QStringLiteral("Data Source"));
    const bool server = provider.compare(QLatin1String(kServerProvider), Qt::CaseInsensitive) == 0;
    if (!server && !provider.startsWith(QLatin1String("Microsoft.Jet.OLEDB"), Qt::CaseInsensitive)) {
        *problem = provider.isEmpty() ? QStringLiteral("Provider tidak ada")
                                      : QStringLiteral("Provider \"%1\" tidak dikenal (untuk server: PostgreSQL)").arg(provider);
        return false;
    }
    if (source.isEmpty()) {
        *problem = QStringLiteral("Data Source tidak ada");
        return false;
    }
    static const QRegularExpression serviceName(QStringLiteral("^[A-Za-z0-9_.-]+$"));
    if (server && !serviceName.match(source).hasMatch()) {
        *problem = QStringLiteral("nama layanan \"%1\" tidak sah (hanya huruf, angka, titik, garis bawah dan tanda minus)")
                       .arg(source);
        return false;
    }
    return true;
}

Engine engineOf(const QString &connectionText)
{
    return connectionValue(connectionText, QStringLiteral("Provider")).compare(QLatin1String(kServerProvider),
                                                                              Qt::CaseInsensitive) == 0
               ? Engine::PostgreSQL
               : Engine::Sqlite;
}

Engine engineOf(const QSqlDatabase &database)
{
    return database.driverName() == QLatin1String("QPSQL") ? Engine::PostgreSQL : Engine::Sqlite;
}

QString fileFromConnectionText(const QString &connectionText)
{
    QString source = connectionValue(connectionText, QStringLiteral("Data Source"));
    if (source.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive))
        source = source.left(source.size() - 4) + QStringLiteral(".sqlite");
#ifdef Q_OS_WIN
    return QDir::cleanPath(QDir::fromNativeSeparators(source));
#else
    if (source.startsWith(QLatin1String("C:\\"), Qt::CaseInsensitive))
        source = QDir::homePath() + u'/' + source.mid(3);
    source.replace(u'\\', u'/');
    return QDir::cleanPath(source);
#endif
}

QString describedLocation(const QString &connectionText)
{
    if (engineOf(connectionText) == Engine::PostgreSQL)
        return serverLocation(connectionValue(connectionText, QStringLiteral("Data Source")));
    return fileFromConnectionText(connectionText);
}

QString databaseFile()
{
    return fileFromConnectionText(QString::fromLatin1(kConnectionText));
}

void setReadOnlyForTesting(bool readOnly) { g_readOnly = readOnly; }
void setBusyTimeoutForTesting(int milliseconds) { g_busyTimeout = milliseconds; }
void setWriteAheadLogForTesting(bool use) { g_writeAheadLog = use; }

// ---------------------------------------------------------------------------
// Connections

bool openConnection(const QString &connectionText, QString *connectionName, QString *error)
{
    QString problem;
    if (!checkConnectionText(connectionText, &problem)) {
        const Setting setting = currentSetting();
        if (!setting.file.isEmpty() && (setting.text == connectionText || !setting.problem.isEmpty()))
            *error = settingProblemText(setting.file, setting.problem.isEmpty() ? problem : setting.problem);
        else
            *error = QStringLiteral("Teks koneksi tidak sah: %1.").arg(problem);
        return false;
    }
    if (engineOf(connectionText) == Engine::PostgreSQL)
        return openServer(connectionValue(connectionText, QStringLiteral("Data Source")), connectionName, error);
    return openFile(fileFromConnectionText(connectionText), false, connectionName, error);
}

void closeConnection(const QString &connectionName)
{
    if (connectionName.isEmpty() || !QSqlDatabase::contains(connectionName))
        return;
    const auto place = places().find(connectionName);
    if (place != places().end() && place->engine == Engine::PostgreSQL && !place->idle) {
        // Kept for the next opening while it is healthy and not in a transaction.
        finishStatements(connectionName);
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        PGconn *handle = handleOf(database);
        int waiting = 0;
        for (const Place &other : std::as_const(places()))
            waiting += other.idle && other.service == place->service;
        if (handle && !lost(database) && PQtransactionStatus(handle) == PQTRANS_IDLE && waiting < kIdleConnections) {
            place->idle = true;
            return;
        }
    }
    statements().remove(connectionName);
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    places().remove(connectionName);
}

void releaseIdleConnections()
{
    QStringList idle;
    for (auto it = places().cbegin(); it != places().cend(); ++it)
        if (it->idle)
            idle << it.key();
    for (const QString &name : std::as_const(idle)) {
        statements().remove(name);
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
        places().remove(name);
    }
}

QSqlDatabase connection(const QString &connectionName)
{
    QSqlDatabase database = QSqlDatabase::database(connectionName, false);
    const auto place = places().find(connectionName);
    if (place == places().end() || place->engine != Engine::PostgreSQL)
        return database;
    finishStatements(connectionName);
    if (!lost(database))
        return database;
    statements().remove(connectionName);
    database.close();
    QString error;
    if (startSession(database, place->service, &error))
        place->openError.clear();
    else
        place->openError = error;
    return database;
}

bool prepare(Statement *statement, const QSqlDatabase &database, const QString &sql)
{
    if (!database.isOpen()) {
        // A server that could not be reached again: describeError() tells why.
        *statement = std::make_shared<QSqlQuery>(database);
        return false;
    }
    if (engineOf(database) != Engine::PostgreSQL) {
        *statement = std::make_shared<QSqlQuery>(database);
        (*statement)->setForwardOnly(true);
        return (*statement)->prepare(sql);
    }
    QHash<QString, Statement> &kept = statements()[database.connectionName()];
    const auto found = kept.constFind(sql);
    if (found != kept.constEnd()) {
        *statement = found.value();
        return true;
    }
    // Read whole when executed (not in parts, as a forward-only read would be), so
    // that the connection is idle again as soon as the statement has run.
    *statement = std::make_shared<QSqlQuery>(database);
    if (!(*statement)->prepare(sql))
        return false;
    kept.insert(sql, *statement);
    return true;
}

QString location(const QSqlDatabase &database)
{
    const auto place = places().constFind(database.connectionName());
    return place == places().constEnd() ? database.databaseName() : place->location;
}

QString keyColumn(const QSqlDatabase &database)
{
    return engineOf(database) == Engine::PostgreSQL ? QString::fromLatin1(kServerKey) : QStringLiteral("rowid");
}

bool beginWrite(QSqlDatabase &database, QSqlError *error)
{
    QSqlQuery query(database);
    // A server's writes read the latest committed rows statement by statement
    // (READ COMMITTED); those that must not interleave take writeLock().
    if (query.exec(engineOf(database) == Engine::PostgreSQL ? QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED")
                                                             : QStringLiteral("BEGIN IMMEDIATE")))
        return true;
    *error = query.lastError();
    return false;
}

bool writeLock(QSqlDatabase &database, const QString &scope, const QString &value, QSqlError *error)
{
    if (engineOf(database) != Engine::PostgreSQL)
        return true;
    // A lock of the transaction on the pair (scope, value), released when it ends.
    // Two values that hash alike only wait for each other a moment longer.
    Statement query;
    const bool prepared = db::prepare(&query, database, QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(?), hashtext(?))"));
    query->addBindValue(scope);
    query->addBindValue(value);
    if (prepared && query->exec())
        return true;
    *error = query->lastError();
    return false;
}

QString rowLockClause(const QSqlDatabase &database)
{
    return engineOf(database) == Engine::PostgreSQL ? QStringLiteral(" FOR UPDATE") : QString();
}

bool isUniqueViolation(const QSqlError &error)
{
    // PostgreSQL's unique_violation; SQLite's SQLITE_CONSTRAINT_UNIQUE.
    const QString code = error.nativeErrorCode();
    return code == QLatin1String("23505") || code == QLatin1String("2067");
}

bool findRelation(QSqlDatabase &database, const QString &name, Relation *relation, QString *error)
{
    const bool server = engineOf(database) == Engine::PostgreSQL;
    Statement query;
    const bool prepared = db::prepare(&query, database, server ? QStringLiteral("SELECT CASE WHEN c.relkind = 'v' THEN 'view' ELSE 'table' END, c.relname, "
                                          "CAST(c.oid AS bigint) FROM pg_class c "
                                          "JOIN pg_namespace n ON n.oid = c.relnamespace "
                                          "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p', 'v', 'm') "
                                          "AND lower(c.relname) = lower(?) ORDER BY c.relname LIMIT 1")
                         : QStringLiteral("SELECT type, name, 0 FROM sqlite_master "
                                          "WHERE type IN ('table', 'view') AND lower(name) = lower(?)"));
    query->addBindValue(name);
    if (!(prepared && query->exec())) {
        *error = describeError(query->lastError(), database);
        return false;
    }
    if (!query->next()) {
        if (query->lastError().isValid())
            *error = describeError(query->lastError(), database);
        else
            *error = incompleteText(location(database), name, engineOf(database));
        return false;
    }
    *relation = Relation();
    relation->isView = query->value(0).toString() == QLatin1String("view");
    relation->name = query->value(1).toString();
    const qint64 oid = query->value(2).toLongLong();
    query->finish();
    QStringList declared;
    bool ok = false;
    if (server) {
        const bool columnsPrepared = db::prepare(&query, database, QStringLiteral("SELECT attname, format_type(atttypid, atttypmod) FROM pg_attribute "
                                     "WHERE attrelid = CAST(CAST(? AS bigint) AS oid) AND attnum > 0 "
                                     "AND NOT attisdropped ORDER BY attnum"));
        query->addBindValue(oid);
        ok = (columnsPrepared && query->exec());
    } else {
        ok = query->exec(QStringLiteral("PRAGMA table_info(%1)").arg(schema::quoted(relation->name)));
    }
    if (!ok) {
        *error = describeError(query->lastError(), database);
        return false;
    }
    const int nameColumn = server ? 0 : 1;
    const int typeColumn = server ? 1 : 2;
    while (query->next()) {
        const QString column = query->value(nameColumn).toString();
        if (server && column == QLatin1String(kServerKey))
            continue;
        relation->columns << column;
        declared << query->value(typeColumn).toString();
    }
    if (query->lastError().isValid()) {
        *error = describeError(query->lastError(), database);
        return false;
    }
    // One of the program's own tables shows its columns as the program spells them.
    const schema::Table *known = schema::table(relation->name);
    const bool same = known && known->columns.size() == relation->columns.size()
                      && std::equal(relation->columns.cbegin(), relation->columns.cend(), known->columns.cbegin(),
                                    [](const QString &a, const schema::Column &b) {
                                        return a.compare(b.name, Qt::CaseInsensitive) == 0;
                                    });
    for (int i = 0; i < relation->columns.size(); ++i) {
        relation->shownColumns << (same ? known->columns.at(i).name : relation->columns.at(i));
        relation->kinds << (same ? known->columns.at(i).kind : schema::kindOfDeclaredType(declared.at(i)));
    }
    return true;
}

bool presentRelations(QSqlDatabase &database, QStringList *present, QSqlError *error)
{
    QStringList tables, views;
    if (!relationNames(database, &tables, &views, error))
        return false;
    for (const char *t : {"daftar", "nabubg", "tpassword", "qpass"})
        if (tables.contains(QLatin1String(t)) || views.contains(QLatin1String(t)))
            *present << QLatin1String(t);
    return true;
}

bool verifyDatabase(const QString &file, QString *error)
{
    QString name;
    if (!openFile(file, false, &name, error))
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        ok = verifyOpen(database, error);
    }
    closeConnection(name);
    return ok;
}

bool verifyConnection(const QString &connectionText, QString *error)
{
    if (engineOf(connectionText) == Engine::Sqlite && checkConnectionText(connectionText, error))
        return verifyDatabase(fileFromConnectionText(connectionText), error);
    QString name;
    if (!openConnection(connectionText, &name, error))
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        ok = verifyOpen(database, error);
    }
    closeConnection(name);
    return ok;
}

QString describeError(const QSqlError &error, const QString &file)
{
    const QString path = QDir::toNativeSeparators(file);
    QString text;
    switch (primaryCode(error)) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        text = QStringLiteral("Database %1 sedang dikunci oleh program lain.\n"
                              "Tutup program lain yang memakai file ini, lalu ulangi.").arg(path);
        break;
    case 8: // SQLITE_READONLY
        text = QStringLiteral("Database %1 tidak bisa ditulis (hanya-baca).\n"
                              "Periksa hak akses file dan foldernya, lalu ulangi.").arg(path);
        break;
    case 13: // SQLITE_FULL
        text = QStringLiteral("Disk tempat database %1 penuh.\n"
                              "Kosongkan ruang disk, lalu ulangi.").arg(path);
        break;
    case 14: // SQLITE_CANTOPEN
        text = QStringLiteral("Database %1 tidak bisa dibuka.\n"
                              "Periksa bahwa file dan foldernya ada dan boleh dibaca dan ditulis.").arg(path);
        break;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        text = notSqliteText(file);
        break;
    case 19: // SQLITE_CONSTRAINT
        text = QStringLiteral("Database %1 menolak data ini.").arg(path);
        break;
    case 10: // SQLITE_IOERR
        text = QStringLiteral("Terjadi kesalahan baca/tulis pada database %1.\n"
                              "Periksa disk, lalu ulangi.").arg(path);
        break;
    default:
        text = QStringLiteral("Terjadi kesalahan pada database %1.").arg(path);
        break;
    }
    return withDetail(text, error);
}

QString describeError(const QSqlError &error, const QSqlDatabase &database)
{
    const auto place = places().constFind(database.connectionName());
    if (place == places().constEnd() || place->engine != Engine::PostgreSQL)
        return describeError(error, location(database));
    if (!database.isOpen() && !place->openError.isEmpty())
        return place->openError;
    if (lost(database))
        return lostText(place->location, error);
    return serverErrorText(error, place->location);
}

// ---------------------------------------------------------------------------
// New databases

namespace {
QString columnType(schema::Kind kind, Engine engine)
{
    const bool server = engine == Engine::PostgreSQL;
    switch (kind) {
    case schema::Kind::Text: return server ? QStringLiteral("text") : QStringLiteral("TEXT");
    case schema::Kind::Number: return server ? QStringLiteral("double precision") : QStringLiteral("DOUBLE");
    case schema::Kind::Date: return server ? QStringLiteral("date") : QStringLiteral("DATE");
    }
    return QStringLiteral("TEXT");
}

QString createTable(const schema::Table &table, Engine engine)
{
    const bool server = engine == Engine::PostgreSQL;
    QStringList columns;
    for (const schema::Column &column : table.columns) {
        // A server folds names without quotes to lower case: its columns are made so,
        // and shown with the program's spelling (findRelation).
        QString definition = schema::quoted(server ? column.name.toLower() : column.name) + u' '
                             + columnType(column.kind, engine);
        // An account number identifies a customer: never empty, at most 10 characters, unique.
        if (&table == &schema::daftar() && column.name == QLatin1String("norekening"))
            definition += QStringLiteral(" NOT NULL UNIQUE CHECK (length(norekening) BETWEEN 1 AND 10)");
        columns << definition;
    }
    // The row key, after the described columns: it orders the rows and is never shown.
    if (server)
        columns << QStringLiteral("%1 bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY").arg(QLatin1String(kServerKey));
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
}

// The statements that make the tables, their indexes and the view Qpass. Each
// index ends in the row key, as SQLite's do by themselves, so that the rows of one
// account, name or user are read in stored order from the index.
QStringList schemaStatements(Engine engine)
{
    const QString key = engine == Engine::PostgreSQL ? QString::fromLatin1(kServerKey) : QStringLiteral("rowid");
    const QString indexKey = engine == Engine::PostgreSQL ? QStringLiteral(", ") + key : QString();
    return {
        createTable(schema::daftar(), engine),
        QStringLiteral("CREATE INDEX daftar_nama ON daftar (nama%1)").arg(indexKey),
        createTable(schema::nabubg(), engine),
        QStringLiteral("CREATE INDEX nabubg_norekening ON nabubg (norekening%1)").arg(indexKey),
        createTable(schema::tpassword(), engine),
        QStringLiteral("CREATE INDEX tpassword_user ON tpassword (\"user\"%1)").arg(indexKey),
        QStringLiteral("CREATE VIEW Qpass AS SELECT \"user\", \"password\" FROM tpassword ORDER BY %1").arg(key),
    };
}

} // namespace

bool createSchema(QSqlDatabase &database, QString *error)
{
    QSqlQuery query(database);
    const QStringList statements = schemaStatements(engineOf(database));
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            *error = describeError(query.lastError(), database);
            return false;
        }
    }
    return true;
}

namespace {
// Makes the schema and the first operator in one transaction on an open connection.
bool fillNewDatabase(QSqlDatabase &database, const QString &user, const QString &hash, QString *error)
{
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("BEGIN"))) {
        *error = describeError(query.lastError(), database);
        return false;
    }
    if (!createSchema(database, error)) {
        query.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    // A tool that brings operators of its own makes the tables without one.
    bool prepared = true;
    if (!user.isEmpty()) {
        prepared = query.prepare(QStringLiteral("INSERT INTO tpassword (\"user\", \"password\") VALUES (?, ?)"));
        query.addBindValue(user);
        query.addBindValue(hash);
    }
    if (!(prepared && (user.isEmpty() || query.exec())) || !query.exec(QStringLiteral("COMMIT"))) {
        *error = describeError(query.lastError(), database);
        query.exec(QStringLiteral("ROLLBACK"));
        return false;
    }
    return true;
}
} // namespace

static bool create(const QString &file, const QString *user, const QString *password, QString *error)
{
    const QString path = QDir::toNativeSeparators(file);
    if (QFileInfo::exists(file)) {
        *error = QStringLiteral("File %1 sudah ada; simparo-initdb tidak menyentuh database yang sudah ada.").arg(path);
        return false;
    }
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        *error = QStringLiteral("Folder untuk %1 tidak bisa dibuat.").arg(path);
        return false;
    }
    const QString hash = password ? passwords::hash(*password) : QString();
    if (password && hash.isEmpty()) {
        *error = QStringLiteral("Password tidak bisa di-hash (memori tidak cukup).");
        return false;
    }
    QString name;
    if (!openFile(file, true, &name, error))
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("PRAGMA journal_mode=WAL"))) {
            *error = describeError(query.lastError(), file);
            ok = false;
        }
        query.finish();
        ok = ok && fillNewDatabase(database, user ? *user : QString(), hash, error);
    }
    closeConnection(name);
    if (!ok) {
        QFile::remove(file);
        QFile::remove(file + QStringLiteral("-wal"));
        QFile::remove(file + QStringLiteral("-shm"));
    }
    return ok;
}

bool createDatabase(const QString &file, const QString &user, const QString &password, QString *error)
{
    return create(file, &user, &password, error);
}

bool createEmptyDatabase(const QString &file, QString *error)
{
    return create(file, nullptr, nullptr, error);
}

bool createServerDatabase(const QString &service, const QString &user, const QString &password, QString *error)
{
    const QString text = QStringLiteral("Provider=%1;Data Source=%2").arg(QLatin1String(kServerProvider), service);
    QString problem;
    if (!checkConnectionText(text, &problem)) {
        *error = QStringLiteral("Nama layanan tidak sah: %1.").arg(problem);
        return false;
    }
    const QString hash = passwords::hash(password);
    if (hash.isEmpty()) {
        *error = QStringLiteral("Password tidak bisa di-hash (memori tidak cukup).");
        return false;
    }
    QString name;
    if (!openServer(service, &name, error))
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        QStringList present;
        QSqlError failure;
        if (!presentRelations(database, &present, &failure)) {
            *error = describeError(failure, database);
            ok = false;
        } else {
            if (!present.isEmpty()) {
                *error = QStringLiteral("Database di %1 sudah berisi %2; simparo-initdb tidak menyentuh "
                                        "database yang sudah ada.")
                             .arg(serverLocation(service), present.join(QStringLiteral(", ")));
                ok = false;
            } else {
                ok = fillNewDatabase(database, user, hash, error);
            }
        }
    }
    closeConnection(name);
    return ok;
}

} // namespace db
