#include "recordsource.h"

#include "criteria.h"
#include "textforms.h"

#include <QDir>
#include <QLineEdit>
#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>

namespace {
constexpr int kPageSize = 64;
constexpr int kCacheLimit = 16384;

QString quoted(const QString &identifier)
{
    QString text = identifier;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}
} // namespace

// ---------------------------------------------------------------------------
// KeyList

int RecordSource::KeyList::indexOf(qint64 key) const
{
    if (denseCount > 0 && key >= denseFirst && key < denseFirst + denseCount)
        return int(key - denseFirst);
    const auto it = std::lower_bound(rest.cbegin(), rest.cend(), key);
    if (it != rest.cend() && *it == key)
        return denseCount + int(it - rest.cbegin());
    return -1;
}

void RecordSource::KeyList::materialize()
{
    if (denseCount == 0)
        return;
    QVector<qint64> all;
    all.reserve(denseCount + rest.size());
    for (int i = 0; i < denseCount; ++i)
        all.append(denseFirst + i);
    all += rest;
    rest = std::move(all);
    denseCount = 0;
}

void RecordSource::KeyList::append(qint64 key)
{
    if (size() == 0 || key > at(size() - 1)) {
        rest.append(key);
        return;
    }
    materialize();
    rest.insert(std::lower_bound(rest.begin(), rest.end(), key), key);
}

void RecordSource::KeyList::removeAt(int i)
{
    if (i < denseCount)
        materialize();
    rest.removeAt(i - denseCount);
}

// ---------------------------------------------------------------------------
// Opening and closing

RecordSource::RecordSource(QObject *parent)
    : QAbstractTableModel(parent)
{
}

RecordSource::~RecordSource()
{
    // The screen around it may be half destroyed already: tell nobody, touch no field.
    blockSignals(true);
    bound_.clear();
    close();
}

bool RecordSource::fail(const QString &message)
{
    lastError_ = message;
    refused_ = false;
    return false;
}

bool RecordSource::failSql(const QSqlError &error)
{
    return fail(db::describeError(error, file_));
}

QSqlDatabase RecordSource::readDb() const
{
    return QSqlDatabase::database(readConnection_, false);
}

bool RecordSource::beginSnapshot()
{
    QSqlQuery query(readDb());
    // The read transaction stays open while the record source is: every read sees
    // the database as it stood when it was opened.
    if (!query.exec(QStringLiteral("BEGIN")) || !query.exec(QStringLiteral("SELECT 1 FROM sqlite_master LIMIT 1")))
        return failSql(query.lastError());
    return true;
}

bool RecordSource::open(const QString &recordSource, const QString &connectionText)
{
    close();
    name_ = recordSource;
    connectionText_ = connectionText;
    file_ = db::fileFromConnectionText(connectionText);
    QString error;
    if (!db::openConnection(connectionText, &readConnection_, &error))
        return fail(error);
    if (!beginSnapshot()) {
        const QString message = lastError_;
        close();
        return fail(message);
    }
    QSqlDatabase database = readDb();
    QString table;
    {
        QSqlQuery query(database);
        query.prepare(QStringLiteral("SELECT type, name FROM sqlite_master "
                                     "WHERE type IN ('table', 'view') AND lower(name) = lower(?)"));
        query.addBindValue(recordSource);
        if (!query.exec()) {
            const QString message = db::describeError(query.lastError(), file_);
            close();
            return fail(message);
        }
        if (!query.next()) {
            close();
            return fail(QStringLiteral("Database %1 tidak lengkap: %2 tidak ada.\n"
                                       "Kembalikan file dari cadangan, atau buat database baru dengan simparo-initdb.")
                            .arg(QDir::toNativeSeparators(file_), recordSource));
        }
        isView_ = query.value(0).toString() == QLatin1String("view");
        table = query.value(1).toString();
    }
    name_ = table;
    {
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table)))) {
            const QString message = db::describeError(query.lastError(), file_);
            close();
            return fail(message);
        }
        while (query.next()) {
            columns_ << query.value(1).toString();
            const QString type = query.value(2).toString().toUpper();
            if (type.contains(QLatin1String("DATE")) || type.contains(QLatin1String("TIME")))
                kinds_ << Kind::Date;
            else if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("DOUB"))
                     || type.contains(QLatin1String("FLOA")) || type.contains(QLatin1String("NUM"))
                     || type.contains(QLatin1String("INT")) || type.contains(QLatin1String("CURR")))
                kinds_ << Kind::Number;
            else
                kinds_ << Kind::Text;
        }
    }
    if (isView_) {
        // A stored query has no row keys of its own: its rows (few, the operators)
        // are read once into memory.
        QSqlQuery query(database);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT * FROM %1").arg(quoted(table)))) {
            const QString message = db::describeError(query.lastError(), file_);
            close();
            return fail(message);
        }
        qint64 key = 0;
        while (query.next()) {
            QVector<QVariant> values;
            for (int c = 0; c < columns_.size(); ++c)
                values << convert(query.value(c), c);
            own_.insert(key++, values);
        }
    }
    beginResetModel();
    open_ = true;
    const bool ok = computeKeys(QString(), &keys_);
    if (!ok)
        keys_ = KeyList();
    endResetModel();
    if (!ok) {
        const QString message = lastError_;
        close();
        return fail(message);
    }
    lastError_.clear();
    setPosition(0, true);
    return true;
}

