#include "recordsource.h"

#include "criteria.h"
#include "textforms.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <limits>

namespace {
constexpr int kPageSize = 64;
// Keys are read from the front in chunks that grow as more are wanted.
constexpr int kFirstChunk = 64;
constexpr int kGridChunk = 256;
constexpr int kLargestChunk = 65536;
} // namespace

RecordSource::RecordSource(QObject *parent)
    : QAbstractTableModel(parent)
{
}

RecordSource::~RecordSource()
{
    // The screen around it may be half destroyed already: tell nobody.
    blockSignals(true);
    close();
}

bool RecordSource::fail(const QString &message) const
{
    lastError_ = message;
    return false;
}

// ---------------------------------------------------------------------------
// Opening and closing

bool RecordSource::open(const QString &recordSource, const QString &connectionText)
{
    close();
    lastError_.clear();
    name_ = recordSource;
    file_ = db::describedLocation(connectionText);
    QString error;
    if (!db::openConnection(connectionText, &connection_, &error)) {
        connection_.clear();
        return fail(error);
    }
    QSqlDatabase database = QSqlDatabase::database(connection_, false);
    db::Relation relation;
    if (!db::findRelation(database, recordSource, &relation, &error)) {
        close();
        return fail(error);
    }
    name_ = relation.name;
    dbColumns_ = relation.columns;
    kinds_ = relation.kinds;
    columns_ = relation.shownColumns;
    key_ = db::keyColumn(database);
    beginResetModel();
    const bool ok = relation.isView ? openView() : openTable();
    if (!ok)
        keys_.clear();
    endResetModel();
    if (!ok) {
        const QString message = lastError_;
        close();
        return fail(message);
    }
    setPosition(0);
    return true;
}

bool RecordSource::openTable()
{
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT max(%1) FROM %2").arg(key_, schema::quoted(name_))) || !query.next())
        return fail(db::describeError(query.lastError(), file_));
    const QVariant highest = query.value(0);
    query.finish();
    reader_.setUp(connection_, file_, name_, dbColumns_, kinds_, key_,
                  highest.isNull() ? std::nullopt : std::optional<qint64>(highest.toLongLong()));
    open_ = true;
    return extend(kFirstChunk, false);
}

bool RecordSource::openView()
{
    // A stored query has no row keys of its own: its rows (few, the operators) are
    // read once into memory.
    isView_ = true;
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    QStringList names;
    for (const QString &column : std::as_const(dbColumns_))
        names << schema::quoted(column);
    if (!query.exec(QStringLiteral("SELECT %1 FROM %2").arg(names.join(u','), schema::quoted(name_))))
        return fail(db::describeError(query.lastError(), file_));
    qint64 key = 0;
    while (query.next()) {
        QVector<QVariant> values;
        for (int c = 0; c < dbColumns_.size(); ++c)
            values << schema::fromStored(query.value(c), kinds_.at(c));
        own_.insert(key, values);
        ownKeys_ << key++;
    }
    if (query.lastError().isValid())
        return fail(db::describeError(query.lastError(), file_));
    open_ = true;
    return extend(kFirstChunk, false);
}

