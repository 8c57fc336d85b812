#include "data/records/dataenvironment.h"

#include "data/base/criteria.h"
#include "data/base/outcome.h"
#include "data/base/schema.h"
#include "data/engine/catalog.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

// The record source of one command: the statement it reads with, its columns, its
// filter and order, and its rows handed on as they come.
namespace dataenv {

namespace {
// The column that carries the stored order of the rows through a query; never shown.
const char *const kOrderColumn = "simparo_stored_order";

// The place of a column among the first `count`, its name matched without regard
// to case; -1 when none has it.
int columnAt(const QStringList &columns, qsizetype count, const QString &name)
{
    for (int i = 0; i < count; ++i)
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

} // namespace

// The command's own columns: as the program shows them, as the database names
// them (quoted, for a statement), and the kind of each.
struct CommandSource::Columns {
    QStringList shown;
    QStringList selected;
    QVector<schema::Kind> kinds;
};

CommandSource::CommandSource(DataEnvironment *environment, const QString &recordSourceName,
                             const QString &commandName, Type type, const QString &commandText,
                             const QString &valueTypesFrom, const QString &storedOrder)
    : QObject(environment), environment_(environment), commandName_(commandName), type_(type),
      commandText_(commandText), valueTypesFrom_(valueTypesFrom), storedOrder_(storedOrder)
{
    setObjectName(recordSourceName);
}

bool CommandSource::fail(const QString &message)
{
    lastError_ = message;
    return false;
}

bool CommandSource::setFilter(const QString &criteriaText)
{
    if (!criteriaText.isEmpty() && !criteria::parse(criteriaText))
        return fail(QStringLiteral("Kriteria tidak sah: %1").arg(criteriaText));
    filter_ = criteriaText;
    return true;
}

QString CommandSource::selectText(const QSqlDatabase &database, QString *orderColumn) const
{
    const db::Dialect &dialect = db::dialect(database);
    const QString keyColumn = dialect.keyColumn();
    const QString order = QString::fromLatin1(kOrderColumn);
    if (type_ == Type::Table) {
        *orderColumn = order;
        return QStringLiteral("SELECT %1 AS %2, * FROM %3").arg(keyColumn, order, schema::quoted(commandText_));
    }
    // The statement as stored, without its closing semicolon, so that it can stand
    // inside another. The stored order rides along as a column of its own.
    QString statement = commandText_.trimmed().replace(QLatin1String("{key}"), keyColumn);
    statement.replace(QLatin1String("{lastLedgerRow}"), dialect.lastLedgerRowJoin());
    while (statement.endsWith(u';'))
        statement = statement.chopped(1).trimmed();
    const QString select = QStringLiteral("SELECT ");
    if (!storedOrder_.isEmpty() && statement.startsWith(select, Qt::CaseInsensitive)) {
        *orderColumn = order;
        return select + QStringLiteral("%1.%2 AS %3, ").arg(storedOrder_, keyColumn, order) + statement.mid(select.size());
    }
    orderColumn->clear();
    return statement;
}

void CommandSource::addComputedColumn(const QString &name, const QStringList &from, const Compute &compute)
{
    computed_ << Computed{name, from, compute};
}

bool CommandSource::read(ReportRows *rows, const std::function<void(int)> &progress, const ReadAlongside &alongside)
{
    ReportRows result;
    const RowStream stream{[&](const QStringList &columns) {
                               result.columns = columns;
                               return true;
                           },
                           [&](const QVector<QVariant> &values) { result.rows << values; }};
    const bool ok = read(stream, &result.texts, progress, alongside);
    *rows = ok ? std::move(result) : ReportRows();
    return ok;
}

bool CommandSource::read(const RowStream &stream, QHash<QString, QString> *texts,
                         const std::function<void(int)> &progress, const ReadAlongside &alongside)
{
    texts->clear();
    lastError_.clear();
    if (!environment_->connectToDatabase())
        return fail(environment_->lastError());
    QSqlDatabase database = db::connection(environment_->connectionName());
    if (!alongside)
        return readRows(database, stream, progress);

    // The rows and what is read alongside them come from one snapshot.
    QSqlError failure;
    if (!db::dialect(database).beginSnapshot(database, &failure))
        return fail(db::describeError(failure, QSqlDatabase::database(environment_->connectionName(), false)));
    bool ok = readRows(database, stream, progress);
    if (ok) {
        const Outcome outcome = alongside(database, texts);
        if (!outcome.isOk())
            ok = fail(outcome.message());
    }
    db::endWrite(database, false);
    return ok;
}

bool CommandSource::failOn(const QSqlQuery &query)
{
    // Told as it happened: a lost connection is opened again only before the next reading.
    return fail(db::describeError(query.lastError(), QSqlDatabase::database(environment_->connectionName(), false)));
}

bool CommandSource::describe(QSqlDatabase &database, const QString &inner, const QString &orderColumn, Columns *columns)
{
    // Dates and numbers, and the columns' spelling, are told by the table the values come from.
    db::Relation source;
    QString error;
    if (!db::findRelation(database, valueTypesFrom_, &source, &error))
        return fail(error);
    QHash<QString, int> known;
    for (int i = 0; i < source.columns.size(); ++i)
        known.insert(source.columns.at(i).toLower(), i);

    const db::Dialect &dialect = db::dialect(database);
    const QString key = dialect.keyColumn();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT * FROM (%1) AS simparo_command LIMIT 0").arg(inner)))
        return failOn(query);
    for (const QVariant &value : std::as_const(values_))
        query.addBindValue(value);
    if (!query.exec())
        return failOn(query);
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i) {
        const QString name = record.fieldName(i);
        // The stored order and a row key kept as a column of its own are never shown.
        if (name == orderColumn || (type_ == Type::Table && name == key && dialect.keyIsColumn()))
            continue;
        const int at = known.value(name.toLower(), -1);
        columns->shown << (at >= 0 ? source.shownColumns.at(at) : name);
        columns->kinds << (at >= 0 ? source.kinds.at(at) : schema::Kind::Text);
        columns->selected << schema::quoted(name);
    }
    query.finish();
    return true;
}

bool CommandSource::filterTerm(const QSqlDatabase &database, const Columns &columns, QString *where,
                               QVariantList *wanted)
{
    where->clear();
    if (filter_.isEmpty())
        return true;
    const auto criterion = criteria::parse(filter_);
    const int column = criterion ? columnAt(columns.shown, columns.shown.size(), criterion->column) : -1;
    if (column < 0)
        return fail(QStringLiteral("Kolom %1 tidak ada pada %2.").arg(criterion ? criterion->column : filter_, commandName_));
    *where = QStringLiteral(" WHERE ")
        + db::dialect(database).columnTerm(columns.selected.at(column), criterion->value, columns.kinds.at(column),
                                           wanted);
    return true;
}

bool CommandSource::computedSources(const Columns &columns, QVector<QVector<int>> *sources)
{
    for (const Computed &c : std::as_const(computed_)) {
        QVector<int> from;
        for (const QString &name : c.from) {
            const int at = columnAt(columns.shown, columns.shown.size(), name);
            if (at < 0)
                return fail(QStringLiteral("Kolom %1 tidak ada pada %2.").arg(name, commandName_));
            from << at;
        }
        *sources << from;
    }
    return true;
}

bool CommandSource::orderTerms(const Columns &columns, const QString &orderColumn, QString *orderBy)
{
    QStringList terms;
    for (const QString &name : std::as_const(order_)) {
        const int at = columnAt(columns.shown, columns.shown.size(), name);
        if (at < 0)
            return fail(QStringLiteral("Kolom %1 tidak ada pada %2.").arg(name, commandName_));
        terms << columns.selected.at(at);
    }
    if (!terms.isEmpty())
        *orderBy = QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
    else if (!orderColumn.isEmpty())
        *orderBy = QStringLiteral(" ORDER BY %1").arg(schema::quoted(orderColumn));
    else
        orderBy->clear();
    return true;
}

bool CommandSource::readRows(QSqlDatabase &database, const RowStream &stream, const std::function<void(int)> &progress)
{
    QString orderColumn;
    const QString inner = selectText(database, &orderColumn);
    Columns columns;
    QString where;
    QVariantList wanted;
    // Columns the program makes from others of the same row.
    QVector<QVector<int>> computedFrom;
    QString orderBy;
    if (!describe(database, inner, orderColumn, &columns) || !filterTerm(database, columns, &where, &wanted)
        || !computedSources(columns, &computedFrom) || !orderTerms(columns, orderColumn, &orderBy))
        return false;

    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT %1 FROM (%2) AS simparo_command%3")
                           .arg(columns.selected.join(QStringLiteral(", ")), inner, where)
                       + orderBy))
        return failOn(query);
    for (const QVariant &value : std::as_const(values_))
        query.addBindValue(value);
    for (const QVariant &value : std::as_const(wanted))
        query.addBindValue(value);
    if (!query.exec())
        return failOn(query);
    QStringList shown = columns.shown;
    for (const Computed &c : std::as_const(computed_))
        shown << c.name;
    if (!stream.columns(shown))
        return false;
    const int count = int(columns.shown.size());
    QVector<QVariant> values;
    QVector<QVariant> inputs;
    int read = 0;
    while (query.next()) {
        values.clear();
        for (int c = 0; c < count; ++c)
            values << schema::fromStored(query.value(c), columns.kinds.at(c));
        for (qsizetype i = 0; i < computed_.size(); ++i) {
            inputs.clear();
            for (int at : std::as_const(computedFrom.at(i)))
                inputs << values.at(at);
            values << computed_.at(i).compute(inputs);
        }
        stream.row(values);
        if (progress && ++read % 500 == 0)
            progress(read);
    }
    if (query.lastError().isValid())
        return failOn(query);
    query.finish();
    return true;
}

} // namespace dataenv
