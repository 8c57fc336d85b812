#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

// The tables of the database, their columns in stored order, and how their
// values travel between the database and the program. Record sources, data
// environments and the tools that create or fill a database share this one copy.
namespace schema {

// The refusal of an account number that another customer already has: the
// only value of the schema that must be unique.
inline constexpr char kNumberInUse[] = "NO REKENING SUDAH ADA ?";

// What a column holds: text, a number (an amount of money) or a date.
enum class Kind { Text, Number, Date };

struct Column {
    QString name; // spelled as the program shows it
    Kind kind = Kind::Text;
};

struct Table {
    QString name;
    QList<Column> columns;
    QStringList columnNames() const;
};

const Table &daftar();
const Table &nabubg();
const Table &tpassword();
// The side table of the register rows an import could not take, made by the
// import when it first sets one aside: when, from which file, the old table and
// row, why, and all the row's values as text. A database may lack it.
inline constexpr char kSetAsideTable[] = "impor_disisihkan";
QStringList setAsideColumns();
QString setAsideStatement();

// jejak, the audit trail, in stored order: nomor, its first column, is its key;
// nomor and kunci hold whole numbers, every other column text. The last, segel,
// seals the row; the others are its content. Each engine makes the table from
// this one list, with its own type names.
struct TrailColumn {
    QString sql; // as it stands in a statement ("operator" quoted: a reserved word)
    bool whole = false;
};
const QList<TrailColumn> &jejak();
// The columns as a statement lists them: "nomor, waktu, ..., segel".
QString jejakColumnList();
// The CREATE TABLE of jejak with an engine's type names for a whole number and a text.
QString jejakStatement(const QString &wholeType, const QString &textType);

// One of the three tables by name, without regard to case; nothing for another name.
const Table *table(const QString &name);

// An identifier between double quotes, safe to stand in a statement.
QString quoted(const QString &identifier);

// The kind a declared column type stands for (DATE, DOUBLE, TEXT ...).
Kind kindOfDeclaredType(const QString &declared);

// A value as the database gives it, in the form the program works with: dates as
// QDate, numbers as double rounded to the sen, text as QString. A value that does
// not fit its kind is kept as text.
QVariant fromStored(const QVariant &raw, Kind kind);
// A value the program holds, in the form the database stores: dates as ISO text.
QVariant toStored(const QVariant &value, Kind kind);
// The value a criterion's text stands for in a column of this kind, typed for a
// server: a date, an amount; nothing when the text is no value of the kind.
std::optional<QVariant> criterionValue(const QString &text, Kind kind);
// True when a value the program holds equals the value of a criterion, compared
// exactly (numbers by their amount, dates by their stored text).
bool matches(const QVariant &value, const QString &wanted);

} // namespace schema
