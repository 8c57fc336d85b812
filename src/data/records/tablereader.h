#pragma once

#include "data/engine/dialect.h"
#include "data/base/schema.h"

#include <QHash>
#include <QMultiHash>
#include <QSet>
#include <QString>
#include <QVector>
#include <optional>

class QSqlDatabase;
class QSqlQuery;

// The reads of a record source on one table, and the page cache that keeps the
// rows it has read. A record source's snapshot is a horizon, the highest row key
// when it opened: every read is a statement of its own, a short read transaction
// limited to keys up to the horizon (plus the rows the record source appended
// itself), so no transaction stays open between two events of the operator.
// Where keys may commit out of order (a server), the connection's dialect also
// lists the keys below the horizon whose rows were still in flight at opening:
// those rows are not in the snapshot, whenever they commit.
class TableReader
{
public:
    // A column that must hold a value, or no condition (column -1).
    struct Condition {
        int column = -1;
        QString value;
        bool isSet() const { return column >= 0; }
    };

    void setUp(const QString &connectionName, const QString &file, const QString &table,
               const QStringList &columns, const QList<schema::Kind> &kinds, const QString &keyColumn);
    // Fixes the snapshot: the horizon, and the keys below it not in it.
    bool fixHorizon();
    // Reads the table as it stands now: a horizon fixed afresh replaces the one in
    // use (the opening snapshot's is kept), and rows read before are read again.
    // On failure the horizon in use stays.
    bool renewHorizon();
    // Back to the snapshot fixed by fixHorizon().
    void restoreHorizon();
    bool renewed() const { return renewed_; }
    void clear();

    std::optional<qint64> horizon() const { return horizon_.top; }
    // The keys above `after` up to the horizon that are not in the snapshot, ascending.
    QVector<qint64> excludedAbove(std::optional<qint64> after) const;
    // The message, naming the file and cause, of the last read that failed.
    QString lastError() const { return lastError_; }

    // Up to `limit` keys (all when limit < 0) of rows within the horizon above `after`
    // that meet the condition, in key order. With `withRows` their rows are cached too.
    bool scan(const Condition &condition, std::optional<qint64> after, int limit, bool withRows,
              QVector<qint64> *keys);
    // The number of rows within the horizon above `after`.
    bool countAbove(std::optional<qint64> after, qint64 *count);
    // The number of rows within the horizon of keys first..last, and their keys (ascending).
    bool countBetween(qint64 first, qint64 last, qint64 *count);
    // The same number, where few rows lie outside first..last: on an engine that
    // counts a whole table cheaply, the table's rows less those outside.
    bool countMostOf(qint64 first, qint64 last, qint64 *count);
    bool keysBetween(qint64 first, qint64 last, QVector<qint64> *keys);
    // The first key from `from` on, within the horizon, of a row that meets both conditions.
    bool firstMatch(const Condition &wanted, const Condition &filter, qint64 from, std::optional<qint64> *key);

    // Reads the rows of these keys into the cache; a key whose row is gone (deleted
    // by another program) is cached as an empty row.
    bool fetch(const QVector<qint64> &keys);
    // The cached row of a key; an empty row when it is gone; nothing when not cached.
    const QVector<QVariant> *cached(qint64 key) const;
    void forget(qint64 key);
    // The keys from `from` on of cached rows that meet the condition as they were read.
    QVector<qint64> cachedMatching(const Condition &condition, qint64 from) const;

private:
    QSqlDatabase database() const;
    bool failed(const QSqlQuery &query);
    // The terms of a read within the horizon above `after` (and up to `upTo`):
    // one bound on each side of the key, so that the engine reads only that range.
    QString where(const Condition &condition, std::optional<qint64> after, QVariantList *values,
                  std::optional<qint64> upTo = std::nullopt) const;
    QString columnTerm(const Condition &condition, QVariantList *values) const;

    QString connection_;
    QString file_;
    QString table_;
    QStringList columns_;
    QList<schema::Kind> kinds_;
    QString key_;
    const db::Dialect *dialect_ = nullptr;
    db::Horizon horizon_;
    db::Horizon opening_;  // the snapshot of fixHorizon(), while horizon_ is renewed
    bool renewed_ = false;
    QString lastError_;
    void remember(qint64 key, const QVector<QVariant> &row);
    void clearCache();

    QHash<qint64, QVector<QVariant>> cache_;
    // For the text columns searched so far: the cached rows' keys by their value.
    mutable QHash<int, QMultiHash<QString, qint64>> byValue_;
};
