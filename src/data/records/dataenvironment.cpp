#include "data/records/dataenvironment.h"

#include "data/trail/audit.h"
#include "data/base/criteria.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"

#include <QCoreApplication>
#include <QHash>
#include <QPointer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace dataenv {

const char *const kNasabahCommandText = "daftar";
const char *const kCommand2Text =
    "SELECT nabubg.norekening, nabubg.nama, nabubg.TANGGAL, nabubg.debet, nabubg.kredit, nabubg.saldo, "
    "nabubg.Jenis, nabubg.kode\r\n"
    "FROM daftar INNER JOIN nabubg ON daftar.norekening = nabubg.norekening;\r\n";
// A ledger row has at most one posting row; an import's or an upgrade's row covers
// many ledger rows without naming one, and a supervisor's acceptance of a break
// names a row it did not write.
const char *const kHarianText =
    "SELECT jejak.waktu, jejak.zona, "
    // A month-end run's rows stand together under a name of their own, apart from
    // the counters', and so do those of a run taken back (corrections without a
    // trail row of their own); each correction stands alone under its clerk, its trail row's
    // details (the row reversed, the reason, the supervisor) on one line.
    "CASE WHEN nabubg.kode = '05' AND jejak.\"operator\" IS NOT NULL THEN 'Koreksi oleh ' || jejak.\"operator\" "
    "|| ': ' || replace(COALESCE(jejak.rincian, ''), '\n', '; ') "
    "ELSE COALESCE(jejak.\"operator\", CASE WHEN nabubg.kode IN ('03', '04') THEN 'Bagi hasil bulanan' "
    "WHEN nabubg.kode = '05' THEN 'Batal bagi hasil bulanan' END) END "
    "AS \"operator\", "
    "jejak.loket || COALESCE(' (' || jejak.alamat || ')', '') AS loket, nabubg.norekening, nabubg.nama, "
    "nabubg.TANGGAL, nabubg.kode, nabubg.Jenis, nabubg.debet, nabubg.kredit, nabubg.saldo "
    "FROM nabubg LEFT JOIN jejak ON jejak.tabel = 'nabubg' AND jejak.kunci = nabubg.{key} "
    "AND jejak.tindakan IN ('setoran', 'penarikan', 'koreksi')";

const char *const kSaldoText =
    "SELECT daftar.norekening, daftar.nama, COALESCE(akhir.saldo, 0) AS saldo, akhir.TANGGAL AS TANGGAL "
    "FROM daftar {lastLedgerRow}";

namespace {
// The column that carries the stored order of the rows through a query; never shown.
const char *const kOrderColumn = "simparo_stored_order";

} // namespace

// ---------------------------------------------------------------------------
// CommandSource

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

