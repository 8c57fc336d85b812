#include "data/records/tablereader.h"

#include "data/engine/pool.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <limits>

namespace {
// Rows kept at most; beyond it the cache starts afresh (rows are read again by page).
constexpr int kCacheLimit = 16384;
} // namespace

void TableReader::setUp(const QString &connectionName, const QString &file, const QString &table,
                        const QStringList &columns, const QList<schema::Kind> &kinds, const QString &keyColumn)
{
    connection_ = connectionName;
    file_ = file;
    table_ = table;
    columns_ = columns;
    kinds_ = kinds;
    key_ = keyColumn;
    horizon_ = db::Horizon();
    opening_ = db::Horizon();
    renewed_ = false;
    dialect_ = &db::dialect(QSqlDatabase::database(connectionName, false));
    clearCache();
    lastError_.clear();
}

void TableReader::clear()
{
    setUp(QString(), QString(), QString(), {}, {}, QString());
}

bool TableReader::fixHorizon()
{
    horizon_ = db::Horizon();
    opening_ = db::Horizon();
    renewed_ = false;
    QSqlDatabase live = database();
    QSqlError error;
    if (dialect_->fixHorizon(live, schema::quoted(table_), key_, &horizon_, &error))
        return true;
    lastError_ = db::describeError(error, QSqlDatabase::database(connection_, false));
    return false;
}

bool TableReader::renewHorizon()
{
    db::Horizon now;
    QSqlDatabase live = database();
    QSqlError error;
    if (!dialect_->fixHorizon(live, schema::quoted(table_), key_, &now, &error)) {
        lastError_ = db::describeError(error, QSqlDatabase::database(connection_, false));
        return false;
    }
    if (!renewed_)
        opening_ = horizon_;
    horizon_ = now;
    renewed_ = true;
    // A row changed or deleted elsewhere since it was read shows as it stands.
    clearCache();
    return true;
}

void TableReader::restoreHorizon()
{
    if (!renewed_)
        return;
    horizon_ = opening_;
    renewed_ = false;
    clearCache();
}

QVector<qint64> TableReader::excludedAbove(std::optional<qint64> after) const
{
    QVector<qint64> keys;
    for (qint64 key : horizon_.excluded)
        if (!after || key > *after)
            keys << key;
    return keys;
}

QSqlDatabase TableReader::database() const
{
    return db::connection(connection_);
}

bool TableReader::failed(const QSqlQuery &query)
{
    // Told as it happened: a lost connection is opened again only before the next statement.
    lastError_ = db::describeError(query.lastError(), QSqlDatabase::database(connection_, false));
    return false;
}

QString TableReader::where(const Condition &condition, std::optional<qint64> after, QVariantList *values,
                           std::optional<qint64> upTo) const
{
    QStringList terms;
    // An empty table has no horizon: nothing of it belongs to the snapshot.
    terms << QStringLiteral("%1 <= ?").arg(key_);
    qint64 top = horizon_.top ? *horizon_.top : std::numeric_limits<qint64>::min();
    if (upTo)
        top = std::min(top, *upTo);
    *values << top;
    if (!horizon_.top)
        terms << QStringLiteral("0 = 1");
    if (after) {
        terms << QStringLiteral("%1 > ?").arg(key_);
        *values << *after;
    }
    // Rows in flight at opening are not in the snapshot, whenever they commit.
    if (!horizon_.excludedTerm.isEmpty()) {
        terms << horizon_.excludedTerm;
        *values << horizon_.excludedValue;
    }
    if (condition.isSet())
        terms << columnTerm(condition, values);
    return terms.join(QStringLiteral(" AND "));
}

QString TableReader::columnTerm(const Condition &condition, QVariantList *values) const
{
    return dialect_->columnTerm(schema::quoted(columns_.at(condition.column)), condition.value,
                                kinds_.at(condition.column), values);
}