void RecordSource::close()
{
    const bool wasOpen = open_;
    if (wasOpen)
        beginResetModel();
    if (!readConnection_.isEmpty()) {
        {
            QSqlQuery query(readDb());
            query.exec(QStringLiteral("ROLLBACK"));
        }
        db::closeConnection(readConnection_);
        readConnection_.clear();
    }
    db::closeConnection(writeConnection_);
    writeConnection_.clear();
    open_ = false;
    isView_ = false;
    columns_.clear();
    kinds_.clear();
    filterText_.clear();
    keys_ = KeyList();
    snapshotKeys_ = KeyList();
    snapshotKnown_ = false;
    own_.clear();
    deleted_.clear();
    cache_.clear();
    pos_ = -1;
    if (wasOpen) {
        endResetModel();
        refreshBound();
        emit currentChanged(-1);
    }
}

// ---------------------------------------------------------------------------
// Columns and values

RecordSource::Kind RecordSource::columnKind(int column) const
{
    return column >= 0 && column < kinds_.size() ? kinds_.at(column) : Kind::Text;
}

int RecordSource::columnIndex(const QString &name) const
{
    for (int i = 0; i < columns_.size(); ++i)
        if (columns_.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant RecordSource::convert(const QVariant &raw, int column) const
{
    if (raw.isNull())
        return QVariant();
    switch (columnKind(column)) {
    case Kind::Date: {
        const QDate date = textform::storedDate(raw);
        return date.isValid() ? QVariant(date) : raw;
    }
    case Kind::Number: {
        bool ok = false;
        const double value = raw.toDouble(&ok);
        return ok ? QVariant(value) : raw;
    }
    case Kind::Text:
        return raw.toString();
    }
    return raw;
}

QVariant RecordSource::toStored(const QVariant &value, int column) const
{
    if (value.isNull())
        return QVariant();
    if (columnKind(column) == Kind::Date && value.metaType().id() == QMetaType::QDate)
        return textform::storedDateText(value.toDate());
    return value;
}

bool RecordSource::matches(const QVector<QVariant> &row, int column, const QString &value) const
{
    const QVariant &stored = row.at(column);
    if (stored.isNull())
        return false;
    switch (stored.metaType().id()) {
    case QMetaType::Double: {
        bool ok = false;
        const double wanted = value.toDouble(&ok);
        return ok && wanted == stored.toDouble();
    }
    case QMetaType::QDate:
        return textform::storedDateText(stored.toDate()) == value;
    default:
        return stored.toString() == value;
    }
}

QString RecordSource::quotedTable() const
{
    return quoted(name_);
}

QString RecordSource::quotedColumn(int column) const
{
    return quoted(columns_.at(column));
}

const QVector<QVariant> *RecordSource::row(qint64 key) const
{
    auto own = own_.constFind(key);
    if (own != own_.constEnd())
        return &own.value();
    auto cached = cache_.constFind(key);
    if (cached != cache_.constEnd())
        return &cached.value();
    return nullptr;
}

bool RecordSource::fetchPage(int position) const
{
    const int first = position - position % kPageSize;
    const int last = std::min(keys_.size(), first + kPageSize) - 1;
    QVector<qint64> wanted;
    for (int i = first; i <= last; ++i) {
        const qint64 key = keys_.at(i);
        if (!own_.contains(key) && !cache_.contains(key))
            wanted << key;
    }
    if (wanted.isEmpty())
        return true;
    if (cache_.size() + wanted.size() > kCacheLimit)
        cache_.clear();
    QStringList names;
    for (int c = 0; c < columns_.size(); ++c)
        names << quotedColumn(c);
    QSqlQuery query(readDb());
    query.setForwardOnly(true);
    const QString select = QStringLiteral("SELECT rowid, %1 FROM %2 WHERE ").arg(names.join(u','), quotedTable());
    if (wanted.last() - wanted.first() == wanted.size() - 1) {
        query.prepare(select + QStringLiteral("rowid BETWEEN ? AND ?"));
        query.addBindValue(wanted.first());
        query.addBindValue(wanted.last());
    } else {
        QStringList marks(wanted.size(), QStringLiteral("?"));
        query.prepare(select + QStringLiteral("rowid IN (%1)").arg(marks.join(u',')));
        for (qint64 key : std::as_const(wanted))
            query.addBindValue(key);
    }
    if (!query.exec())
        return false;
    while (query.next()) {
        QVector<QVariant> values;
        values.reserve(columns_.size());
        for (int c = 0; c < columns_.size(); ++c)
            values << convert(query.value(c + 1), c);
        cache_.insert(query.value(0).toLongLong(), values);
    }
    return true;
}

QVariant RecordSource::valueAt(int position, int column) const
{
    if (!open_ || position < 0 || position >= keys_.size() || column < 0 || column >= columns_.size())
        return QVariant();
    const qint64 key = keys_.at(position);
    const QVector<QVariant> *values = row(key);
    if (!values) {
        fetchPage(position);
        values = row(key);
    }
    return values ? values->at(column) : QVariant();
}

QVariant RecordSource::value(int column) const
{
    return hasCurrent() ? valueAt(pos_, column) : QVariant();
}

QVariant RecordSource::value(const QString &column) const
{
    return value(columnIndex(column));
}

// ---------------------------------------------------------------------------
// Visible rows

bool RecordSource::computeKeys(const QString &criteriaText, KeyList *keys)
{
    *keys = KeyList();
    if (!open_)
        return fail(QStringLiteral("Data belum dibuka."));
    int column = -1;
    QString wanted;
    if (!criteriaText.isEmpty()) {
        const auto criterion = criteria::parse(criteriaText);
        if (!criterion)
            return fail(QStringLiteral("Kriteria pencarian tidak sah: %1").arg(criteriaText));
        column = columnIndex(criterion->column);
        if (column < 0)
            return fail(QStringLiteral("Kolom %1 tidak ada di %2.").arg(criterion->column, name_));
        wanted = criterion->value;
    }

    QVector<qint64> ownKeys; // rows judged in memory
    for (auto it = own_.cbegin(); it != own_.cend(); ++it)
        if (column < 0 || matches(it.value(), column, wanted))
            ownKeys << it.key();
    std::sort(ownKeys.begin(), ownKeys.end());

    if (isView_) {
        keys->rest = ownKeys;
        return true;
    }

    QSqlQuery query(readDb());
    query.setForwardOnly(true);
    QVector<qint64> base;
    if (column < 0) {
        // The snapshot's own rows never change: they are counted once per snapshot.
        if (!snapshotKnown_) {
            KeyList all;
            if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(quotedTable())) || !query.next())
                return failSql(query.lastError());
            const qint64 count = query.value(0).toLongLong();
            if (count > 0) {
                // One aggregate a query: SQLite answers a lone min() or max() from the b-tree's end.
                qint64 first = 0;
                qint64 last = 0;
                if (!query.exec(QStringLiteral("SELECT min(rowid) FROM %1").arg(quotedTable())) || !query.next())
                    return failSql(query.lastError());
                first = query.value(0).toLongLong();
                if (!query.exec(QStringLiteral("SELECT max(rowid) FROM %1").arg(quotedTable())) || !query.next())
                    return failSql(query.lastError());
                last = query.value(0).toLongLong();
                if (last - first + 1 == count) {
                    all.denseFirst = first;
                    all.denseCount = int(count);
                } else {
                    if (!query.exec(QStringLiteral("SELECT rowid FROM %1 ORDER BY rowid").arg(quotedTable())))
                        return failSql(query.lastError());
                    all.rest.reserve(int(count));
                    while (query.next())
                        all.rest << query.value(0).toLongLong();
                }
            }
            snapshotKeys_ = all;
            snapshotKnown_ = true;
        }
        keys->denseFirst = snapshotKeys_.denseFirst;
        keys->denseCount = snapshotKeys_.denseCount;
        base = snapshotKeys_.rest;
    } else {
        query.prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ? ORDER BY rowid")
                          .arg(quotedTable(), quotedColumn(column)));
        query.addBindValue(wanted);
        if (!query.exec())
            return failSql(query.lastError());
        while (query.next())
            base << query.value(0).toLongLong();
    }
    query.finish();

    // Rows this record source deleted or wrote itself are not taken from the snapshot.
    const bool adjust = !deleted_.isEmpty() || !own_.isEmpty();
    if (adjust && keys->denseCount > 0) {
        bool touched = false;
        for (qint64 key : std::as_const(deleted_))
            touched |= keys->indexOf(key) >= 0;
        for (auto it = own_.cbegin(); it != own_.cend() && !touched; ++it)
            touched |= keys->indexOf(it.key()) >= 0;
        if (touched)
            keys->materialize();
        base = std::move(keys->rest);
        keys->rest.clear();
        if (!touched && keys->denseCount > 0) {
            // Only rows appended here lie beyond the dense run.
            keys->rest = base;
            for (qint64 key : std::as_const(ownKeys))
                keys->append(key);
            return true;
        }
    } else if (keys->denseCount > 0) {
        return true;
    }
    QVector<qint64> merged;
    merged.reserve(base.size() + ownKeys.size());
    for (qint64 key : std::as_const(base))
        if (!deleted_.contains(key) && !own_.contains(key))
            merged << key;
    merged += ownKeys;
    std::sort(merged.begin(), merged.end());
    keys->rest = std::move(merged);
    return true;
}