void RecordSource::close()
{
    const bool wasOpen = open_;
    if (wasOpen)
        beginResetModel();
    db::closeConnection(connection_);
    connection_.clear();
    reader_.clear();
    open_ = false;
    isView_ = false;
    columns_.clear();
    dbColumns_.clear();
    kinds_.clear();
    filterText_.clear();
    filter_ = {};
    keys_.clear();
    scanned_.reset();
    complete_ = false;
    chunk_ = 0;
    failedPages_.clear();
    fetchFailed_ = false;
    own_.clear();
    ownKeys_.clear();
    deleted_.clear();
    pos_ = -1;
    if (wasOpen) {
        endResetModel();
        emit currentChanged(-1);
    }
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

// ---------------------------------------------------------------------------
// Visible rows

void RecordSource::reportUnattended() const
{
    emit const_cast<RecordSource *>(this)->readFailed(lastError_);
}

QVector<qint64> RecordSource::ownRowsMatching() const
{
    QVector<qint64> keys;
    for (qint64 key : ownKeys_)
        if (!filter_.isSet() || schema::matches(own_.value(key).value(filter_.column), filter_.value))
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
        // A table without gaps is counted, not listed.
        qint64 count = 0;
        if (!reader_.countAbove(scanned_, &count))
            return fail(reader_.lastError());
        if (count == *horizon - *scanned_) {
            QVector<qint64> own = ownRowsMatching();
            const int added = int(count + own.size());
            auto *self = const_cast<RecordSource *>(this);
            if (added > 0)
                self->beginInsertRows(QModelIndex(), keys_.size(), keys_.size() + added - 1);
            keys_.appendRun(*scanned_ + 1, int(count));
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

bool RecordSource::setFilter(const QString &criteriaText)
{
    lastError_.clear();
    if (!open_)
        return fail(QStringLiteral("Data belum dibuka."));
    const std::optional<TableReader::Condition> wanted = condition(criteriaText);
    beginResetModel();
    filterText_ = criteriaText;
    filter_ = wanted.value_or(TableReader::Condition{});
    keys_.clear();
    scanned_.reset();
    complete_ = false;
    chunk_ = 0;
    failedPages_.clear();
    fetchFailed_ = false;
    const bool ok = wanted && extend(kFirstChunk, false);
    if (!ok) {
        keys_.clear();
        complete_ = true;
    }
    endResetModel();
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

// ---------------------------------------------------------------------------
// Cursor

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

int RecordSource::recordCount() const
{
    if (!open_)
        return 0;
    return ensureComplete() ? keys_.size() : -1;
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
    if (!ensure(pos_ + 1))
        return false;
    setPosition(pos_ + 1);
    return true;
}

void RecordSource::movePrevious()
{
    if (open_ && pos_ >= 0)
        setPosition(pos_ - 1);
}

bool RecordSource::moveTo(int position)
{
    lastError_.clear();
    if (!open_ || position < 0)
        return true;
    if (!ensure(position))
        return false;
    if (position < keys_.size())
        setPosition(position);
    return true;
}

// ---------------------------------------------------------------------------
// Writes

recordwrite::Target RecordSource::target() const
{
    return {connection_, file_, name_, dbColumns_, kinds_, key_};
}

bool RecordSource::finishWrite(const recordwrite::Outcome &outcome)
{
    refused_ = outcome.refused;
    if (!outcome.ok)
        return fail(outcome.message);
    lastError_.clear();
    return true;
}

QVector<QVariant> RecordSource::asHeld(const QVector<QVariant> &row) const
{
    QVector<QVariant> held;
    for (int c = 0; c < columns_.size(); ++c)
        held << schema::fromStored(schema::toStored(row.value(c), kinds_.at(c)), kinds_.at(c));
    return held;
}

bool RecordSource::update(const QHash<int, QVariant> &changes, const WriteCheck &check)
{
    refused_ = false;
    lastError_.clear();
    if (isView_)
        return fail(QStringLiteral("%1 hanya bisa dibaca.").arg(name_));
    if (!hasCurrent())
        return fail(QStringLiteral("Tidak ada data yang sedang dipilih."));
    const qint64 key = keys_.at(pos_);
    QVector<QVariant> original;
    for (int c = 0; c < columns_.size(); ++c) {
        bool ok = true;
        original << valueAt(pos_, c, &ok);
        if (!ok)
            return false;
    }
    QVector<QVariant> row = original;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        if (it.key() >= 0 && it.key() < row.size())
            row[it.key()] = it.value();
    if (!finishWrite(recordwrite::update(target(), key, original, row, check)))
        return false;
    if (own_.contains(key))
        own_.insert(key, asHeld(row));
    else
        reader_.forget(key);
    emit dataChanged(index(pos_, 0), index(pos_, columns_.size() - 1));
    return true;
}

bool RecordSource::addNew(const QVector<QVariant> &values, const WriteCheck &check)
{
    refused_ = false;
    lastError_.clear();
    if (!open_)
        return fail(QStringLiteral("Data belum dibuka."));
    if (isView_)
        return fail(QStringLiteral("%1 hanya bisa dibaca.").arg(name_));
    QVector<QVariant> row(columns_.size());
    for (int c = 0; c < columns_.size() && c < values.size(); ++c)
        row[c] = values.at(c);
    qint64 key = 0;
    if (!finishWrite(recordwrite::insert(target(), row, check, &key)))
        return false;
    // The new row comes after every visible row: they are all read first.
    const bool placed = ensureComplete();
    own_.insert(key, asHeld(row));
    ownKeys_ << key;
    deleted_.remove(key);
    reader_.forget(key);
    if (!placed) {
        // The row is stored; only its place among the rows shown could not be read.
        reportUnattended();
        lastError_.clear();
        return true;
    }
    int index = keys_.indexOf(key);
    if (index >= 0) {
        emit dataChanged(this->index(index, 0), this->index(index, columns_.size() - 1));
    } else if (keys_.isEmpty() || key > keys_.last()) {
        beginInsertRows(QModelIndex(), keys_.size(), keys_.size());
        keys_.append(key);
        endInsertRows();
        index = keys_.size() - 1;
    } else {
        beginResetModel();
        keys_.append(key);
        endResetModel();
        index = keys_.indexOf(key);
    }
    setPosition(index);
    return true;
}

bool RecordSource::deleteCurrent()
{
    refused_ = false;
    lastError_.clear();
    if (isView_)
        return fail(QStringLiteral("%1 hanya bisa dibaca.").arg(name_));
    if (!hasCurrent())
        return fail(QStringLiteral("Tidak ada data yang sedang dipilih."));
    const qint64 key = keys_.at(pos_);
    if (!finishWrite(recordwrite::remove(target(), key)))
        return false;
    deleted_.insert(key);
    own_.remove(key);
    ownKeys_.removeAll(key);
    reader_.forget(key);
    const int at = pos_;
    beginRemoveRows(QModelIndex(), at, at);
    keys_.removeAt(at);
    endRemoveRows();
    if (!ensure(at))
        reportUnattended();
    setPosition(at);
    return true;
}

// ---------------------------------------------------------------------------
// Model

int RecordSource::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !open_ ? 0 : keys_.size();
}

int RecordSource::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

bool RecordSource::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && open_ && !complete_ && !fetchFailed_;
}

void RecordSource::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid())
        return;
    if (!extend(kGridChunk, true)) {
        fetchFailed_ = true;
        reportUnattended();
    }
}

QVariant RecordSource::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        bool ok = true;
        bool fresh = false;
        const QVector<QVariant> *values = row(index.row(), &ok, &fresh);
        if (fresh)
            reportUnattended();
        // A row that could not be read shows nothing rather than anything stale.
        return values ? textform::display(values->value(index.column())) : QString();
    }
    case Qt::TextAlignmentRole:
        if (columnKind(index.column()) == Kind::Number)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return QVariant();
    default:
        return QVariant();
    }
}

QVariant RecordSource::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QVariant();
    return section >= 0 && section < columns_.size() ? QVariant(columns_.at(section)) : QVariant();
}

Qt::ItemFlags RecordSource::flags(const QModelIndex &index) const
{
    // Grids show rows; every write goes through the screens' checked paths.
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
