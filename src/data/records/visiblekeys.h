#pragma once

#include "data/records/keylist.h"

#include <QVector>
#include <functional>
#include <memory>
#include <vector>

// The keys of a record source's visible rows, by position. Two ways of knowing them:
//
// - From the front (a filter): the keys read so far, in a KeyList.
// - The whole snapshot (no filter): every key from the first to the horizon, in
//   blocks of kBlockKeys consecutive keys. A block is taken to hold every key of
//   its range but those known to be absent, until the engine has counted it; a
//   block whose count falls short has its keys listed. The key at a position is
//   then arithmetic within its block, and the number of rows is known from the
//   moment it opens without reading them. What a count teaches is held back
//   (learned()) until the record source applies it (applyLearned()), so that the
//   rows never change while a view is asking for them. Rows the record source
//   appends beyond the horizon come last.
class VisibleKeys
{
public:
    static constexpr qint64 kBlockKeys = 4096;

    // Counts the rows of keys first..last within the snapshot; with `keys`, lists
    // them too (ascending). False when the read failed.
    using Reader = std::function<bool(qint64 first, qint64 last, qint64 *count, QVector<qint64> *keys)>;

    // Back to reading from the front, with nothing read.
    void clear();
    // Every key from `first` to `top`, but those `absent` (ascending), counted by
    // `reader`. False, with nothing started, when the keys spread over far more
    // blocks than any table fills (keys written by hand, far apart): the keys are
    // then to be read from the front.
    bool startWhole(qint64 first, qint64 top, const QVector<qint64> &absent, Reader reader);
    // The most blocks of a whole snapshot (a ledger of 268 million keys).
    static constexpr qint64 kMostBlocks = qint64(1) << 16;
    bool isWhole() const { return whole_; }
    int blocks() const { return int(blocks_.size()); }

    int size() const;
    bool isEmpty() const { return size() == 0; }
    // The key at a position (0 <= position < size()); in a block not yet counted
    // it counts the block first.
    qint64 at(int position) const;
    qint64 last() const { return at(size() - 1); }
    int indexOf(qint64 key) const;
    void append(qint64 key);
    void appendRun(qint64 first, int count);
    void removeAt(int position);

    // Counts the blocks holding these positions now (failures leave them as taken).
    bool count(int first, int last) const;
    // Counts every block; false when a read failed.
    bool countAll() const;
    // True when a count found a block short of what it was taken to hold.
    bool learned() const { return !pending_.empty(); }
    void applyLearned();

private:
    struct Block {
        int count = 0;
        bool counted = false;
        std::shared_ptr<const QVector<qint64>> keys; // listed when it has gaps
    };
    int blockAt(int position) const;
    qint64 blockFirst(int block) const { return first_ + block * kBlockKeys; }
    qint64 blockLast(int block) const;
    // The absent keys within a block, ascending.
    std::pair<const qint64 *, const qint64 *> absentIn(int block) const;
    qint64 keyIn(int block, int offset) const;
    bool countBlock(int block) const;
    // The block's keys as listed (counted first when not yet).
    QVector<qint64> listed(int block) const;
    void renumber();
    int snapshotSize() const;

    KeyList front_;
    bool whole_ = false;
    qint64 first_ = 0;
    qint64 top_ = -1;
    QVector<qint64> absent_;
    Reader reader_;
    mutable std::vector<Block> blocks_;
    std::vector<int> starts_; // the position of each block's first key
    mutable std::vector<std::pair<int, std::shared_ptr<const QVector<qint64>>>> pending_;
    KeyList tail_; // appended beyond the horizon
};