bool RecordSource::setFilter(const QString &criteriaText)
{
    if (!open_)
        return fail(QStringLiteral("Data belum dibuka."));
    KeyList keys;
    const bool ok = computeKeys(criteriaText, &keys);
    beginResetModel();
    filterText_ = criteriaText;
    keys_ = ok ? keys : KeyList();
    endResetModel();
    setPosition(0, true);
    return ok;
}

bool RecordSource::find(const QString &criteriaText)
{
    if (!open_)
        return fail(QStringLiteral("Data belum dibuka."));
    const int start = std::max(pos_, 0);
    if (start >= keys_.size()) {
        setPosition(keys_.size(), true);
        return false;
    }
    const auto criterion = criteria::parse(criteriaText);
    const int column = criterion ? columnIndex(criterion->column) : -1;
    if (column < 0) {
        setPosition(keys_.size(), true);
        return fail(criterion ? QStringLiteral("Kolom %1 tidak ada di %2.").arg(criterion->column, name_)
                              : QStringLiteral("Kriteria pencarian tidak sah: %1").arg(criteriaText));
    }
    const qint64 startKey = keys_.at(start);
    int best = -1;
    for (auto it = own_.cbegin(); it != own_.cend(); ++it) {
        if (it.key() < startKey || !matches(it.value(), column, criterion->value))
            continue;
        const int index = keys_.indexOf(it.key());
        if (index >= start && (best < 0 || index < best))
            best = index;
    }
    if (!isView_) {
        QSqlQuery query(readDb());
        query.setForwardOnly(true);
        query.prepare(QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ? AND rowid >= ? ORDER BY rowid")
                          .arg(quotedTable(), quotedColumn(column)));
        query.addBindValue(criterion->value);
        query.addBindValue(startKey);
        if (!query.exec()) {
            setPosition(keys_.size(), true);
            return failSql(query.lastError());
        }
        while (query.next()) {
            const qint64 key = query.value(0).toLongLong();
            if (best >= 0 && key >= keys_.at(best))
                break;
            if (own_.contains(key) || deleted_.contains(key))
                continue;
            const int index = keys_.indexOf(key);
            if (index >= start) {
                best = index;
                break;
            }
        }
    }
    setPosition(best >= 0 ? best : keys_.size(), true);
    return best >= 0;
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
    return open_ ? keys_.size() : 0;
}

