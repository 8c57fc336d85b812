#include "database.h"

#include "passwords.h"

#include <QAtomicInt>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

namespace db {

const char *const kConnectionText =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\SKRIP\\asli.mdb;Persist Security Info=False";
const char *const kEnvironmentConnectionText =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\SKRIP\\asli.mdb;Persist Security Info=False;";

namespace {
bool g_readOnly = false;
int g_busyTimeout = 5000;
bool g_writeAheadLog = true;
QAtomicInt g_connectionSerial;

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

QString incompleteText(const QString &file, const QString &missing)
{
    return QStringLiteral("Database %1 tidak lengkap: %2 tidak ada.\n"
                          "Kembalikan file dari cadangan, atau buat database baru dengan simparo-initdb.")
        .arg(QDir::toNativeSeparators(file), missing);
}

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
} // namespace

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
    return fileFromConnectionText(connectionText);
}

QString databaseFile()
{
    return fileFromConnectionText(QString::fromLatin1(kConnectionText));
}

void setReadOnlyForTesting(bool readOnly) { g_readOnly = readOnly; }
void setBusyTimeoutForTesting(int milliseconds) { g_busyTimeout = milliseconds; }
void setWriteAheadLogForTesting(bool use) { g_writeAheadLog = use; }

static bool openFile(const QString &file, bool allowCreate, QString *connectionName, QString *error)
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
    const QString name = QStringLiteral("simparo-%1").arg(g_connectionSerial.fetchAndAddRelaxed(1));
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
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

bool openConnection(const QString &connectionText, QString *connectionName, QString *error)
{
    return openFile(fileFromConnectionText(connectionText), false, connectionName, error);
}

void closeConnection(const QString &connectionName)
{
    if (connectionName.isEmpty() || !QSqlDatabase::contains(connectionName))
        return;
    {
        QSqlDatabase database = QSqlDatabase::database(connectionName, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

QString keyColumn(const QSqlDatabase &)
{
    return QStringLiteral("rowid");
}

bool beginWrite(QSqlDatabase &database, QSqlError *error)
{
    QSqlQuery query(database);
    if (query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return true;
    *error = query.lastError();
    return false;
}

bool findRelation(QSqlDatabase &database, const QString &name, Relation *relation, QString *error)
{
    const QString file = database.databaseName();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT type, name FROM sqlite_master "
                                 "WHERE type IN ('table', 'view') AND lower(name) = lower(?)"));
    query.addBindValue(name);
    if (!query.exec()) {
        *error = describeError(query.lastError(), file);
        return false;
    }
    if (!query.next()) {
        if (query.lastError().isValid())
            *error = describeError(query.lastError(), file);
        else
            *error = incompleteText(file, name);
        return false;
    }
    *relation = Relation();
    relation->isView = query.value(0).toString() == QLatin1String("view");
    relation->name = query.value(1).toString();
    query.finish();
    QStringList declared;
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(schema::quoted(relation->name)))) {
        *error = describeError(query.lastError(), file);
        return false;
    }
    while (query.next()) {
        relation->columns << query.value(1).toString();
        declared << query.value(2).toString();
    }
    if (query.lastError().isValid()) {
        *error = describeError(query.lastError(), file);
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

bool verifyDatabase(const QString &file, QString *error)
{
    QString name;
    if (!openFile(file, false, &name, error))
        return false;
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("SELECT type, name FROM sqlite_master"))) {
            *error = describeError(query.lastError(), file);
            ok = false;
        } else {
            QStringList tables, views;
            while (query.next()) {
                const QString type = query.value(0).toString();
                const QString objectName = query.value(1).toString().toLower();
                (type == QLatin1String("view") ? views : tables) << objectName;
            }
            QStringList missing;
            for (const char *t : {"daftar", "nabubg", "tpassword"})
                if (!tables.contains(QLatin1String(t)))
                    missing << QStringLiteral("tabel %1").arg(QLatin1String(t));
            if (!views.contains(QLatin1String("qpass")) && !tables.contains(QLatin1String("qpass")))
                missing << QStringLiteral("query Qpass");
            if (!missing.isEmpty()) {
                *error = incompleteText(file, missing.join(QStringLiteral(", ")));
                ok = false;
            }
        }
    }
    closeConnection(name);
    return ok;
}

QString describeError(const QSqlError &error, const QString &file)
{
    const QString path = QDir::toNativeSeparators(file);
    const QString detail = error.driverText().isEmpty() ? error.databaseText()
                                                        : error.databaseText().isEmpty() ? error.driverText()
                                                                                        : error.databaseText();
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
    if (!detail.isEmpty())
        text += QStringLiteral("\n(%1)").arg(detail);
    return text;
}

namespace {
QString columnType(schema::Kind kind)
{
    switch (kind) {
    case schema::Kind::Text: return QStringLiteral("TEXT");
    case schema::Kind::Number: return QStringLiteral("DOUBLE");
    case schema::Kind::Date: return QStringLiteral("DATE");
    }
    return QStringLiteral("TEXT");
}

QString createTable(const schema::Table &table)
{
    QStringList columns;
    for (const schema::Column &column : table.columns) {
        QString definition = schema::quoted(column.name) + u' ' + columnType(column.kind);
        // An account number identifies a customer: never empty, at most 10 characters, unique.
        if (&table == &schema::daftar() && column.name == QLatin1String("norekening"))
            definition += QStringLiteral(" NOT NULL UNIQUE CHECK (length(norekening) BETWEEN 1 AND 10)");
        columns << definition;
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(table.name, columns.join(QStringLiteral(", ")));
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
        const QStringList statements = {
            QStringLiteral("PRAGMA journal_mode=WAL"),
            QStringLiteral("BEGIN"),
            createTable(schema::daftar()),
            QStringLiteral("CREATE INDEX daftar_nama ON daftar (nama)"),
            createTable(schema::nabubg()),
            QStringLiteral("CREATE INDEX nabubg_norekening ON nabubg (norekening)"),
            createTable(schema::tpassword()),
            QStringLiteral("CREATE INDEX tpassword_user ON tpassword (\"user\")"),
            QStringLiteral("CREATE VIEW Qpass AS SELECT \"user\", \"password\" FROM tpassword ORDER BY rowid"),
        };
        for (const QString &statement : statements) {
            if (!query.exec(statement)) {
                *error = describeError(query.lastError(), file);
                ok = false;
                break;
            }
        }
        if (ok && user) {
            query.prepare(QStringLiteral("INSERT INTO tpassword (\"user\", \"password\") VALUES (?, ?)"));
            query.addBindValue(*user);
            query.addBindValue(hash);
            if (!query.exec()) {
                *error = describeError(query.lastError(), file);
                ok = false;
            }
        }
        if (ok) {
            if (!query.exec(QStringLiteral("COMMIT"))) {
                *error = describeError(query.lastError(), file);
                ok = false;
            }
        }
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

} // namespace db