bool CommandSource::readRows(QSqlDatabase &database, const RowStream &stream, const std::function<void(int)> &progress)
{
    const auto failed = [&](const QSqlQuery &query) {
        // Told as it happened: a lost connection is opened again only before the next reading.
        return fail(db::describeError(query.lastError(), QSqlDatabase::database(environment_->connectionName(), false)));
    };

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
    QString orderColumn;
    const QString inner = selectText(database, &orderColumn);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT * FROM (%1) AS simparo_command LIMIT 0").arg(inner)))
        return failed(query);
    for (const QVariant &value : std::as_const(values_))
        query.addBindValue(value);
    if (!query.exec())
        return failed(query);
    QStringList columns;  // as the program shows them
    QStringList selected; // as the database names them
    QVector<schema::Kind> kinds;
    {
        const QSqlRecord record = query.record();
        for (int i = 0; i < record.count(); ++i) {
            const QString name = record.fieldName(i);
            // The stored order and a row key kept as a column of its own are never shown.
            if (name == orderColumn || (type_ == Type::Table && name == key && dialect.keyIsColumn()))
                continue;
            const int at = known.value(name.toLower(), -1);
            columns << (at >= 0 ? source.shownColumns.at(at) : name);
            kinds << (at >= 0 ? source.kinds.at(at) : schema::Kind::Text);
            selected << schema::quoted(name);
        }
    }
    query.finish();

    QString where;
    QVariantList wanted;
    if (!filter_.isEmpty()) {
        const auto criterion = criteria::parse(filter_);
        int column = -1;
        for (int i = 0; criterion && i < columns.size() && column < 0; ++i)
            if (columns.at(i).compare(criterion->column, Qt::CaseInsensitive) == 0)
                column = i;
        if (column < 0)
            return fail(QStringLiteral("Kolom %1 tidak ada pada %2.")
                            .arg(criterion ? criterion->column : filter_, commandName_));
        where = QStringLiteral(" WHERE ") + dialect.columnTerm(selected.at(column), criterion->value, kinds.at(column),
                                                               &wanted);
    }

    // Columns the program makes from others of the same row.
    QVector<QVector<int>> computedFrom;
    for (const Computed &c : std::as_const(computed_)) {
        QVector<int> from;
        for (const QString &name : c.from) {
            int at = -1;
            for (int i = 0; i < selected.size() && at < 0; ++i)
                if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
                    at = i;
            if (at < 0)
                return fail(QStringLiteral("Kolom %1 tidak ada pada %2.").arg(name, commandName_));
            from << at;
        }
        computedFrom << from;
    }
    const int count = int(columns.size());
    for (const Computed &c : std::as_const(computed_))
        columns << c.name;

    QString sql = QStringLiteral("SELECT %1 FROM (%2) AS simparo_command%3")
                      .arg(selected.join(QStringLiteral(", ")), inner, where);
    QStringList terms;
    for (const QString &name : std::as_const(order_)) {
        int at = -1;
        for (int i = 0; i < count && at < 0; ++i)
            if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
                at = i;
        if (at < 0)
            return fail(QStringLiteral("Kolom %1 tidak ada pada %2.").arg(name, commandName_));
        terms << selected.at(at);
    }
    if (!terms.isEmpty()) {
        sql += QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
    } else if (!orderColumn.isEmpty()) {
        sql += QStringLiteral(" ORDER BY %1").arg(schema::quoted(orderColumn));
    }
    if (!query.prepare(sql))
        return failed(query);
    for (const QVariant &value : std::as_const(values_))
        query.addBindValue(value);
    for (const QVariant &value : std::as_const(wanted))
        query.addBindValue(value);
    if (!query.exec())
        return failed(query);
    if (!stream.columns(columns))
        return false;
    QVector<QVariant> values;
    QVector<QVariant> inputs;
    int read = 0;
    while (query.next()) {
        values.clear();
        for (int c = 0; c < count; ++c)
            values << schema::fromStored(query.value(c), kinds.at(c));
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
        return failed(query);
    query.finish();
    return true;
}

// ---------------------------------------------------------------------------
// DataEnvironment

DataEnvironment::DataEnvironment(const QString &name, const QString &connectionText, QObject *parent)
    : QObject(parent), connectionText_(connectionText)
{
    setObjectName(name);
}

DataEnvironment::~DataEnvironment()
{
    db::closeConnection(connection_);
}

QString DataEnvironment::file() const
{
    return db::describedLocation(connectionText_);
}

bool DataEnvironment::connectToDatabase()
{
    if (!connection_.isEmpty())
        return true;
    QString error;
    if (!db::openConnection(connectionText_, &connection_, &error)) {
        connection_.clear();
        lastError_ = error;
        return false;
    }
    lastError_.clear();
    return true;
}

CommandSource *DataEnvironment::command(const QString &commandName) const
{
    for (CommandSource *source : commands())
        if (source->commandName().compare(commandName, Qt::CaseInsensitive) == 0)
            return source;
    return nullptr;
}

QList<CommandSource *> DataEnvironment::commands() const
{
    return findChildren<CommandSource *>(QString(), Qt::FindDirectChildrenOnly);
}

// ---------------------------------------------------------------------------
// The two environments of the program

namespace {
QPointer<DataEnvironment> &slot(const QString &name)
{
    static QPointer<DataEnvironment> de;
    static QPointer<DataEnvironment> dmn;
    return name.compare(QLatin1String("DMN"), Qt::CaseInsensitive) == 0 ? dmn : de;
}

bool known(const QString &name)
{
    return name.compare(QLatin1String("DE"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1String("DMN"), Qt::CaseInsensitive) == 0;
}
} // namespace

DataEnvironment *environment(const QString &name)
{
    if (!known(name))
        return nullptr;
    QPointer<DataEnvironment> &instance = slot(name);
    if (instance)
        return instance;
    const QString connectionText = db::environmentConnectionText();
    // Owned by the application, so it lives until the program ends.
    if (name.compare(QLatin1String("DE"), Qt::CaseInsensitive) == 0) {
        instance = new DataEnvironment(QStringLiteral("DE"), connectionText, QCoreApplication::instance());
        new CommandSource(instance, QStringLiteral("rsNASABAH"), QStringLiteral("NASABAH"),
                          CommandSource::Type::Table, QString::fromLatin1(kNasabahCommandText),
                          QStringLiteral("daftar"));
    } else {
        instance = new DataEnvironment(QStringLiteral("DMN"), connectionText, QCoreApplication::instance());
        new CommandSource(instance, QStringLiteral("rsCommand2"), QStringLiteral("Command2"),
                          CommandSource::Type::Statement, QString::fromLatin1(kCommand2Text),
                          QStringLiteral("nabubg"), QStringLiteral("nabubg"));
        auto *saldo = new CommandSource(instance, QStringLiteral("rsSALDO"), QStringLiteral("SALDO"),
                                        CommandSource::Type::Statement, QString::fromLatin1(kSaldoText),
                                        QStringLiteral("nabubg"));
        saldo->setOrder({QStringLiteral("norekening")});
        auto *harian = new CommandSource(instance, QStringLiteral("rsHARIAN"), QStringLiteral("HARIAN"),
                                         CommandSource::Type::Statement, QString::fromLatin1(kHarianText),
                                         QStringLiteral("nabubg"), QStringLiteral("nabubg"));
        // The time of the posting as the counter's clock showed it.
        harian->addComputedColumn(QStringLiteral("jam"), {QStringLiteral("waktu"), QStringLiteral("zona")},
                                  [](const QVector<QVariant> &from) {
                                      const QDateTime local = audit::localTime(from.at(0).toString(),
                                                                               from.at(1).toString());
                                      return local.isValid() ? QVariant(local.toString(QStringLiteral("HH:mm:ss")))
                                                             : QVariant();
                                  });
    }
    // A connection that cannot be opened now is tried again at the next reading,
    // which tells the operator why.
    instance->connectToDatabase();
    return instance;
}

DataEnvironment *DE()
{
    return environment(QStringLiteral("DE"));
}

DataEnvironment *DMN()
{
    return environment(QStringLiteral("DMN"));
}

void closeEnvironments()
{
    for (const char *name : {"DE", "DMN"})
        delete slot(QString::fromLatin1(name)).data();
}

} // namespace dataenv
