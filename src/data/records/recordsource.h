#pragma once

#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/records/visiblekeys.h"
#include "data/records/recordwriter.h"
#include "data/base/schema.h"
#include "data/records/tablereader.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>
#include <optional>

// A record source: one table or stored query of the database, opened by name and
// read in stored order. It has a current row, or none: past the last row (EOF) or
// before the first (BOF). Grids are plain views on it; bound fields follow its
// current row.
//
// Snapshot rule: when it opens, a record source fixes a horizon, the highest row
// key of its table at that moment (on a server, less the recent keys of rows
// still in flight then: see TableReader). Rows appended later by other programs lie
// beyond it and show only after the record source is opened again (or, for the
// rows of one filter, when that filter reads the table as it stands now: see
// setFilter()); its own writes reach the database at once (each committed when made) and show here at
// once. Every read is a short statement of its own, limited to the horizon, so no
// transaction stays open between two events of the operator. A row that another
// program changes or deletes after the opening may show its new state (a deleted
// row shows empty) when its page is first read; it never moves other rows.
//
// It never reads a table whole. Without a filter its rows are every key from the
// first to the horizon, taken in blocks that the engine counts as they are shown
// (see VisibleKeys): the number of rows is known at opening, and the key at any
// position is found without reading the keys before it. With a filter the keys
// of its visible rows are read from the front as far as they are needed (a grid
// asks for more as it scrolls). Rows are read in pages as they are shown, and
// Find and Filter are indexed queries with bound values. Only the number of rows
// of a filter (RecordCount, MoveLast) reads every key of its visible rows.
class RecordSource : public QAbstractTableModel
{
    Q_OBJECT
public:
    using Kind = schema::Kind;
    using WriteCheck = recordwrite::Check;

    explicit RecordSource(QObject *parent = nullptr);
    ~RecordSource() override;

    // Opens a table or stored query by name. On failure the record source stays
    // closed and empty, and lastError() tells the operator why.
    bool open(const QString &recordSource, const QString &connectionText = db::connectionText());
    void close();
    bool isOpen() const { return open_; }
    QString recordSourceName() const { return name_; }
    QString file() const { return file_; }

    // Where its data lives, as messages name it: the file, or the server and service.
    // The message for the operator of the last failed operation, naming the file and cause.
    QString lastError() const { return lastError_; }
    // What became of the last write: done, refused by a rule (its WriteCheck, or a
    // change made elsewhere meanwhile), or failed in the database.
    const Outcome &lastWrite() const { return lastWrite_; }

    QStringList columnNames() const { return columns_; }
    Kind columnKind(int column) const;
    // The position of a column, its name matched without regard to case; -1 when unknown.
    int columnIndex(const QString &name) const;

    // Cursor.
    bool isEOF() const;
    bool isBOF() const;
    bool hasCurrent() const;
    int position() const; // the current row, -1 when there is none
    // The row key of the current row (as messages name a row); nothing when there is none.
    std::optional<qint64> currentKey() const;
    // The number of visible rows; -1 after a failed read (see lastError()).
    int recordCount() const;
    // Moves that must read further keys return false when the read failed
    // (lastError() tells why); the current row then stays where it was.
    void moveFirst();
    bool moveLast();
    bool moveNext();
    void movePrevious();
    bool moveTo(int position);

    // Searches forward from the current row, itself included, for the first row
    // that meets the criteria; it becomes current, else the record source is at EOF.
    // False when nothing matched or the read failed (lastError() is then set).
    bool find(const QString &criteria);
    // How a filter reads the table: within the snapshot fixed at opening, or as
    // the table stands now (a horizon fixed afresh, so rows other programs added
    // since show too; it holds until the next filter, and a Snapshot filter goes
    // back to the opening snapshot).
    enum class Reading { Snapshot, Current };
    // Only the rows that meet the criteria stay visible, the first one current;
    // replaces any earlier filter. An empty text shows every row again.
    bool setFilter(const QString &criteria, Reading reading = Reading::Snapshot);
    void clearFilter() { setFilter(QString()); }
    QString filter() const { return filterText_; }
    Reading filterReading() const { return reading_; }

    // A column of the current row; an invalid value when no row is current. *ok
    // (when given) is false when the row could not be read (lastError() tells why).
    QVariant value(int column, bool *ok = nullptr) const;
    QVariant value(const QString &column, bool *ok = nullptr) const;
    QVariant valueAt(int position, int column, bool *ok = nullptr) const;

