#include "data/records/recordsource.h"

#include "data/base/criteria.h"

#include <QScopedValueRollback>
#include <algorithm>

// The cursor of a record source over its visible rows, and the values of its rows.

bool RecordSource::isEOF() const
{
    return !open_ || pos_ >= keys_.size() || keys_.size() == 0;
}

bool RecordSource::isBOF() const
{
    return !open_ || pos_ < 0 || keys_.size() == 0;
}

bool RecordSource::hasCurrent() const
{
    return open_ && pos_ >= 0 && pos_ < keys_.size();
}

int RecordSource::position() const
{
    return hasCurrent() ? pos_ : -1;
}

std::optional<qint64> RecordSource::currentKey() const
{
    return hasCurrent() ? std::optional<qint64>(keys_.at(pos_)) : std::nullopt;
}

int RecordSource::recordCount() const
{
    if (!open_)
        return 0;
    if (!ensureComplete())
        return -1;
    // Every block is counted: the number is exact.
    if (!keys_.countAll()) {
        fail(reader_.lastError());
        return -1;
    }
    const_cast<RecordSource *>(this)->applyLearned();
    return keys_.size();
}

void RecordSource::setPosition(int position)
{
    failedPages_.clear();
    fetchFailed_ = false;
    pos_ = std::clamp(position, -1, keys_.size());
    emit currentChanged(this->position());
}

void RecordSource::moveFirst()
{
    setPosition(0);
}

bool RecordSource::moveLast()
{
    lastError_.clear();
    if (!open_)
        return true;
    if (!ensureComplete())
        return false;
    setPosition(keys_.size() > 0 ? keys_.size() - 1 : 0);
    return true;
}

bool RecordSource::moveNext()
{
    lastError_.clear();
    if (!open_ || pos_ >= keys_.size())
        return true;
    if (!ensure(pos_ + 1) || !reachable(pos_ + 1))
        return false;
    setPosition(pos_ + 1);
    return true;
}

void RecordSource::movePrevious()
{
    if (open_ && pos_ >= 0)
        setPosition(pos_ - 1);
}

bool RecordSource::reachable(int position) const
{
    if (!keys_.isWhole() || position >= keys_.size())
        return true;
    // Its keys need no reading: the row itself is read, so that a move to a row
    // that cannot be read fails as a move past unread keys does.
    bool ok = true;
    row(position, &ok, nullptr);
    if (!ok)
        failedPages_.remove(position / kPageSize); // a grid asking for it is still told
    return ok;
}

bool RecordSource::moveTo(int position)
{
    lastError_.clear();
    if (!open_ || position < 0)
        return true;
    if (!ensure(position) || !reachable(position))
        return false;
    if (position < keys_.size())
        setPosition(position);
    return true;
}

// ---------------------------------------------------------------------------
// Columns and values

RecordSource::Kind RecordSource::columnKind(int column) const
{
    return kinds_.value(column, Kind::Text);
}

int RecordSource::columnIndex(const QString &name) const
{
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

std::optional<TableReader::Condition> RecordSource::condition(const QString &criteriaText)
{
    if (criteriaText.isEmpty())
        return TableReader::Condition{};
    const auto criterion = criteria::parse(criteriaText);
    if (!criterion) {
        fail(QStringLiteral("Kriteria pencarian tidak sah: %1").arg(criteriaText));
        return std::nullopt;
    }
    const int column = columnIndex(criterion->column);
    if (column < 0) {
        fail(QStringLiteral("Kolom %1 tidak ada di %2.").arg(criterion->column, name_));
        return std::nullopt;
    }
    return TableReader::Condition{column, criterion->value};
}

const QVector<QVariant> *RecordSource::row(int position, bool *ok, bool *freshFailure) const
{
    *ok = true;
    if (freshFailure)
        *freshFailure = false;
    const qint64 key = keys_.at(position);
    learnLater();
    const auto own = own_.constFind(key);
    if (own != own_.constEnd())
        return &own.value();
    if (const QVector<QVariant> *cached = reader_.cached(key))
        return cached;
    const int page = position / kPageSize;
    if (failedPages_.contains(page)) {
        *ok = false;
        return nullptr;
    }
    QVector<qint64> wanted;
    const int last = std::min(keys_.size(), (page + 1) * kPageSize) - 1;
    keys_.count(page * kPageSize, last);
    learnLater();
    for (int i = page * kPageSize; i <= last; ++i) {
        const qint64 k = keys_.at(i);
        if (!own_.contains(k) && !reader_.cached(k))
            wanted << k;
    }
    if (!reader_.fetch(wanted)) {
        // Not read again until the operator moves: a broken file gives one message, not one per repaint.
        failedPages_.insert(page);
        lastError_ = reader_.lastError();
        *ok = false;
        if (freshFailure)
            *freshFailure = true;
        return nullptr;
    }
    return reader_.cached(key);
}

QVariant RecordSource::valueAt(int position, int column, bool *ok) const
{
    if (ok)
        *ok = true;
    if (!open_ || position < 0 || position >= keys_.size() || column < 0 || column >= columns_.size())
        return QVariant();
    bool read = true;
    const QVector<QVariant> *values = row(position, &read, nullptr);
    if (ok)
        *ok = read;
    // A row another program deleted after the opening shows empty.
    return values ? values->value(column) : QVariant();
}

QVariant RecordSource::value(int column, bool *ok) const
{
    if (!hasCurrent()) {
        if (ok)
            *ok = true;
        return QVariant();
    }
    return valueAt(pos_, column, ok);
}

QVariant RecordSource::value(const QString &column, bool *ok) const
{
    return value(columnIndex(column), ok);
}
