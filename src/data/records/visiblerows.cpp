#include "data/records/recordsource.h"

#include "data/base/criteria.h"

#include <QScopedValueRollback>
#include <algorithm>

// The visible rows of a record source, their values and its cursor: the keys are
// read from the front as far as they are needed, rows in pages as they are shown,
// and Find and Filter are indexed queries.

bool RecordSource::startWhole()
{
    forgetVisibleRows();
    complete_ = true;
    const std::optional<qint64> horizon = reader_.horizon();
    QVector<qint64> first;
    if (horizon && !reader_.scan(filter_, std::nullopt, 1, false, &first))
        return fail(reader_.lastError());
    QVector<qint64> absent = reader_.excludedAbove(std::nullopt);
    for (qint64 key : std::as_const(deleted_))
        absent << key;
    TableReader *reader = &reader_;
    const qint64 firstKey = first.isEmpty() ? 0 : first.first();
    const qint64 top = first.isEmpty() ? -1 : *horizon;
    // The count of every row (the record count) is the table's count less the
    // rows that came after the horizon, where the engine counts a table cheaply.
    const bool whole =
        keys_.startWhole(firstKey, top, absent,
                         [reader, firstKey, top](qint64 from, qint64 to, qint64 *count, QVector<qint64> *keys) {
                             if (keys)
                                 return reader->keysBetween(from, to, keys) && (*count = keys->size(), true);
                             return from == firstKey && to == top ? reader->countMostOf(from, to, count)
                                                                  : reader->countBetween(from, to, count);
                         });
    if (!whole) {
        // Keys far apart (written by hand, not by the table's own sequence): read
        // from the front, as a filter's rows are.
        complete_ = false;
        return extend(kFirstChunk, false);
    }
    scanned_ = horizon;
    for (qint64 key : ownRowsMatching())
        keys_.append(key);
    // The first and last rows are counted now: the grid opens on the first, "LAST"
    // goes to the last. A table of few blocks is counted whole, at about the cost
    // of reading one grid page of a large one.
    const bool counted = keys_.blocks() <= kCountedAtOpening
                             ? keys_.countAll()
                             : keys_.count(0, 0) && keys_.count(keys_.size() - 1, keys_.size() - 1);
    keys_.applyLearned();
    return counted || fail(reader_.lastError());
}

void RecordSource::applyLearned()
{
    learnQueued_ = false;
    if (!keys_.learned())
        return;
    const std::optional<qint64> current = currentKey();
    const bool eof = open_ && pos_ >= keys_.size();
    beginResetModel();
    keys_.applyLearned();
    failedPages_.clear();
    finishReset();
    int position = eof ? keys_.size() : pos_;
    if (current) {
        const int index = keys_.indexOf(*current);
        position = index >= 0 ? index : std::min(pos_, keys_.size());
    }
    pos_ = std::clamp(position, -1, keys_.size());
    emit currentChanged(this->position());
}

void RecordSource::learnLater() const
{
    if (learnQueued_ || !keys_.learned())
        return;
    learnQueued_ = true;
    QMetaObject::invokeMethod(const_cast<RecordSource *>(this), [this] {
        const_cast<RecordSource *>(this)->applyLearned();
    }, Qt::QueuedConnection);
}

void RecordSource::forgetVisibleRows()
{
    keys_.clear();
    scanned_.reset();
    complete_ = false;
    chunk_ = 0;
    failedPages_.clear();
    fetchFailed_ = false;
}

void RecordSource::reportUnattended() const
{
    emit const_cast<RecordSource *>(this)->readFailed(lastError_);
}

QVector<qint64> RecordSource::ownRowsMatching() const
{
    // A row appended here after a deletion of the last row may take a key within
    // the horizon; it is then read with the table's own rows.
    const std::optional<qint64> horizon = reader_.horizon();
    QVector<qint64> keys;
    for (qint64 key : ownKeys_)
        if ((isView_ || !horizon || key > *horizon)
            && (!filter_.isSet() || schema::matches(own_.value(key).value(filter_.column), filter_.value)))
            keys << key;
    return keys;
}

bool RecordSource::extend(int wanted, bool notify) const
{
    if (complete_ || !open_)
        return true;
    QVector<qint64> found;
    int limit = -1;
    if (isView_) {
        complete_ = true;
    } else {
        if (wanted >= 0)
            limit = std::max(wanted, std::min(std::max(kFirstChunk, chunk_ * 2), kLargestChunk));
        chunk_ = std::max(chunk_, limit);
        QVector<qint64> read;
        if (!reader_.scan(filter_, scanned_, limit, limit >= 0 && limit <= kGridChunk, &read))
            return fail(reader_.lastError());
        if (!read.isEmpty())
            scanned_ = read.last();
        for (qint64 key : std::as_const(read))
            if (!deleted_.contains(key))
                found << key;
        complete_ = limit < 0 || read.size() < limit;
    }
    // Rows this record source appended lie beyond the horizon: they come last.
    if (complete_)
        found += ownRowsMatching();
    if (found.isEmpty())
        return true;
    auto *self = const_cast<RecordSource *>(this);
    const QScopedValueRollback<bool> telling(self->telling_, true);
    if (notify)
        self->beginInsertRows(QModelIndex(), keys_.size(), keys_.size() + int(found.size()) - 1);
    for (qint64 key : std::as_const(found))
        keys_.append(key);
    if (notify)
        self->endInsertRows();
    return true;
}

