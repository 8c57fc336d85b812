#pragma once

#include "database.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QPointer>
#include <QSet>
#include <QSqlDatabase>
#include <QStringList>
#include <QVector>
#include <functional>

class QLineEdit;

// A record source: one table or stored query of the database, opened by name,
// read in stored order and kept as a snapshot. A change made through another
// record source shows only after this one is opened again; its own changes
// reach the database at once (each committed when it is made) and show here at once.
//
// It has a current row, or none: past the last row (EOF) or before the first
// (BOF). Bound fields show a column of the current row; grids are plain views on
// the model.
//
// It never reads a whole table into memory: the snapshot is a read transaction
// of its own connection, rows are fetched in pages as they are shown, and Find
// and Filter are answered with indexed queries inside the snapshot.
class RecordSource : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum class Kind { Text, Number, Date };

    // Runs inside the write transaction before a row is written. It may look at the
    // database as it stands now (not the snapshot) and change the row to be written;
    // returning false refuses the write, with a message for the operator in *refusal.
    using WriteCheck = std::function<bool(QSqlDatabase &database, QVector<QVariant> &row, QString *refusal)>;

    explicit RecordSource(QObject *parent = nullptr);
    ~RecordSource() override;

    // Opens a table or stored query by name. On failure the record source stays
    // closed and empty, and lastError() tells the operator why.
    bool open(const QString &recordSource, const QString &connectionText = QString::fromLatin1(db::kConnectionText));
    void close();
    bool isOpen() const { return open_; }
    QString recordSourceName() const { return name_; }
    QString file() const { return file_; }

    // The message for the operator of the last failed operation.
    QString lastError() const { return lastError_; }
    // True when the last failed write was refused by its WriteCheck rather than by the database.
    bool lastWriteRefused() const { return refused_; }

    QStringList columnNames() const { return columns_; }
    Kind columnKind(int column) const;
    // The position of a column, its name matched without regard to case; -1 when unknown.
    int columnIndex(const QString &name) const;

    // Cursor.
    bool isEOF() const;
    bool isBOF() const;
    bool hasCurrent() const;
    int position() const;    // the current row, -1 when there is none
    int recordCount() const; // the number of visible rows
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    void moveTo(int position);

    // Searches forward from the current row, itself included, for the first row
    // that meets the criteria; it becomes current, else the record source is at EOF.
    bool find(const QString &criteria);
    // Only the rows that meet the criteria stay visible, the first one current;
    // replaces any earlier filter. An empty text shows every row again.
    bool setFilter(const QString &criteria);
    void clearFilter() { setFilter(QString()); }
    QString filter() const { return filterText_; }

    // A column of the current row; an invalid value when no row is current.
    QVariant value(int column) const;
    QVariant value(const QString &column) const;
    QVariant valueAt(int position, int column) const;

    // Writes the given columns of the current row.
    bool update(const QHash<int, QVariant> &changes, const WriteCheck &check = {});
    // Appends one row (values by column position) after all others and makes it current.
    bool addNew(const QVector<QVariant> &values, const WriteCheck &check = {});
    // Deletes the current row; the row at the same position (or EOF) is then current.
    bool deleteCurrent();

    // Bound fields: a text field that shows a column of the current row and
    // follows every move. Text typed or set in it is a pending change of the
    // current row until updateBound() stores it or cancelUpdate() drops it; a
    // move of the current row drops it too.
    void bindField(QLineEdit *field, const QString &column);
    bool hasPendingChanges() const;
    bool updateBound(const WriteCheck &check = {});
    void cancelUpdate();

    // Model.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // The current row moved (or the rows were read anew); -1 when no row is current.
    void currentChanged(int position);

private:
    // Visible rows, as keys (rowids) in ascending order: a dense run of keys
    // followed by a list, so that a large table needs no list of its own.
    struct KeyList {
        qint64 denseFirst = 0;
        int denseCount = 0;
        QVector<qint64> rest;
        int size() const { return denseCount + int(rest.size()); }
        qint64 at(int i) const { return i < denseCount ? denseFirst + i : rest.at(i - denseCount); }
        int indexOf(qint64 key) const;
        void materialize();
        void append(qint64 key);
        void removeAt(int i);
    };

    bool fail(const QString &message);
    bool failSql(const QSqlError &error);
    QSqlDatabase readDb() const;
    bool writeDb(QSqlDatabase *database);
    bool computeKeys(const QString &criteria, KeyList *keys);
    const QVector<QVariant> *row(qint64 key) const;
    bool fetchPage(int position) const;
    QVariant convert(const QVariant &raw, int column) const;
    QVariant toStored(const QVariant &value, int column) const;
    bool matches(const QVector<QVariant> &row, int column, const QString &value) const;
    QString quotedTable() const;
    QString quotedColumn(int column) const;
    void setPosition(int position, bool force = false);
    void refreshBound();
    // Runs a write in one transaction: the check first (it may change the row or
    // refuse it), then the work; commits, or rolls everything back.
    bool runWrite(QVector<QVariant> *row, const WriteCheck &check, const std::function<bool(QSqlDatabase &)> &work);
    QVector<QVariant> typedRow(const QVector<QVariant> &row) const;
    bool beginSnapshot();

    bool open_ = false;
    bool isView_ = false; // a stored query: read into memory, never written
    QString name_;
    QString file_;
    QString connectionText_;
    QString readConnection_;
    QString writeConnection_;
    QString lastError_;
    bool refused_ = false;
    QStringList columns_;
    QVector<Kind> kinds_;
    QString filterText_;
    KeyList keys_;
    KeyList snapshotKeys_; // every row of the snapshot, before this record source's own changes
    bool snapshotKnown_ = false;
    int pos_ = -1; // -1: BOF, keys_.size(): EOF

    // Rows this record source wrote itself (appended or updated), and rows of a
    // stored query; they are never fetched from the snapshot.
    QHash<qint64, QVector<QVariant>> own_;
    QSet<qint64> deleted_;
    mutable QHash<qint64, QVector<QVariant>> cache_;

    struct Bound {
        QPointer<QLineEdit> field;
        int column;
        QString shown; // the text the field showed for the stored value
    };
    QVector<Bound> bound_;
};