void RecordSource::setPosition(int position, bool force)
{
    position = std::clamp(position, -1, keys_.size());
    if (position == pos_ && !force)
        return;
    pos_ = position;
    refreshBound();
    emit currentChanged(this->position());
}

void RecordSource::moveFirst()
{
    setPosition(0, true);
}

void RecordSource::moveLast()
{
    setPosition(keys_.size() > 0 ? keys_.size() - 1 : 0, true);
}

void RecordSource::moveNext()
{
    if (open_ && pos_ < keys_.size())
        setPosition(pos_ + 1, true);
}

void RecordSource::movePrevious()
{
    if (open_ && pos_ >= 0)
        setPosition(pos_ - 1, true);
}

void RecordSource::moveTo(int position)
{
    if (open_ && position >= 0 && position < keys_.size())
        setPosition(position, true);
}

// ---------------------------------------------------------------------------
// Writes

bool RecordSource::writeDb(QSqlDatabase *database)
{
    if (writeConnection_.isEmpty()) {
        QString error;
        if (!db::openConnection(connectionText_, &writeConnection_, &error))
            return fail(error);
    }
    *database = QSqlDatabase::database(writeConnection_, false);
    return true;
}

QVector<QVariant> RecordSource::typedRow(const QVector<QVariant> &row) const
{
    QVector<QVariant> typed;
    for (int c = 0; c < columns_.size(); ++c)
        typed << convert(toStored(row.value(c), c), c);
    return typed;
}