bool RecordSource::ensure(int position) const
{
    while (!complete_ && keys_.size() <= position)
        if (!extend(position + 1 - keys_.size(), true))
            return false;
    return true;
}

bool RecordSource::ensureKey(qint64 key) const
{
    while (!complete_ && (!scanned_ || *scanned_ < key))
        if (!extend(0, true))
            return false;
    return true;
}

bool RecordSource::ensureComplete() const
{
    if (complete_ || !open_)
        return true;
    const std::optional<qint64> horizon = reader_.horizon();
    if (!filter_.isSet() && scanned_ && horizon) {
        // A table without gaps (but the rows left out of the snapshot) is counted, not listed.
        qint64 count = 0;
        if (!reader_.countAbove(scanned_, &count))
            return fail(reader_.lastError());
        const QVector<qint64> excluded = reader_.excludedAbove(scanned_);
        if (count == *horizon - *scanned_ - excluded.size()) {
            QVector<qint64> own = ownRowsMatching();
            const int added = int(count + own.size());
            auto *self = const_cast<RecordSource *>(this);
            const QScopedValueRollback<bool> telling(self->telling_, true);
            if (added > 0)
                self->beginInsertRows(QModelIndex(), keys_.size(), keys_.size() + added - 1);
            qint64 from = *scanned_ + 1;
            for (qint64 gap : excluded) {
                keys_.appendRun(from, int(gap - from));
                from = gap + 1;
            }
            keys_.appendRun(from, int(*horizon - from + 1));
            for (qint64 key : std::as_const(own))
                keys_.append(key);
            scanned_ = horizon;
            complete_ = true;
            if (added > 0)
                self->endInsertRows();
            return true;
        }
    }
    return extend(-1, true);
}

bool RecordSource::setFilter(const QString &criteriaText, Reading reading)
{
    lastError_.clear();
    if (!open_)
        return fail(QStringLiteral("Data belum dibuka."));
    const std::optional<TableReader::Condition> wanted = condition(criteriaText);
    beginResetModel();
    filterText_ = criteriaText;
    filter_ = wanted.value_or(TableReader::Condition{});
    forgetVisibleRows();
    bool ok = wanted.has_value();
    if (ok && !isView_) {
        if (reading == Reading::Current)
            ok = reader_.renewHorizon() || fail(reader_.lastError());
        else
            reader_.restoreHorizon();
    }
    reading_ = reader_.renewed() ? Reading::Current : Reading::Snapshot;
    if (ok && !isView_ && !filter_.isSet())
        ok = startWhole();
    else
        ok = ok && extend(kFirstChunk, false);
    if (!ok) {
        keys_.clear();
        complete_ = true;
    }
    finishReset();
    setPosition(0);
    return ok;
}

bool RecordSource::find(const QString &criteriaText)
{
    lastError_.clear();
    if (!open_)
        return fail(QStringLiteral("Data belum dibuka."));
    const std::optional<TableReader::Condition> wanted = condition(criteriaText);
    const int start = std::max(pos_, 0);
    int best = -1;
    if (wanted && start < keys_.size()) {
        if (!isView_) {
            // Rows within the horizon, by an indexed query. A row already read is
            // judged as it was read, so that Find agrees with what the grid shows.
            const qint64 startKey = keys_.at(start);
            for (qint64 key : reader_.cachedMatching(*wanted, startKey)) {
                const int index = keys_.indexOf(key);
                if (index >= start) {
                    best = index;
                    break;
                }
            }
            qint64 from = startKey;
            while (true) {
                std::optional<qint64> key;
                if (!reader_.firstMatch(*wanted, filter_, from, &key))
                    return fail(reader_.lastError());
                if (!key || (best >= 0 && *key >= keys_.at(best)))
                    break;
                from = *key + 1;
                const QVector<QVariant> *read = reader_.cached(*key);
                if (read && (read->isEmpty() || !schema::matches(read->value(wanted->column), wanted->value)))
                    continue;
                if (!ensureKey(*key))
                    return false;
                const int index = keys_.indexOf(*key);
                if (index >= start) {
                    best = index;
                    break;
                }
            }
        }
        // Rows appended here (and the rows of a stored query) are judged as they are held.
        if (best < 0 && (complete_ || isView_)) {
            for (qint64 key : std::as_const(ownKeys_)) {
                const int index = keys_.indexOf(key);
                if (index >= start && schema::matches(own_.value(key).value(wanted->column), wanted->value)) {
                    best = index;
                    break;
                }
            }
        }
    }
    if (best >= 0) {
        setPosition(best);
        return true;
    }
    const QString problem = lastError_;
    if (!ensureComplete())
        return false;
    setPosition(keys_.size());
    return problem.isEmpty() ? false : fail(problem);
}
