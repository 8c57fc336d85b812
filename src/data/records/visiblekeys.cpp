#include "data/records/visiblekeys.h"

#include <algorithm>

void VisibleKeys::clear()
{
    front_.clear();
    whole_ = false;
    first_ = 0;
    top_ = -1;
    absent_.clear();
    reader_ = {};
    blocks_.clear();
    starts_.clear();
    pending_.clear();
    tail_.clear();
}

bool VisibleKeys::startWhole(qint64 first, qint64 top, const QVector<qint64> &absent, Reader reader)
{
    clear();
    if (top >= first && (first < 0 || top - first >= kMostBlocks * kBlockKeys))
        return false;
    whole_ = true;
    reader_ = std::move(reader);
    if (top < first)
        return true;
    first_ = first;
    top_ = top;
    for (qint64 key : absent)
        if (key >= first && key <= top)
            absent_ << key;
    std::sort(absent_.begin(), absent_.end());
    absent_.erase(std::unique(absent_.begin(), absent_.end()), absent_.end());
    blocks_.resize(size_t((top - first) / kBlockKeys + 1));
    for (int b = 0; b < int(blocks_.size()); ++b) {
        const auto [from, to] = absentIn(b);
        blocks_[b].count = int(blockLast(b) - blockFirst(b) + 1 - (to - from));
    }
    renumber();
    return true;
}

qint64 VisibleKeys::blockLast(int block) const
{
    return std::min(top_, blockFirst(block) + kBlockKeys - 1);
}

std::pair<const qint64 *, const qint64 *> VisibleKeys::absentIn(int block) const
{
    const qint64 *begin = absent_.constData();
    const qint64 *end = begin + absent_.size();
    const qint64 *from = std::lower_bound(begin, end, blockFirst(block));
    const qint64 *to = std::upper_bound(from, end, blockLast(block));
    return {from, to};
}

void VisibleKeys::renumber()
{
    starts_.resize(blocks_.size());
    int position = 0;
    for (size_t b = 0; b < blocks_.size(); ++b) {
        starts_[b] = position;
        position += blocks_[b].count;
    }
}

int VisibleKeys::snapshotSize() const
{
    return blocks_.empty() ? 0 : starts_.back() + blocks_.back().count;
}

int VisibleKeys::size() const
{
    return whole_ ? snapshotSize() + tail_.size() : front_.size();
}

int VisibleKeys::blockAt(int position) const
{
    // The last block starting at or before the position (blocks may be empty).
    const auto it = std::upper_bound(starts_.cbegin(), starts_.cend(), position);
    int block = int(it - starts_.cbegin()) - 1;
    while (block > 0 && blocks_[block].count == 0)
        --block;
    return block;
}

bool VisibleKeys::countBlock(int block) const
{
    Block &b = blocks_[block];
    if (b.counted)
        return true;
    for (const auto &learnt : pending_)
        if (learnt.first == block)
            return true;
    qint64 count = 0;
    if (!reader_ || !reader_(blockFirst(block), blockLast(block), &count, nullptr))
        return false;
    if (count == b.count) {
        b.counted = true;
        return true;
    }
    // Short (rows deleted, or keys never used): its keys are listed, and the
    // rows change when the record source applies what was learned.
    QVector<qint64> keys;
    if (!reader_(blockFirst(block), blockLast(block), &count, &keys))
        return false;
    keys.erase(std::remove_if(keys.begin(), keys.end(),
                              [this](qint64 k) { return std::binary_search(absent_.cbegin(), absent_.cend(), k); }),
               keys.end());
    pending_.emplace_back(block, std::make_shared<const QVector<qint64>>(std::move(keys)));
    return true;
}

qint64 VisibleKeys::keyIn(int block, int offset) const
{
    const Block &b = blocks_[block];
    if (b.keys)
        return b.keys->at(offset);
    qint64 key = blockFirst(block) + offset;
    const auto [from, to] = absentIn(block);
    for (const qint64 *a = from; a != to && *a <= key; ++a)
        ++key;
    return key;
}

qint64 VisibleKeys::at(int position) const
{
    if (!whole_)
        return front_.at(position);
    const int snapshot = snapshotSize();
    if (position >= snapshot)
        return tail_.at(position - snapshot);
    const int block = blockAt(position);
    countBlock(block);
    return keyIn(block, position - starts_[block]);
}