bool RecordSource::runWrite(QVector<QVariant> *row, const WriteCheck &check,
                            const std::function<bool(QSqlDatabase &)> &work)
{
    refused_ = false;
    if (!open_)
        return fail(QStringLiteral("Data belum dibuka."));
    if (isView_)
        return fail(QStringLiteral("%1 hanya bisa dibaca.").arg(name_));
    QSqlDatabase database;
    if (!writeDb(&database))
        return false;
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return failSql(query.lastError());
    QString refusal;
    if (row && check && !check(database, *row, &refusal)) {
        query.exec(QStringLiteral("ROLLBACK"));
        lastError_ = refusal;
        refused_ = true;
        return false;
    }
    if (!work(database)) {
        const QString message = lastError_;
        const bool refused = refused_;
        query.exec(QStringLiteral("ROLLBACK"));
        lastError_ = message;
        refused_ = refused;
        return false;
    }
    if (!query.exec(QStringLiteral("COMMIT"))) {
        const QSqlError error = query.lastError();
        query.exec(QStringLiteral("ROLLBACK"));
        return failSql(error);
    }
    lastError_.clear();
    return true;
}

bool RecordSource::update(const QHash<int, QVariant> &changes, const WriteCheck &check)
{
    if (!hasCurrent())
        return fail(QStringLiteral("Tidak ada data yang sedang dipilih."));
    const qint64 key = keys_.at(pos_);
    QVector<QVariant> original;
    for (int c = 0; c < columns_.size(); ++c)
        original << toStored(valueAt(pos_, c), c);
    QVector<QVariant> row = original;
    for (auto it = changes.cbegin(); it != changes.cend(); ++it)
        if (it.key() >= 0 && it.key() < row.size())
            row[it.key()] = toStored(it.value(), it.key());
    const bool ok = runWrite(&row, check, [&](QSqlDatabase &database) {
        QStringList sets;
        QVector<QVariant> values;
        for (int c = 0; c < columns_.size(); ++c) {
            const QVariant stored = toStored(row.at(c), c);
            if (stored == original.at(c) && stored.isNull() == original.at(c).isNull())
                continue;
            sets << quotedColumn(c) + QStringLiteral(" = ?");
            values << stored;
        }
        if (sets.isEmpty())
            return true;
        QSqlQuery query(database);
        query.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(quotedTable(), sets.join(u',')));
        for (const QVariant &value : std::as_const(values))
            query.addBindValue(value);
        query.addBindValue(key);
        if (!query.exec())
            return failSql(query.lastError());
        if (query.numRowsAffected() == 0)
            return fail(QStringLiteral("Data ini sudah tidak ada di database %1 (dihapus di tempat lain).\n"
                                       "Tutup layar ini lalu buka kembali.")
                            .arg(QDir::toNativeSeparators(file_)));
        return true;
    });
    if (!ok)
        return false;
    own_.insert(key, typedRow(row));
    cache_.remove(key);
    emit dataChanged(index(pos_, 0), index(pos_, columns_.size() - 1));
    refreshBound();
    return true;
}

