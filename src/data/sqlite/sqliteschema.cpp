// The statements a file is made and kept with: its tables, the trail and the
// triggers that keep both append-only, the ledger's rules, and the supervisors'
// tables an older file is given.
#include "data/sqlite/sqlite_p.h"

#include "data/base/schema.h"
#include "data/base/sqlscript.h"
#include "data/base/trailnames.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace db::fileinternal {

namespace {

// The triggers of file-rules.sql.
const QStringList kRuleTriggers{QStringLiteral("nabubg_isi_sah"), QStringLiteral("nabubg_tanggal"),
                                QStringLiteral("nabubg_nasabah"), QStringLiteral("nabubg_saldo"),
                                QStringLiteral("nabubg_kunci"),   QStringLiteral("nabubg_blokir"),
                                QStringLiteral("nabubg_koreksi"), QStringLiteral("nabubg_bagi_hasil"),
                                QStringLiteral("daftar_baru_sah"),
                                QStringLiteral("daftar_ubah_sah")};

QString failureText(const QSqlError &error, const QSqlDatabase &database)
{
    return describeFileError(error, location(database));
}

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

// Whether the file holds its month-end runs in the older table, one run a month
// kept for good (bulan UNIQUE, no take-back); *record is the table's columns.
Outcome holdsOlderRuns(QSqlDatabase &database, QSqlRecord *record, bool *older)
{
    *older = false;
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'bagi_hasil'")))
        return Outcome::failed(failureText(query.lastError(), database));
    const bool there = query.next();
    query.finish();
    *record = database.record(QStringLiteral("bagi_hasil"));
    *older = there && !record->contains(QStringLiteral("batal"));
    return Outcome::ok();
}

// The statement that makes the runs' table as the statements make it, making it
// under the name the runs are copied into; empty when none of them makes it.
QString makesNewRuns(const QStringList &statements)
{
    const QString made = QStringLiteral("CREATE TABLE IF NOT EXISTS bagi_hasil (");
    QString create;
    for (const QString &statement : statements)
        if (statement.contains(made))
            create = QString(statement).replace(made, QStringLiteral("CREATE TABLE bagi_hasil_baru ("));
    return create;
}

// An older file's month-end runs kept one run a month for good, which SQLite
// cannot drop: there the table is made anew as the statements make it, with
// every run it holds, before the statements make its index and triggers (its old
// triggers go with the old table). The ledger's rule that names the table keeps
// naming it (the rename leaves the triggers' text alone).
Outcome remakeRuns(QSqlDatabase &database, const QStringList &statements)
{
    QSqlRecord record;
    bool older = false;
    if (const Outcome asked = holdsOlderRuns(database, &record, &older); !asked.isOk() || !older)
        return asked;
    const QString create = makesNewRuns(statements);
    if (create.isEmpty())
        return Outcome::failed(QStringLiteral("bagi_hasil: pernyataan pembuat tabel tidak ditemukan"));
    QStringList columns;
    for (int c = 0; c < record.count(); ++c)
        columns << schema::quoted(record.fieldName(c));
    const QString list = columns.join(QStringLiteral(", "));
    QSqlQuery query(database);
    for (const QString &statement :
         {create, QStringLiteral("INSERT INTO bagi_hasil_baru (%1) SELECT %1 FROM bagi_hasil ORDER BY id").arg(list),
          QStringLiteral("DROP TABLE bagi_hasil"), QStringLiteral("PRAGMA legacy_alter_table = ON"),
          QStringLiteral("ALTER TABLE bagi_hasil_baru RENAME TO bagi_hasil"),
          QStringLiteral("PRAGMA legacy_alter_table = OFF")}) {
        if (!query.exec(statement)) {
            const QSqlError failure = query.lastError();
            query.exec(QStringLiteral("PRAGMA legacy_alter_table = OFF"));
            return Outcome::failed(failureText(failure, database));
        }
    }
    return Outcome::ok();
}

} // namespace

