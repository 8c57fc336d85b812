#pragma once

#include "data/base/outcome.h"
#include "data/engine/pool.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <optional>

class QSqlDatabase;
class QSqlQuery;

// The data environments through which the reports read: DE with the command
// NASABAH (the customer register) and DMN with the commands Command2 (the savings
// ledger joined with the register) and HARIAN (the ledger's postings with their
// trail rows). Each is created on first use with a connection of its own and
// lives until the program ends.
namespace dataenv {

// The stored command text of NASABAH: a table command over the whole register.
extern const char *const kNasabahCommandText;
// The statement of Command2, two lines, each ended by carriage return and line feed.
extern const char *const kCommand2Text;
// The statement of HARIAN: every ledger row with who posted it, when and where
// (from its posting row in jejak; empty for a row brought in by an import or
// written before the trail). "{key}" stands for the engine's row key column.
extern const char *const kHarianText;
// The statement of SALDO: every account of the register with the balance and the
// date of its last ledger row (in posting order) dated before the day its two
// values name (the same day twice), a balance of 0 and no date when it has none. "{lastLedgerRow}"
// stands for the engine's join of that row (Dialect::lastLedgerRowJoin()).
extern const char *const kSaldoText;

// Rows as a report reads them: dates as QDate, numbers as double, text as QString.
struct ReportRows {
    QStringList columns;
    QVector<QVector<QVariant>> rows;
    // Texts read together with the rows, by name (see CommandSource::read).
    QHash<QString, QString> texts;
};

// A step that reads more, on the record source's connection and from the same
// snapshot as its rows: texts a report learns only when it is shown.
using ReadAlongside = std::function<Outcome(QSqlDatabase &database, QHash<QString, QString> *texts)>;

// Rows handed on one at a time as they are read, none of them kept: first the names
// of the columns (false ends the reading as failed), then the values of each row.
struct RowStream {
    std::function<bool(const QStringList &columns)> columns;
    std::function<void(const QVector<QVariant> &values)> row;
};

class DataEnvironment;

// The record source of one command (rsNASABAH, rsCommand2). It holds a filter and
// reads its rows afresh each time they are asked for: as they stand in the
// database at that moment, narrowed by the filter in force, in stored order.
class CommandSource : public QObject
{
    Q_OBJECT
public:
    enum class Type { Table, Statement };

    CommandSource(DataEnvironment *environment, const QString &recordSourceName, const QString &commandName,
                  Type type, const QString &commandText, const QString &valueTypesFrom,
                  const QString &storedOrder = QString());

    QString commandName() const { return commandName_; }

    // Narrows the rows to those meeting a criteria text (NOREKENING='...'); an empty
    // text shows every row. The column name matches without regard to case; the value
    // is compared exactly and reaches the database as a bound value. Returns false,
    // keeping the earlier filter, when the text is not a criteria text.
    bool setFilter(const QString &criteria);
    void clearFilter() { setFilter(QString()); }
    QString filter() const { return filter_; }

    // The values of the command's own '?', in order (a statement that asks for a day).
    void setValues(const QVariantList &values) { values_ = values; }
    // The order of the rows, by columns of the command (instead of its stored order).
    void setOrder(const QStringList &columns) { order_ = columns; }

    // A column of the rows made by the program from other columns of the same row
    // (named `from`, matched without regard to case), appended after the command's own.
    using Compute = std::function<QVariant(const QVector<QVariant> &from)>;
    void addComputedColumn(const QString &name, const QStringList &from, const Compute &compute);

    // Reads the rows as they stand now. progress (may be empty) hears the number of
    // rows read so far. `alongside` (may be empty) then reads more from the same
    // snapshot into rows->texts. On failure lastError() holds a message naming the
    // file and cause.
    bool read(ReportRows *rows, const std::function<void(int)> &progress = {}, const ReadAlongside &alongside = {});
    // The same reading with the rows handed on as they come, so that a long list is
    // never held whole; the texts read alongside go to *texts. When the stream refuses
    // the columns, lastError() stays empty: the stream knows why.
    bool read(const RowStream &stream, QHash<QString, QString> *texts, const std::function<void(int)> &progress = {},
              const ReadAlongside &alongside = {});
    QString lastError() const { return lastError_; }

private:
    struct Computed {
        QString name;
        QStringList from;
        Compute compute;
    };

    struct Columns;

    bool fail(const QString &message);
    // fail() with a statement's error.
    bool failOn(const QSqlQuery &query);
    QString selectText(const QSqlDatabase &database, QString *orderColumn) const;
    // The steps of a reading: the columns the statement `inner` gives; the filter
    // as a WHERE clause and its bound values; the columns each computed column is
    // made from; the ORDER BY clause. Each fails with a message naming what is wrong.
    bool describe(QSqlDatabase &database, const QString &inner, const QString &orderColumn, Columns *columns);
    bool filterTerm(const QSqlDatabase &database, const Columns &columns, QString *where, QVariantList *wanted);
    bool computedSources(const Columns &columns, QVector<QVector<int>> *sources);
    bool orderTerms(const Columns &columns, const QString &orderColumn, QString *orderBy);
    bool readRows(QSqlDatabase &database, const RowStream &stream, const std::function<void(int)> &progress);

    DataEnvironment *environment_;
    QString commandName_;
    Type type_;
    QString commandText_;
    QString valueTypesFrom_; // the table whose declared column types tell dates and numbers
    QString storedOrder_;    // for a statement: the table whose row key gives its rows' stored order
    QString filter_;
    QVariantList values_;
    QStringList order_;
    QString lastError_;
    QList<Computed> computed_;
};

class DataEnvironment : public QObject
{
    Q_OBJECT
public:
    DataEnvironment(const QString &name, const QString &connectionText, QObject *parent = nullptr);
    ~DataEnvironment() override;

    // Opens the connection when it is not open; false with lastError() when it cannot be opened.
    bool connectToDatabase();
    QString connectionName() const { return connection_.name(); }
    QString file() const;
    QString lastError() const { return lastError_; }

    CommandSource *command(const QString &commandName) const;
    QList<CommandSource *> commands() const;

private:
    QString connectionText_;
    db::Connection connection_;
    QString lastError_;
};

// The data environment of that name (DE or DMN), created on first use, which opens
// its connection; nothing for an unknown name.
DataEnvironment *environment(const QString &name);
DataEnvironment *DE();
DataEnvironment *DMN();

// Closes both data environments and their connections; the next use creates them
// anew. Called when the program ends, and by tests that start on a fresh database.
void closeEnvironments();

} // namespace dataenv
