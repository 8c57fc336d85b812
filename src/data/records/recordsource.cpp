#include "data/records/recordsource.h"
#include "data/engine/catalog.h"

#include "data/base/criteria.h"
#include "data/base/textforms.h"

#include <QDir>
#include <QScopedValueRollback>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>
#include <limits>

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

void RecordSource::finishReset()
{
    const QScopedValueRollback<bool> telling(telling_, true);
    endResetModel();
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
    if (!connection_.open(connectionText, &error))
        return fail(error);
    db::Relation relation;
    bool found = false;
    {
        QSqlDatabase database = connection_.database();
        found = db::findRelation(database, recordSource, &relation, &error);
        key_ = db::keyColumn(database);
    }
    if (!found) {
        close();
        return fail(error);
    }
    name_ = relation.name;
    dbColumns_ = relation.columns;
    kinds_ = relation.kinds;
    columns_ = relation.shownColumns;
    beginResetModel();
    const bool ok = relation.isView ? openView() : openTable();
    if (!ok)
        keys_.clear();
    finishReset();
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
    reader_.setUp(connection_.name(), file_, name_, dbColumns_, kinds_, key_);
    if (!reader_.fixHorizon())
        return fail(reader_.lastError());
    open_ = true;
    return startWhole();
}

bool RecordSource::openView()
{
    // A stored query has no row keys of its own: its rows (few, the operators) are
    // read once into memory.
    isView_ = true;
    QSqlDatabase database = connection_.database();
    QSqlQuery query(database);
    query.setForwardOnly(true);
    QStringList names;
    for (const QString &column : std::as_const(dbColumns_))
        names << schema::quoted(column);
    if (!query.exec(QStringLiteral("SELECT %1 FROM %2").arg(names.join(u','), schema::quoted(name_))))
        return fail(db::describeError(query.lastError(), database));
    qint64 key = 0;
    while (query.next()) {
        QVector<QVariant> values;
        for (int c = 0; c < dbColumns_.size(); ++c)
            values << schema::fromStored(query.value(c), kinds_.at(c));
        own_.insert(key, values);
        ownKeys_ << key++;
    }
    if (query.lastError().isValid())
        return fail(db::describeError(query.lastError(), database));
    open_ = true;
    return extend(kFirstChunk, false);
}

void RecordSource::close()
{
    const bool wasOpen = open_;
    if (wasOpen)
        beginResetModel();
    connection_.close();
    reader_.clear();
    open_ = false;
    isView_ = false;
    columns_.clear();
    dbColumns_.clear();
    kinds_.clear();
    filterText_.clear();
    filter_ = {};
    reading_ = Reading::Snapshot;
    forgetVisibleRows();
    own_.clear();
    ownKeys_.clear();
    deleted_.clear();
    pos_ = -1;
    if (wasOpen) {
        finishReset();
        emit currentChanged(-1);
    }
}

// ---------------------------------------------------------------------------
// Writes

recordwrite::Target RecordSource::target() const
{
    return {connection_.name(), file_, name_, dbColumns_, kinds_, key_};
}

bool RecordSource::failWrite(const QString &message)
{
    lastWrite_ = Outcome::failed(message);
    return fail(message);
}

bool RecordSource::finishWrite(const Outcome &outcome)
{
    lastWrite_ = outcome;
    if (!outcome.isOk())
        return fail(outcome.message());
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

bool RecordSource::update(const QHash<int, QVariant> &changes, const WriteCheck &check, const audit::Entry &entry)
{
    lastWrite_ = Outcome::ok();
    lastError_.clear();
    if (isView_)
        return failWrite(QStringLiteral("%1 hanya bisa dibaca.").arg(name_));
    if (!hasCurrent())
        return failWrite(QStringLiteral("Tidak ada data yang sedang dipilih."));
    const qint64 key = keys_.at(pos_);
    QVector<QVariant> original;
    for (int c = 0; c < columns_.size(); ++c) {
        bool ok = true;
        original << valueAt(pos_, c, &ok);
        if (!ok)
            return failWrite(lastError_);
    }
    QVector<QVariant> row = original;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        if (it.key() >= 0 && it.key() < row.size())
            row[it.key()] = it.value();
    if (!finishWrite(recordwrite::update(target(), key, original, row, check, entry))) {
        // A row changed elsewhere in the meantime is read afresh when next shown;
        // what the operator typed stays where it is until then.
        if (lastWrite_.isRefused() && !own_.contains(key))
            reader_.forget(key);
        return false;
    }
    if (own_.contains(key))
        own_.insert(key, asHeld(row));
    else
        reader_.forget(key);
    emit dataChanged(index(pos_, 0), index(pos_, columns_.size() - 1));
    return true;
}

bool RecordSource::addNew(const QVector<QVariant> &values, const WriteCheck &check, const audit::Entry &entry)
{
    lastWrite_ = Outcome::ok();
    lastError_.clear();
    if (!open_)
        return failWrite(QStringLiteral("Data belum dibuka."));
    if (isView_)
        return failWrite(QStringLiteral("%1 hanya bisa dibaca.").arg(name_));
    QVector<QVariant> row(columns_.size());
    for (int c = 0; c < columns_.size() && c < values.size(); ++c)
        row[c] = values.at(c);
    applyLearned();
    qint64 key = 0;
    if (!finishWrite(recordwrite::insert(target(), row, check, &key, entry)))
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
        finishReset();
        index = keys_.indexOf(key);
    }
    setPosition(index);
    return true;
}

Outcome RecordSource::judgeCurrent(const WriteCheck &check) const
{
    if (isView_ || !hasCurrent() || !check)
        return Outcome::ok();
    return recordwrite::judge(target(), keys_.at(pos_), check);
}

bool RecordSource::deleteCurrent(const WriteCheck &check, const audit::Entry &entry)
{
    lastWrite_ = Outcome::ok();
    lastError_.clear();
    if (isView_)
        return failWrite(QStringLiteral("%1 hanya bisa dibaca.").arg(name_));
    if (!hasCurrent())
        return failWrite(QStringLiteral("Tidak ada data yang sedang dipilih."));
    applyLearned();
    if (!hasCurrent())
        return failWrite(QStringLiteral("Tidak ada data yang sedang dipilih."));
    const qint64 key = keys_.at(pos_);
    if (!finishWrite(recordwrite::remove(target(), key, check, entry)))
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
    return !parent.isValid() && open_ && !complete_ && !fetchFailed_ && !telling_;
}

void RecordSource::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
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