bool VisibleKeys::count(int first, int last) const
{
    if (!whole_)
        return true;
    const int snapshot = snapshotSize();
    last = std::min(last, snapshot - 1);
    bool ok = true;
    if (first > last || first < 0)
        return ok;
    for (int block = blockAt(first); block <= blockAt(last); ++block)
        ok = countBlock(block) && ok;
    return ok;
}

bool VisibleKeys::countAll() const
{
    if (!whole_ || blocks_.empty())
        return true;
    // Mostly every block is whole: one count over the blocks not yet counted tells.
    qint64 taken = 0;
    bool any = false;
    for (const Block &b : blocks_)
        if (!b.counted) {
            taken += b.count;
            any = true;
        }
    if (!any)
        return true;
    qint64 counted = 0;
    for (size_t b = 0; b < blocks_.size(); ++b)
        if (blocks_[b].counted)
            counted += blocks_[b].count;
    qint64 all = 0;
    if (!reader_ || !reader_(first_, top_, &all, nullptr))
        return false;
    if (pending_.empty() && all - counted == taken) {
        for (Block &b : blocks_)
            b.counted = true;
        return true;
    }
    bool ok = true;
    for (int b = 0; b < int(blocks_.size()); ++b)
        ok = countBlock(b) && ok;
    return ok;
}

void VisibleKeys::applyLearned()
{
    for (auto &[block, keys] : pending_) {
        blocks_[block].keys = keys;
        blocks_[block].count = int(keys->size());
        blocks_[block].counted = true;
    }
    pending_.clear();
    renumber();
}

QVector<qint64> VisibleKeys::listed(int block) const
{
    const Block &b = blocks_[block];
    if (b.keys)
        return *b.keys;
    QVector<qint64> keys;
    keys.reserve(b.count);
    for (int i = 0; i < b.count; ++i)
        keys << keyIn(block, i);
    return keys;
}

int VisibleKeys::indexOf(qint64 key) const
{
    if (!whole_)
        return front_.indexOf(key);
    if (key < first_ || key > top_) {
        const int index = tail_.indexOf(key);
        return index < 0 ? -1 : snapshotSize() + index;
    }
    const int block = int((key - first_) / kBlockKeys);
    const Block &b = blocks_[block];
    if (b.keys) {
        const auto it = std::lower_bound(b.keys->cbegin(), b.keys->cend(), key);
        return it != b.keys->cend() && *it == key ? starts_[block] + int(it - b.keys->cbegin()) : -1;
    }
    if (std::binary_search(absent_.cbegin(), absent_.cend(), key))
        return -1;
    const auto [from, to] = absentIn(block);
    const int before = int(std::lower_bound(from, to, key) - from);
    return starts_[block] + int(key - blockFirst(block)) - before;
}

void VisibleKeys::append(qint64 key)
{
    if (!whole_) {
        front_.append(key);
        return;
    }
    if (key < first_ || key > top_) {
        // The first key of an empty snapshot's rows, or beyond the horizon.
        tail_.append(key);
        return;
    }
    // A key within the horizon (one freed by a deletion, taken again): in its block.
    applyLearned();
    const int block = int((key - first_) / kBlockKeys);
    QVector<qint64> keys = listed(block);
    const auto it = std::lower_bound(keys.begin(), keys.end(), key);
    if (it != keys.end() && *it == key)
        return;
    keys.insert(it, key);
    blocks_[block].count = int(keys.size());
    blocks_[block].keys = std::make_shared<const QVector<qint64>>(std::move(keys));
    renumber();
}

void VisibleKeys::appendRun(qint64 first, int count)
{
    if (!whole_) {
        front_.appendRun(first, count);
        return;
    }
    for (int i = 0; i < count; ++i)
        append(first + i);
}

void VisibleKeys::removeAt(int position)
{
    if (!whole_) {
        front_.removeAt(position);
        return;
    }
    const int snapshot = snapshotSize();
    if (position >= snapshot) {
        tail_.removeAt(position - snapshot);
        return;
    }
    applyLearned();
    const int block = blockAt(position);
    QVector<qint64> keys = listed(block);
    keys.removeAt(position - starts_[block]);
    blocks_[block].count = int(keys.size());
    blocks_[block].keys = std::make_shared<const QVector<qint64>>(std::move(keys));
    renumber();
}