    // Each write appends its row to the audit trail in the same transaction: the
    // entry given (the action, a token, details of the writer's own), filled in
    // by the write (see recordwrite).
    // Writes the given columns of the current row.
    bool update(const QHash<int, QVariant> &changes, const WriteCheck &check = {}, const audit::Entry &entry = {});
    // Appends one row (values by column position) after all others and makes it current.
    bool addNew(const QVector<QVariant> &values, const WriteCheck &check = {}, const audit::Entry &entry = {});
    // Deletes the current row; the row at the same position (or EOF) is then current.
    // The check sees the row as the database holds it now and may refuse the delete.
    bool deleteCurrent(const WriteCheck &check = {}, const audit::Entry &entry = {});
    // The check a deletion of the current row would meet, run now on the row as the
    // database holds it, writing nothing (ok without a current row).
    Outcome judgeCurrent(const WriteCheck &check) const;

    // Model.
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // The current row moved (or the rows were read anew); -1 when no row is current.
    void currentChanged(int position);
    // A read made to show rows (a grid page, more rows for a grid) failed; the text
    // names the file and the cause. The rows it concerned show empty.
    void readFailed(const QString &message);

private:
    // Keys are read from the front in chunks that grow as more are wanted; a grid
    // asking for more rows gets a chunk of its own size.
    static constexpr int kFirstChunk = 64;
    static constexpr int kGridChunk = 256;
    static constexpr int kLargestChunk = 65536;
    // A whole snapshot of up to this many blocks of keys is counted when it opens.
    static constexpr int kCountedAtOpening = 16;
    // Rows are read in pages of this many.
    static constexpr int kPageSize = 64;

    bool fail(const QString &message) const;
    // Ends a reset of the rows. Views answer a change by asking for more rows; they
    // get them at their next asking, not while the change is still being told.
    void finishReset();
    bool openTable();
    // Without a filter: every row of the snapshot, the first and last blocks counted.
    bool startWhole();
    // Applies what the counts of the blocks taught: the rows change anew, the
    // current row stays the same row.
    void applyLearned();
    // Asks for applyLearned() once the event that taught it is over.
    void learnLater() const;
    bool openView();
    std::optional<TableReader::Condition> condition(const QString &criteria);
    // Starts the visible rows afresh: nothing read yet.
    void forgetVisibleRows();
    // Reads further keys of the visible rows: at least `wanted` more, or to the end.
    bool extend(int wanted, bool notify) const;
    // Reads keys until the position is known or the visible rows are complete.
    bool ensure(int position) const;
    // Reads keys until the key is passed or the visible rows are complete.
    bool ensureKey(qint64 key) const;
    bool ensureComplete() const;
    // Reads the row at a position of the whole snapshot; false when it cannot be read.
    bool reachable(int position) const;
    // The rows appended here that meet the filter, in key order.
    QVector<qint64> ownRowsMatching() const;
    // The values of a visible row, read with its page when not at hand; nothing
    // (and *ok false) when the read failed, *freshFailure telling a new failure.
    const QVector<QVariant> *row(int position, bool *ok, bool *freshFailure) const;
    // Tells whoever shows this record source that a read failed (readFailed).
    void reportUnattended() const;
    // A row as it is held here: as the database gives it back.
    QVector<QVariant> asHeld(const QVector<QVariant> &row) const;
    void setPosition(int position);
    recordwrite::Target target() const;
    bool finishWrite(const Outcome &outcome);
    bool failWrite(const QString &message);

    bool open_ = false;
    bool isView_ = false; // a stored query: read into memory, never written
    QString name_;
    QString file_;
    db::Connection connection_;
    mutable QString lastError_;
    Outcome lastWrite_;
    QStringList columns_;   // as the program shows them
    QStringList dbColumns_; // as the database names them
    QList<Kind> kinds_;
    QString key_;
    QString filterText_;
    TableReader::Condition filter_;
    Reading reading_ = Reading::Snapshot;
    int pos_ = -1; // -1: BOF, keys_.size(): EOF

    // The visible rows: keys read so far from the front, and how far reading went.
    mutable VisibleKeys keys_;
    mutable bool learnQueued_ = false;
    mutable std::optional<qint64> scanned_;
    mutable bool complete_ = false;
    mutable int chunk_ = 0;
    mutable TableReader reader_;
    mutable QSet<int> failedPages_; // pages whose reading failed, not read again until the next move
    mutable bool fetchFailed_ = false; // more rows for a grid could not be read
    bool telling_ = false; // views are being told of a change of the rows

    // Rows this record source appended (beyond the horizon), and rows of a stored
    // query; their values are kept here.
    QHash<qint64, QVector<QVariant>> own_;
    QVector<qint64> ownKeys_;
    QSet<qint64> deleted_;
};
