// The digests of a database's tables: each row's canonical record, as the move
// reads it from the source and again from the target, and the balance chains of
// the ledger.
#include "migrate/transfer.h"
#include "migrate/transfer_p.h"

#include "data/trail/audit.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"

#include <QCryptographicHash>
#include <charconv>

namespace transfer {

using detail::hasTable;
using detail::Moved;

namespace {

void appendBytes(QByteArray *record, QByteArrayView bytes)
{
    record->append(QByteArray::number(bytes.size()));
    record->append(':');
    record->append(bytes.data(), bytes.size());
}

QByteArray numberText(const db::Value &value)
{
    if (value.type == db::Value::Type::Integer)
        return QByteArray::number(value.integer);
    char text[32];
    return QByteArray(text, std::to_chars(text, text + sizeof text, value.real).ptr - text);
}

// A value of a table without a described content (the side table): its text.
void appendPlain(QByteArray *record, const db::Value &value)
{
    if (value.type == db::Value::Type::Null)
        record->append('-');
    else if (value.type == db::Value::Type::Text)
        appendBytes(record, value.text);
    else
        appendBytes(record, numberText(value));
}

QVariant variantOf(const db::Value &value)
{
    switch (value.type) {
    case db::Value::Type::Null: return QVariant();
    case db::Value::Type::Integer: return QVariant(value.integer);
    case db::Value::Type::Real: return QVariant(value.real);
    case db::Value::Type::Text: break;
    }
    return QVariant(QString::fromUtf8(value.text));
}

} // namespace

namespace detail {

QList<Moved> movedTables()
{
    QStringList trail = audit::recordColumns().split(QStringLiteral(", "));
    return {
        {schema::daftar().name, schema::daftar().columnNames(), Moved::Key::Hidden, false},
        {schema::nabubg().name, schema::nabubg().columnNames(), Moved::Key::Hidden, false},
        {schema::tpassword().name, {QStringLiteral("\"user\""), QStringLiteral("\"password\"")}, Moved::Key::Hidden, false},
        {QStringLiteral("jejak"), trail, Moved::Key::Nomor, false},
        {QLatin1String(schema::kSetAsideTable), schema::setAsideColumns(), Moved::Key::None, true},
    };
}

QString readStatement(const Moved &table, const QString &key, std::optional<qint64> trailTop)
{
    const QString columns = table.columns.join(QStringLiteral(", "));
    switch (table.key) {
    case Moved::Key::Hidden:
        return QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1").arg(key, columns, table.name);
    case Moved::Key::Nomor:
        return trailTop ? QStringLiteral("SELECT %1 FROM %2 WHERE nomor <= %3 ORDER BY nomor")
                              .arg(columns, table.name)
                              .arg(*trailTop)
                        : QStringLiteral("SELECT %1 FROM %2 ORDER BY nomor").arg(columns, table.name);
    case Moved::Key::None:
        break;
    }
    // Integers and ISO times sort alike on both engines, whatever their collation of text.
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY waktu, baris").arg(columns, table.name);
}

int valueCount(const Moved &table)
{
    return int(table.columns.size()) + (table.key == Moved::Key::Hidden ? 1 : 0);
}

QByteArray canonical(const Moved &table, const db::Value *values)
{
    QByteArray record;
    switch (table.key) {
    case Moved::Key::Hidden:
        audit::appendField(&record, std::optional<qint64>(values[0].integer));
        record += audit::rowContent(table.name, values + 1);
        break;
    case Moved::Key::Nomor:
        record += audit::content(values);
        appendPlain(&record, values[table.columns.size() - 1]);
        break;
    case Moved::Key::None:
        for (int c = 0; c < table.columns.size(); ++c)
            appendPlain(&record, values[c]);
        break;
    }
    return record;
}

ledger::Row ledgerRow(const db::Value *values)
{
    return ledger::rowOf(values[0].integer, variantOf(values[1]), variantOf(values[3]), variantOf(values[6]),
                         variantOf(values[7]), variantOf(values[8]));
}

} // namespace detail

using namespace detail;

bool digestTables(QSqlDatabase &database, QList<TableDigest> *digests, ledger::Summary *chains,
                  std::optional<qint64> trailTop, QString *error)
{
    digests->clear();
    ledger::ChainWalker walker;
    const db::Dialect &dialect = db::dialect(database);
    for (const Moved &table : movedTables()) {
        bool present = true;
        if (table.optional && !hasTable(database, table.name, &present, error))
            return false;
        if (!present)
            continue;
        const bool ledger = table.name == schema::nabubg().name;
        QCryptographicHash digest(QCryptographicHash::Sha256);
        TableDigest read{table.name, 0, {}};
        const int count = valueCount(table);
        QVector<db::Value> values(count);
        const std::unique_ptr<db::RowStream> rows =
            dialect.stream(database, readStatement(table, dialect.keyColumn(), trailTop));
        while (rows->next()) {
            for (int c = 0; c < count; ++c)
                values[c] = rows->value(c);
            digest.addData(canonical(table, values.constData()));
            if (ledger)
                walker.add(ledgerRow(values.constData()));
            ++read.rows;
        }
        if (rows->error().isValid()) {
            *error = db::describeError(rows->error(), database);
            return false;
        }
        read.digest = digest.result().toHex();
        *digests << read;
    }
    *chains = walker.summary();
    return true;
}

} // namespace transfer