bool TableReader::scan(const Condition &condition, std::optional<qint64> after, int limit, bool withRows,
                       QVector<qint64> *keys)
{
    keys->clear();
    QVariantList values;
    QString sql = QStringLiteral("SELECT %1").arg(key_);
    if (withRows)
        for (const QString &column : std::as_const(columns_))
            sql += u',' + schema::quoted(column);
    sql += QStringLiteral(" FROM %1 WHERE %2 ORDER BY %3").arg(schema::quoted(table_), where(condition, after, &values), key_);
    if (limit >= 0) {
        sql += QStringLiteral(" LIMIT ?");
        values << limit;
    }
    db::Statement query;
    if (!db::prepare(&query, database(), sql))
        return failed(*query);
    for (const QVariant &value : std::as_const(values))
        query->addBindValue(value);
    if (!query->exec())
        return failed(*query);
    if (withRows && cache_.size() > kCacheLimit)
        clearCache();
    while (query->next()) {
        const qint64 key = query->value(0).toLongLong();
        *keys << key;
        if (withRows) {
            QVector<QVariant> row;
            row.reserve(columns_.size());
            for (int c = 0; c < columns_.size(); ++c)
                row << schema::fromStored(query->value(c + 1), kinds_.at(c));
            remember(key, row);
        }
    }
    if (query->lastError().isValid())
        return failed(*query);
    return true;
}

bool TableReader::countAbove(std::optional<qint64> after, qint64 *count)
{
    QVariantList values;
    db::Statement query;
    if (!db::prepare(&query, database(),
                     QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(schema::quoted(table_), where({}, after, &values))))
        return failed(*query);
    for (const QVariant &value : std::as_const(values))
        query->addBindValue(value);
    if (!query->exec() || !query->next())
        return failed(*query);
    *count = query->value(0).toLongLong();
    return true;
}

bool TableReader::countBetween(qint64 first, qint64 last, qint64 *count)
{
    QVariantList values;
    const QString conditions = where({}, first - 1, &values, last);
    db::Statement query;
    if (!db::prepare(&query, database(), QStringLiteral("SELECT count(*) FROM %1 WHERE %2").arg(schema::quoted(table_), conditions)))
        return failed(*query);
    for (const QVariant &value : std::as_const(values))
        query->addBindValue(value);
    if (!query->exec() || !query->next())
        return failed(*query);
    *count = query->value(0).toLongLong();
    return true;
}

bool TableReader::countMostOf(qint64 first, qint64 last, qint64 *count)
{
    if (!dialect_->countsTablesWhole() || !horizon_.excludedTerm.isEmpty() || !horizon_.top)
        return countBetween(first, last, count);
    const QString table = schema::quoted(table_);
    db::Statement query;
    if (!db::prepare(&query, database(),
                     QStringLiteral("SELECT (SELECT count(*) FROM %1) - (SELECT count(*) FROM %1 WHERE %2 < ?) "
                                    "- (SELECT count(*) FROM %1 WHERE %2 > ?)")
                         .arg(table, key_)))
        return failed(*query);
    query->addBindValue(first);
    query->addBindValue(std::min(last, *horizon_.top));
    if (!query->exec() || !query->next())
        return failed(*query);
    *count = query->value(0).toLongLong();
    return true;
}

bool TableReader::keysBetween(qint64 first, qint64 last, QVector<qint64> *keys)
{
    keys->clear();
    QVector<qint64> read;
    if (!scan({}, first - 1, int(last - first + 1), false, &read))
        return false;
    for (qint64 key : std::as_const(read))
        if (key <= last)
            *keys << key;
    return true;
}

bool TableReader::firstMatch(const Condition &wanted, const Condition &filter, qint64 from, std::optional<qint64> *key)
{
    key->reset();
    QVariantList values;
    QString conditions = where(wanted, from - 1, &values);
    if (filter.isSet()) {
        conditions += QStringLiteral(" AND ") + columnTerm(filter, &values);
    }
    db::Statement query;
    if (!db::prepare(&query, database(),
                     QStringLiteral("SELECT %1 FROM %2 WHERE %3 ORDER BY %1 LIMIT 1").arg(key_, schema::quoted(table_), conditions)))
        return failed(*query);
    for (const QVariant &value : std::as_const(values))
        query->addBindValue(value);
    if (!query->exec())
        return failed(*query);
    if (query->next())
        *key = query->value(0).toLongLong();
    if (query->lastError().isValid())
        return failed(*query);
    return true;
}