bool RecordSource::addNew(const QVector<QVariant> &values, const WriteCheck &check)
{
    if (!open_)
        return fail(QStringLiteral("Data belum dibuka."));
    QVector<QVariant> row(columns_.size());
    for (int c = 0; c < columns_.size() && c < values.size(); ++c)
        row[c] = toStored(values.at(c), c);
    qint64 key = 0;
    const bool ok = runWrite(&row, check, [&](QSqlDatabase &database) {
        QStringList names;
        QStringList marks;
        for (int c = 0; c < columns_.size(); ++c) {
            names << quotedColumn(c);
            marks << QStringLiteral("?");
        }
        QSqlQuery query(database);
        query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                          .arg(quotedTable(), names.join(u','), marks.join(u',')));
        for (int c = 0; c < columns_.size(); ++c)
            query.addBindValue(toStored(row.at(c), c));
        if (!query.exec())
            return failSql(query.lastError());
        key = query.lastInsertId().toLongLong();
        return true;
    });
    if (!ok)
        return false;
    own_.insert(key, typedRow(row));
    deleted_.remove(key);
    cache_.remove(key);
    int index = keys_.indexOf(key);
    if (index >= 0) {
        emit dataChanged(this->index(index, 0), this->index(index, columns_.size() - 1));
    } else if (keys_.size() == 0 || key > keys_.at(keys_.size() - 1)) {
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
    setPosition(index, true);
    return true;
}

bool RecordSource::deleteCurrent()
{
    if (!hasCurrent())
        return fail(QStringLiteral("Tidak ada data yang sedang dipilih."));
    const qint64 key = keys_.at(pos_);
    const bool ok = runWrite(nullptr, {}, [&](QSqlDatabase &database) {
        QSqlQuery query(database);
        query.prepare(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quotedTable()));
        query.addBindValue(key);
        if (!query.exec())
            return failSql(query.lastError());
        return true;
    });
    if (!ok)
        return false;
    deleted_.insert(key);
    own_.remove(key);
    cache_.remove(key);
    const int at = pos_;
    beginRemoveRows(QModelIndex(), at, at);
    keys_.removeAt(at);
    endRemoveRows();
    setPosition(at, true);
    return true;
}

// ---------------------------------------------------------------------------
// Bound fields

void RecordSource::bindField(QLineEdit *field, const QString &column)
{
    bound_.append(Bound{field, columnIndex(column), QString()});
    refreshBound();
}

void RecordSource::refreshBound()
{
    for (Bound &b : bound_) {
        b.shown = b.column >= 0 ? textform::display(value(b.column)) : QString();
        if (b.field) {
            b.field->setText(b.shown);
            // A field with a character limit shows a longer stored value cut short;
            // that is no change of the value, and it is not written back.
            b.shown = b.field->text();
        }
    }
}

bool RecordSource::hasPendingChanges() const
{
    for (const Bound &b : bound_)
        if (b.field && b.column >= 0 && b.field->text() != b.shown)
            return true;
    return false;
}

bool RecordSource::updateBound(const WriteCheck &check)
{
    if (!hasCurrent())
        return fail(QStringLiteral("Tidak ada data yang sedang dipilih."));
    QHash<int, QVariant> changes;
    for (const Bound &b : std::as_const(bound_))
        if (b.field && b.column >= 0 && b.field->text() != b.shown)
            changes.insert(b.column, b.field->text());
    if (changes.isEmpty() && !check)
        return true;
    return update(changes, check);
}

void RecordSource::cancelUpdate()
{
    refreshBound();
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

QVariant RecordSource::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return textform::display(valueAt(index.row(), index.column()));
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
    if (role != Qt::DisplayRole)
        return QVariant();
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < columns_.size() ? QVariant(columns_.at(section)) : QVariant();
    return QVariant();
}

Qt::ItemFlags RecordSource::flags(const QModelIndex &index) const
{
    // Grids show rows; every write goes through the screens' checked paths.
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
