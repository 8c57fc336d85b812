#include "testdb.h"

#include "data/database.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

static int g_serial = 0;

TestDatabase::TestDatabase(bool create)
{
    savedHome_ = qgetenv("HOME");
    qputenv("HOME", dir_.path().toLocal8Bit());
    if (create) {
        QString error;
        if (!db::createDatabase(file(), QStringLiteral("admin"), QStringLiteral("admin123"), &error))
            qFatal("cannot create test database: %s", qPrintable(error));
    }
}

TestDatabase::~TestDatabase()
{
    if (!connectionName_.isEmpty()) {
        {
            QSqlDatabase database = QSqlDatabase::database(connectionName_, false);
            database.close();
        }
        QSqlDatabase::removeDatabase(connectionName_);
    }
    qputenv("HOME", savedHome_);
}

QString TestDatabase::file() const
{
    return dir_.path() + QStringLiteral("/SKRIP/asli.sqlite");
}

QSqlDatabase TestDatabase::connection()
{
    if (connectionName_.isEmpty()) {
        connectionName_ = QStringLiteral("test-%1").arg(++g_serial);
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
        database.setDatabaseName(file());
        if (!database.open())
            qFatal("cannot open test database");
        QSqlQuery(database).exec(QStringLiteral("PRAGMA busy_timeout=5000"));
    }
    return QSqlDatabase::database(connectionName_, false);
}

static QSqlQuery run(QSqlDatabase database, const QString &sql, const QVariantList &values)
{
    QSqlQuery query(database);
    query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        qFatal("test statement failed: %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    return query;
}

void TestDatabase::exec(const QString &sql, const QVariantList &values)
{
    run(connection(), sql, values);
}

QVariant TestDatabase::scalar(const QString &sql, const QVariantList &values)
{
    QSqlQuery query = run(connection(), sql, values);
    return query.next() ? query.value(0) : QVariant();
}

QStringList TestDatabase::rows(const QString &sql, const QVariantList &values)
{
    QSqlQuery query = run(connection(), sql, values);
    QStringList result;
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns << query.value(i).toString();
        result << columns.join(u'|');
    }
    return result;
}

void TestDatabase::addCustomer(const QString &norekening, const QString &nama, const QString &pendidikan)
{
    exec(QStringLiteral("INSERT INTO daftar VALUES (?, ?, 'Medan', '01/02/2010', 'Jl. Melati 1', 'Medan', "
                        "'20111', ?, '061-123')"),
         {norekening, nama, pendidikan});
}

void TestDatabase::addLedgerRow(const QString &norekening, const QString &nama, const QString &date,
                                const QString &kode, double debet, double kredit, double saldo)
{
    exec(QStringLiteral("INSERT INTO nabubg VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
         {norekening, nama, date, kode,
          kode == QLatin1String("01") ? QStringLiteral("Penyetoran") : QStringLiteral("Penarikan"), debet, kredit,
          saldo});
}

void TestDatabase::addOperator(const QString &user, const QString &password)
{
    exec(QStringLiteral("INSERT INTO tpassword (\"user\", \"password\") VALUES (?, ?)"), {user, password});
}

bool TestDatabase::damage(bool truncate)
{
    QFile file(this->file());
    if (!file.open(QIODevice::ReadWrite))
        return false;
    constexpr qint64 kept = 2 * 4096;
    if (truncate)
        return file.resize(kept);
    return file.seek(kept) && file.write(QByteArray(int(file.size() - kept), '\x5a')) == file.size() - kept;
}