bool TableReader::fetch(const QVector<qint64> &keys)
{
    if (keys.isEmpty())
        return true;
    QStringList names;
    for (const QString &column : std::as_const(columns_))
        names << schema::quoted(column);
    db::Statement query;
    const QString select =
        QStringLiteral("SELECT %1, %2 FROM %3 WHERE ").arg(key_, names.join(u','), schema::quoted(table_));
    bool prepared = false;
    if (keys.last() - keys.first() == keys.size() - 1) {
        prepared = db::prepare(&query, database(), select + QStringLiteral("%1 BETWEEN ? AND ?").arg(key_));
        query->addBindValue(keys.first());
        query->addBindValue(keys.last());
    } else {
        prepared = db::prepare(&query, database(),
                               select + QStringLiteral("%1 IN (%2)").arg(key_, QStringList(keys.size(), QStringLiteral("?")).join(u',')));
        for (qint64 key : keys)
            query->addBindValue(key);
    }
    if (!prepared || !query->exec())
        return failed(*query);
    if (cache_.size() + keys.size() > kCacheLimit)
        clearCache();
    QHash<qint64, QVector<QVariant>> read;
    while (query->next()) {
        QVector<QVariant> row;
        row.reserve(columns_.size());
        for (int c = 0; c < columns_.size(); ++c)
            row << schema::fromStored(query->value(c + 1), kinds_.at(c));
        read.insert(query->value(0).toLongLong(), row);
    }
    if (query->lastError().isValid())
        return failed(*query);
    for (qint64 key : keys)
        remember(key, read.value(key));
    return true;
}

const QVector<QVariant> *TableReader::cached(qint64 key) const
{
    const auto it = cache_.constFind(key);
    return it == cache_.constEnd() ? nullptr : &it.value();
}

void TableReader::clearCache()
{
    cache_.clear();
    byValue_.clear();
}

// A text value of a row as the value index keeps it; numbers and dates are not indexed.
static const QString *indexedText(const QVector<QVariant> &row, int column)
{
    const QVariant &value = row.at(column);
    return value.typeId() == QMetaType::QString ? static_cast<const QString *>(value.constData()) : nullptr;
}

void TableReader::remember(qint64 key, const QVector<QVariant> &row)
{
    forget(key);
    cache_.insert(key, row);
    for (auto it = byValue_.begin(); it != byValue_.end(); ++it)
        if (it.key() < row.size())
            if (const QString *text = indexedText(row, it.key()))
                it.value().insert(*text, key);
}

void TableReader::forget(qint64 key)
{
    const auto cached = cache_.constFind(key);
    if (cached == cache_.constEnd())
        return;
    for (auto it = byValue_.begin(); it != byValue_.end(); ++it)
        if (it.key() < cached->size())
            if (const QString *text = indexedText(*cached, it.key()))
                it.value().remove(*text, key);
    cache_.erase(cached);
}

QVector<qint64> TableReader::cachedMatching(const Condition &condition, qint64 from) const
{
    QVector<qint64> keys;
    if (kinds_.value(condition.column) == schema::Kind::Text) {
        // Text columns are searched through an index of the cached rows' values,
        // made on the first search of the column: a search costs the rows it finds.
        auto index = byValue_.constFind(condition.column);
        if (index == byValue_.constEnd()) {
            QMultiHash<QString, qint64> values;
            for (auto it = cache_.cbegin(); it != cache_.cend(); ++it)
                if (condition.column < it.value().size())
                    if (const QString *text = indexedText(it.value(), condition.column))
                        values.insert(*text, it.key());
            index = byValue_.insert(condition.column, values);
        }
        for (auto it = index->constFind(condition.value); it != index->cend() && it.key() == condition.value; ++it)
            if (it.value() >= from)
                keys << it.value();
    } else {
        for (auto it = cache_.cbegin(); it != cache_.cend(); ++it)
            if (it.key() >= from && !it.value().isEmpty()
                && schema::matches(it.value().value(condition.column), condition.value))
                keys << it.key();
    }
    std::sort(keys.begin(), keys.end());
    return keys;
}
