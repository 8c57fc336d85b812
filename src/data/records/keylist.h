#pragma once

#include <QVector>
#include <QtGlobal>

// The row keys of a record source's visible rows, in ascending order, kept as
// runs of consecutive keys: a table that was only ever appended to is one run,
// however many rows it has.
class KeyList
{
public:
    int size() const { return size_; }
    bool isEmpty() const { return size_ == 0; }
    // The key at a position (0 <= position < size()).
    qint64 at(int position) const;
    qint64 last() const { return at(size_ - 1); }
    // The position of a key, -1 when it is not in the list.
    int indexOf(qint64 key) const;
    // Adds keys after the last one (a key not above the last is put in its place).
    void append(qint64 key);
    void appendRun(qint64 first, int count);
    void removeAt(int position);
    void clear();

private:
    struct Run {
        qint64 first;
        int count;
        int position; // the position of the run's first key
    };
    int runAt(int position) const;
    void insertSorted(qint64 key);
    QVector<Run> runs_;
    int size_ = 0;
};
