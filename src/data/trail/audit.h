#pragma once

#include "data/base/trailnames.h"

#include "data/base/outcome.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>
#include <QVector>
#include <optional>

namespace db {
struct Value;
}

// The audit trail: the table jejak, one row for every action that writes, in the
// same transaction as the write. Rows form one chain, numbered 1, 2, 3 ... (nomor)
// without gaps; each row's seal (segel) is the SHA-256 of the previous row's seal
// followed by the row's own content, and the content holds the full content (isi)
// of the ledger or register row written. Changing, deleting or inserting a row of
// jejak or of the ledger afterwards breaks the chain or no longer matches it, and
// simparo-verify finds it.
//
// Appends are serialised so that the chain never forks: in a file every write
// transaction shuts out every other writer (BEGIN IMMEDIATE), and the row is
// computed here; on a server a trigger on jejak takes one lock for the trail,
// held to the commit, and computes the row itself (time, who, the content of the
// row written and the seal), so that no client can fake them.
namespace audit {

// The actions (tindakan) and the database's refusals: trailnames.h.

// What the writer of an action tells the trail. A record source's writes fill in
// what they know themselves (see recordwrite): the table, the key, the account
// number, the changed or deleted columns, and the action when none is given.
struct Entry {
    QString tindakan;
    QString tabel;                // the table of the row written; empty: none
    std::optional<qint64> kunci;  // the key of that row
    QString norekening;           // the account number; a null text: none
    QString rincian;              // details: "key=value" lines joined by "\n"
    QString token;                // the idempotency token of a "SAVE"; a null text: none
    QDateTime moment;             // when the action was taken (the reading that dated its row);
                                  // invalid: the counter's clock as the row is appended
};

// The kinds of write of a record source, and the action each stands for when its
// writer names none: a ledger row appended is a deposit, or a withdrawal by its
// code ("02"); a register row is new, changed or deleted; an operator's row is
// added, changed (his password or name) or removed. Another table's writes are
// "<table> tambah", "<table> ubah", "<table> hapus".
enum class Write { Insert, Update, Delete };
QString defaultAction(const QString &table, Write write, const QString &code = QString());

// One details line: "key=value", a line break or backslash in the value escaped
// ("\n", "\\") so that every line stays one line.
QString detail(const QString &key, const QString &value);
// One line of a changed column: "column: old -> new".
QString change(const QString &column, const QString &before, const QString &after);
// The old value a line written by change() gives for this column, when its new
// value is `after`; nothing when the line is no such line.
std::optional<QString> changedFrom(const QString &line, const QString &column, const QString &after);
// The details of a row as key and value, their escapes undone, in order.
QList<QPair<QString, QString>> detailValues(const QString &rincian);

// A fresh idempotency token: 32 lower-case hex characters, the moment it was made
// (milliseconds) and 80 random bits.
QString newToken();
// The key of the row of `table` that a write with this token stored, as its
// trail row names it; nothing when no write with this token is stored.
Outcome storedUnderToken(QSqlDatabase &database, const QString &table, const QString &token,
                         std::optional<qint64> *key);

// --- The canonical text
// A field is "-" for NULL, else "<n>:<v>": the value's UTF-8 bytes v and their
// number n in decimal. A record is its fields one after another.
void appendField(QByteArray *record, const QString &value); // a null text is NULL
void appendField(QByteArray *record, std::optional<qint64> value);
// The fields of a record again, in order; nothing when the text is no record.
std::optional<QList<QString>> fieldsOf(const QString &record);

// The columns (as a statement names them) whose values make the content of a row
// of one of the program's tables: nabubg and daftar all their columns, tpassword
// only its user (never the password). Empty for another table.
QStringList contentColumns(const QString &table);
// True when a table with these columns (as the database names them, in stored
// order) is one of the program's tables as the program describes it.
bool describedTable(const QString &table, const QStringList &columns);
// The content (isi) of a row of such a table from those columns' values as the
// database gives them: text as stored, dates yyyy-MM-dd, amounts as a whole number
// of sen (a value that is no number as "!" and its text). A null text for
// another table. The same from values read as a stream (as many as the columns).
QString rowContent(const QString &table, const QVector<QVariant> &values);
QByteArray rowContent(const QString &table, const db::Value *values);

// One row of jejak as stored (a null text is NULL).
struct Record {
    qint64 nomor = 0;
    QString waktu, zona, operatorName, peran, loket, alamat, tindakan, tabel;
    std::optional<qint64> kunci;
    QString norekening, rincian, isi, token, segel;
};
// The columns of jejak in stored order, as a statement names them.
QString recordColumns();
// The content of a jejak row: all its columns but the seal; the same from its
// first 14 columns read as a stream (recordColumns()).
QByteArray content(const Record &record);
QByteArray content(const db::Value *values);
// The seal of a row after the row with `previousSeal` (empty for the first row):
// lower-case hex SHA-256 of the previous seal's 32 bytes (32 zero bytes for the
// first row) followed by the content.
QByteArray seal(const QByteArray &previousSeal, const QByteArray &content);
// A seal as a person compares it: groups of four ("a1b2 c3d4 ...").
QString groupedSeal(const QString &seal);

// --- Appending
// Appends the row of one action inside the caller's write transaction (begun with
// db::beginWrite), after the write it records (a deletion: before it, so that the
// row can still be read). The operator is the one logged in (session), unless given.
// `written` (when given) is the row written as the database gave it back, all the
// columns of its table in stored order: then the row is not read again here.
// With Send::WithCommit, and as the write's last statement, the row goes with the
// COMMIT where the trail is sealed by a server (db::holdForCommit): the server's
// trail lock is then held for the seal and the commit only.
enum class Send { Now, WithCommit };
Outcome append(QSqlDatabase &database, const Entry &entry, const QString &operatorName = QString(),
               const QVector<QVariant> *written = nullptr, Send send = Send::Now);
// The same in a short write transaction of its own, on a connection of its own to
// what the connection text names.
Outcome appendAlone(const QString &connectionText, const Entry &entry, const QString &operatorName = QString());
// The counter's offset from UTC now, as a row records it ("+07:00").
QString currentZone();
// A login: successful (masuk, by `user`, the operator whose password was
// confirmed) or failed (masuk gagal, user as typed, and why).
Outcome recordLogin(const QString &connectionText, const QString &user, bool succeeded, const QString &why = QString());

// --- Rows brought in by bulk: an import, or the rows of an older database when it is given the trail
// A balance-chain break known when the rows were brought in.
struct KnownBreak {
    QString account;
    qint64 key = 0;
    friend bool operator==(const KnownBreak &, const KnownBreak &) = default;
};
// The ledger rows of one key range as one jejak row records them.
struct Coverage {
    std::optional<qint64> first, last; // the key range; nothing when no rows
    qint64 count = 0;
    QByteArray digest;                  // lower-hex SHA-256 of their contents in key order
    QList<KnownBreak> breaks;           // breaks of the balance chain at rows in the range
};
// The ledger rows with keys from `first` to `last` (all rows when not given) as
// they stand: their count, their digest, and the breaks of the balance chain (the
// whole ledger walked in posting order) at rows among them.
Outcome coverLedger(QSqlDatabase &database, Coverage *coverage, std::optional<qint64> first = std::nullopt,
                    std::optional<qint64> last = std::nullopt);
// The month-end run's own rows among the ledger rows with keys from `first` to
// `last`: its share ("03") and tax ("04") rows, the counters' rows between them
// left out (each has its own trail row). No breaks are looked for.
bool isRunCode(const QString &kode);
Outcome coverRun(QSqlDatabase &database, Coverage *coverage, qint64 first, qint64 last);
// The correction rows ("05") of a month-end run's take-back among the ledger rows
// with keys from `first` to `last`: those without a trail row of their own (a
// counter's correction between them has one).
Outcome coverTakeBack(QSqlDatabase &database, Coverage *coverage, qint64 first, qint64 last);
// The details of such a row: "nabubg=<first>-<last>", "jumlah=<count>",
// "digest=<hex>" and a "putus=<account>@<key>" line for each break.
QString coverageDetails(const Coverage &coverage);
// The coverage a row's details record; nothing when they record none.
std::optional<Coverage> coverageOf(const QString &rincian);
// The known breaks a row's details name ("putus=" lines).
QList<KnownBreak> breaksOf(const QString &rincian);
// Appends the one jejak row of an import (action::kImport) of the ledger rows with
// keys from `first` to `last`, inside the importer's write transaction, after the
// rows are written: their count, digest and breaks are read back from the
// database. `details` (may be empty) adds lines of the importer's own.
// The register's rows (daftar) it brought, keys from registerFirst to
// registerLast (none when not given), are recorded the same way (see
// registertrail.h), so that a customer changed later without his trail row is found.
Outcome appendImport(QSqlDatabase &database, qint64 first, qint64 last, const QString &details = QString(),
                     std::optional<qint64> registerFirst = std::nullopt, std::optional<qint64> registerLast = std::nullopt);

// --- The day's seal
struct DaySeal {
    qint64 nomor = 0;
    QString waktu, zona, segel;
};
// The seal at the end of a day: that of the last jejak row (in chain order) whose
// local date (waktu shifted by zona) is on or before the day; nothing when there
// is none.
Outcome sealAtEndOfDay(QSqlDatabase &database, const QDate &day, std::optional<DaySeal> *seal);
// The seal of the row with this number; nothing when there is none.
Outcome sealAtRow(QSqlDatabase &database, qint64 nomor, std::optional<DaySeal> *seal);
// The local date and time of a row (waktu shifted by zona); invalid when unreadable.
QDateTime localTime(const QString &waktu, const QString &zona);

} // namespace audit
