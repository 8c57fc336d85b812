// The bench's database: years of postings with their sealed trail rows, built once
// and reused, and trimmed back to them after each case.
#include "bench.h"

#include "data/trail/audit.h"
#include "data/trail/auditcheck.h"
#include "data/base/criteria.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/records/recordsource.h"
#include "data/trail/registertrail.h"
#include "data/base/textforms.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QCommandLineParser>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>
#include <QTimeZone>
#include <algorithm>
#include <cstdio>
#include <tuple>

namespace bench {

void ensureDatabase(int customers, int ledgerRows)
{
    const QString file = db::databaseFile();
    if (QFileInfo::exists(file)) {
        bool ready = false;
        withDatabase([&](QSqlDatabase &check) {
            QSqlQuery query(check);
            ready = query.exec(QStringLiteral("SELECT (SELECT count(*) FROM daftar), (SELECT count(*) FROM nabubg), "
                                              "(SELECT count(*) FROM jejak)"))
                    && query.next() && query.value(0).toInt() == customers && query.value(1).toInt() == ledgerRows
                    && query.value(2).toInt() == ledgerRows + 2;
            // Data of an older bench numbers its accounts otherwise.
            ready = ready && query.exec(QStringLiteral("SELECT norekening FROM daftar ORDER BY rowid LIMIT 1"))
                    && query.next() && query.value(0).toString() == accountNumber(0);
        });
        if (ready) {
            std::printf("Reusing %s (%d customers, %d ledger rows)\n", qPrintable(file), customers, ledgerRows);
            return;
        }
        QFile::remove(file);
        QFile::remove(file + QStringLiteral("-wal"));
        QFile::remove(file + QStringLiteral("-shm"));
    }
    std::printf("Building %s: %d customers, %d ledger rows ...\n", qPrintable(file), customers, ledgerRows);
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    QString error;
    if (!db::createDatabase(file, QStringLiteral("admin"), QStringLiteral("admin123"), &error))
        qFatal("%s", qPrintable(error));
    withDatabase([&](QSqlDatabase &build) {
        QSqlQuery query(build);
        query.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        query.exec(QStringLiteral("PRAGMA cache_size=-262144"));
        query.exec(QStringLiteral("BEGIN"));
        // Rows go in by their keys alone; the indexes are made after them, each in one
        // sorted pass (a new row of an index at a random place, ten million times over,
        // rewrites its pages many times).
        const auto indexes = bulkIndexes(db::dialect(build));
        for (const auto &[indexName, statement] : indexes)
            if (!query.exec(QStringLiteral("DROP INDEX %1").arg(indexName)))
                qFatal("%s", qPrintable(query.lastError().text()));
        // Years of postings, dated in the past: the owner's bulk load, with the rules
        // of a clerk's rows lifted until the rows are in.
        for (const QString &statement : db::dialect(build).ruleStatements(false))
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        query.prepare(QStringLiteral("INSERT INTO daftar VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        const QStringList levels = {QStringLiteral("SD"), QStringLiteral("SMP"), QStringLiteral("SMU"),
                                    QStringLiteral("MAHASISWA")};
        for (int i = 0; i < customers; ++i) {
            query.addBindValue(accountNumber(i));
            query.addBindValue(QStringLiteral("Nasabah Siswa %1").arg(i + 1));
            query.addBindValue(QStringLiteral("Padang"));
            query.addBindValue(QStringLiteral("%1/%2/2008").arg(i % 28 + 1, 2, 10, QLatin1Char('0'))
                                   .arg(i % 12 + 1, 2, 10, QLatin1Char('0')));
            query.addBindValue(QStringLiteral("Jl. Merdeka No. %1").arg(i % 300 + 1));
            query.addBindValue(QStringLiteral("Padang"));
            query.addBindValue(QStringLiteral("25111"));
            query.addBindValue(levels.at(i % 4));
            query.addBindValue(QStringLiteral("0751-%1").arg(700000 + i));
            if (!query.exec())
                qFatal("%s", qPrintable(query.lastError().text()));
        }
        QVector<double> balance(customers, 0.0);
        // Each ledger row has its posting row in the audit trail, sealed as "SAVE" seals it.
        QSqlQuery trail(build);
        trail.prepare(QStringLiteral("INSERT INTO jejak (%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                          .arg(audit::recordColumns()));
        audit::Record record;
        QByteArray seal;
        if (query.exec(QStringLiteral("SELECT nomor, segel FROM jejak ORDER BY nomor DESC LIMIT 1")) && query.next()) {
            record.nomor = query.value(0).toLongLong();
            seal = query.value(1).toString().toLatin1();
        }
        // The customers came in as an import brings them: one trail row records them
        // (their key range, count and digest), so that the check vouches for each.
        {
            audit::RegisterCoverage customersIn;
            if (!audit::coverRegister(build, &customersIn).isOk())
                qFatal("the customers could not be read");
            audit::Coverage noLedger;
            noLedger.digest = QCryptographicHash::hash(QByteArray(), QCryptographicHash::Sha256).toHex();
            audit::Record imported;
            imported.nomor = ++record.nomor;
            imported.waktu = QDateTime(QDate(2012, 1, 1), QTime(1, 0), QTimeZone::utc()).toString(Qt::ISODateWithMs);
            imported.zona = QStringLiteral("+07:00");
            imported.operatorName = QStringLiteral("simparo-bench");
            imported.tindakan = QLatin1String(audit::action::kImport);
            imported.tabel = QStringLiteral("nabubg");
            imported.rincian = audit::coverageDetails(noLedger) + u'\n' + audit::registerCoverageDetails(customersIn)
                + QStringLiteral("\nsumber=simparo-bench");
            seal = audit::seal(seal, audit::content(imported));
            imported.segel = QString::fromLatin1(seal);
            for (const QVariant &value : {QVariant(imported.nomor), QVariant(imported.waktu), QVariant(imported.zona),
                                          QVariant(imported.operatorName), QVariant(), QVariant(), QVariant(),
                                          QVariant(imported.tindakan), QVariant(imported.tabel), QVariant(), QVariant(),
                                          QVariant(imported.rincian), QVariant(), QVariant(), QVariant(imported.segel)})
                trail.addBindValue(value);
            if (!trail.exec())
                qFatal("%s", qPrintable(trail.lastError().text()));
        }
        query.prepare(QStringLiteral("INSERT INTO nabubg VALUES (?, ?, ?, ?, ?, ?, ?, ?)"));
        record.zona = QStringLiteral("+07:00");
        record.operatorName = QStringLiteral("admin");
        record.loket = QStringLiteral("bench");
        record.tabel = QStringLiteral("nabubg");
        const QDateTime start(QDate(2012, 1, 2), QTime(1, 0), QTimeZone::utc());
        QDate date(2012, 1, 2);
        // 400 postings a day, more on a larger ledger, so that every posting and its
        // trail row lie in the past (within 5,000 days): a moment still to come would
        // fall within every window "since" a recent moment (the failed logins of the
        // last minutes), which no real trail holds.
        const int perDay = std::max(400, int((qint64(ledgerRows) + 4999) / 5000));
        const int spacing = std::min(60, 86400 / perDay);
        quint32 state = 12345;
        for (int r = 0; r < ledgerRows; ++r) {
            state = state * 1664525u + 1013904223u;
            const int account = int((state >> 8) % quint32(customers));
            const double amount = 500.0 * (2 + (state >> 20) % 200);
            const bool withdraw = balance[account] >= amount && (state & 3) == 0;
            balance[account] += withdraw ? -amount : amount;
            if (r % perDay == perDay - 1)
                date = date.addDays(1);
            query.addBindValue(accountNumber(account));
            query.addBindValue(QStringLiteral("Nasabah Siswa %1").arg(account + 1));
            query.addBindValue(textform::storedDateText(date));
            query.addBindValue(withdraw ? QStringLiteral("02") : QStringLiteral("01"));
            query.addBindValue(withdraw ? QStringLiteral("Penarikan") : QStringLiteral("Penyetoran"));
            query.addBindValue(withdraw ? amount : 0.0);
            query.addBindValue(withdraw ? 0.0 : amount);
            query.addBindValue(balance[account]);
            if (!query.exec())
                qFatal("%s", qPrintable(query.lastError().text()));
            ++record.nomor;
            record.waktu = start.addDays(date.toJulianDay() - QDate(2012, 1, 2).toJulianDay())
                               .addSecs(qint64(r % perDay) * spacing)
                               .toString(Qt::ISODateWithMs);
            record.tindakan = QLatin1String(withdraw ? audit::action::kWithdrawal : audit::action::kDeposit);
            record.kunci = r + 1;
            record.norekening = accountNumber(account);
            record.isi = audit::rowContent(QStringLiteral("nabubg"),
                                           {accountNumber(account), QStringLiteral("Nasabah Siswa %1").arg(account + 1),
                                            textform::storedDateText(date),
                                            withdraw ? QStringLiteral("02") : QStringLiteral("01"),
                                            withdraw ? QStringLiteral("Penarikan") : QStringLiteral("Penyetoran"),
                                            withdraw ? amount : 0.0, withdraw ? 0.0 : amount, balance[account]});
            record.token = audit::newToken();
            seal = audit::seal(seal, audit::content(record));
            record.segel = QString::fromLatin1(seal);
            for (const QVariant &value : {QVariant(record.nomor), QVariant(record.waktu), QVariant(record.zona),
                                          QVariant(record.operatorName), QVariant(), QVariant(record.loket), QVariant(),
                                          QVariant(record.tindakan), QVariant(record.tabel), QVariant(*record.kunci),
                                          QVariant(record.norekening), QVariant(), QVariant(record.isi),
                                          QVariant(record.token), QVariant(record.segel)})
                trail.addBindValue(value);
            if (!trail.exec())
                qFatal("%s", qPrintable(trail.lastError().text()));
        }
        for (const auto &[indexName, statement] : indexes)
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        for (const QString &statement : db::dialect(build).ruleStatements(true))
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        query.exec(QStringLiteral("COMMIT"));
        query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    });
    std::printf("  built in %.1f s\n", timer.elapsed() / 1000.0);
}

} // namespace bench

// Takes out what the bench's own postings, registrations and logins added, and
// their rows of the audit trail, so that the next run finds the same data: the
// owner's maintenance, with the trail's rules lifted for a moment.
void trimDatabase(int customers, int ledgerRows)
{
    bench::withDatabase([&](QSqlDatabase &trim) {
        const QString key = db::keyColumn(trim);
        const db::Dialect &dialect = db::dialect(trim);
        QSqlQuery query(trim);
        query.exec(QStringLiteral("BEGIN"));
        for (const QString &statement : dialect.trailRuleStatements(false))
            query.exec(statement);
        for (const auto &[table, column, kept] : {std::tuple{"daftar", key, qint64(customers)},
                                                  std::tuple{"nabubg", key, qint64(ledgerRows)},
                                                  std::tuple{"jejak", QStringLiteral("nomor"), qint64(ledgerRows) + 2}}) {
            query.prepare(QStringLiteral("DELETE FROM %1 WHERE %2 > ?").arg(QLatin1String(table), column));
            query.addBindValue(kept);
            if (!query.exec())
                qFatal("%s", qPrintable(query.lastError().text()));
        }
        trimMonthEnd(trim, trim.driverName() == QLatin1String("QPSQL"));
        // The next keys follow the kept rows: a run of deleted keys just below the
        // newest would be taken by every record source for rows still in flight.
        QSqlError error;
        for (const char *table : {"daftar", "nabubg"})
            if (!dialect.keysGiven(trim, QString::fromLatin1(table), &error))
                qFatal("%s", qPrintable(error.text()));
        for (const QString &statement : dialect.trailRuleStatements(true))
            if (!query.exec(statement))
                qFatal("%s", qPrintable(query.lastError().text()));
        query.exec(QStringLiteral("COMMIT"));
    });
}