QStringList schemaStatements()
{
    return QStringList{
        createTable(schema::daftar()),
        QStringLiteral("CREATE INDEX daftar_nama ON daftar (nama)"),
        createTable(schema::nabubg()),
        QStringLiteral("CREATE INDEX nabubg_norekening ON nabubg (norekening)"),
        createTable(schema::tpassword()),
        QStringLiteral("CREATE INDEX tpassword_user ON tpassword (\"user\")"),
        QStringLiteral("CREATE VIEW Qpass AS SELECT \"user\", \"password\" FROM tpassword ORDER BY rowid"),
    } + trailStatements();
}

QStringList trailStatements()
{
    return QStringList{
               schema::jejakStatement(QStringLiteral("INTEGER"), QStringLiteral("TEXT")),
               QStringLiteral("CREATE UNIQUE INDEX jejak_token ON jejak (token) WHERE token IS NOT NULL"),
               QStringLiteral("CREATE INDEX jejak_tabel_kunci ON jejak (tabel, kunci)"),
               QStringLiteral("CREATE INDEX jejak_waktu ON jejak (waktu)"),
           }
           + trailRuleStatements(true);
}

QStringList trailTriggers()
{
    QStringList names{QStringLiteral("jejak_berurutan")};
    for (const char *table : {"nabubg", "jejak"})
        for (const char *event : {"update", "delete"})
            names << QStringLiteral("%1_hanya_ditambah_%2").arg(QLatin1String(table), QLatin1String(event));
    // The account blocks are kept as events too.
    names << QStringLiteral("blokir_hanya_ditambah_ubah") << QStringLiteral("blokir_hanya_ditambah_hapus");
    return names + kRuleTriggers;
}

QStringList trailRuleStatements(bool enforced)
{
    // The program numbers and seals the rows (audit.cpp) inside a transaction
    // that shuts out every other writer; the trigger refuses a number that is
    // not the next one, so that no writer can fork the chain.
    QStringList statements{
        enforced ? QStringLiteral("CREATE TRIGGER jejak_berurutan BEFORE INSERT ON jejak "
                                  "WHEN NEW.nomor IS NOT (SELECT coalesce(max(nomor), 0) + 1 FROM jejak) "
                                  "BEGIN SELECT RAISE(ABORT, 'jejak: nomor baris harus tepat sesudah nomor terakhir'); END")
                 : QStringLiteral("DROP TRIGGER IF EXISTS jejak_berurutan")};
    for (const auto &[table, message] : {std::pair{"nabubg", audit::kLedgerAppendOnly},
                                         std::pair{"jejak", audit::kTrailAppendOnly}}) {
        for (const char *event : {"UPDATE", "DELETE"}) {
            const QString name = QStringLiteral("%1_hanya_ditambah_%2").arg(QLatin1String(table), QString::fromLatin1(event).toLower());
            statements << (enforced ? QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 BEGIN SELECT RAISE(ABORT, '%4'); END")
                                          .arg(name, QLatin1String(event), QLatin1String(table), QString::fromUtf8(message))
                                    : QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name));
        }
    }
    return statements;
}

QStringList ruleStatements(bool enforced)
{
    // Made anew, so that a file made by an earlier version takes the rules as they are now.
    if (enforced)
        return ruleStatements(false) + sqlscript::statements(QStringLiteral("file-rules"));
    QStringList statements;
    for (const QString &name : kRuleTriggers)
        statements << QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name);
    return statements;
}

Outcome makeSupervision(QSqlDatabase &database)
{
    QSqlQuery query(database);
    const QStringList supervision = sqlscript::statements(QStringLiteral("file-supervision"));
    const Outcome remade = remakeRuns(database, supervision);
    if (!remade.isOk())
        return remade;
    // The passbook's prints after them.
    for (const QString &statement : supervision + sqlscript::statements(QStringLiteral("file-passbook")))
        if (!query.exec(statement))
            return Outcome::failed(failureText(query.lastError(), database));
    return Outcome::ok();
}

} // namespace db::fileinternal
