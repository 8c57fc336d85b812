#include "data/records/keylist.h"

#include <algorithm>

int KeyList::runAt(int position) const
{
    const auto it = std::upper_bound(runs_.cbegin(), runs_.cend(), position,
                                     [](int p, const Run &run) { return p < run.position; });
    return int(it - runs_.cbegin()) - 1;
}

qint64 KeyList::at(int position) const
{
    const Run &run = runs_.at(runAt(position));
    return run.first + (position - run.position);
}

int KeyList::indexOf(qint64 key) const
{
    const auto it = std::upper_bound(runs_.cbegin(), runs_.cend(), key,
                                     [](qint64 k, const Run &run) { return k < run.first; });
    if (it == runs_.cbegin())
        return -1;
    const Run &run = *(it - 1);
    return key < run.first + run.count ? run.position + int(key - run.first) : -1;
}

void KeyList::append(qint64 key)
{
    appendRun(key, 1);
}

void KeyList::appendRun(qint64 first, int count)
{
    if (count <= 0)
        return;
    if (!runs_.isEmpty() && first <= last()) {
        for (int i = 0; i < count; ++i)
            insertSorted(first + i);
        return;
    }
    if (!runs_.isEmpty() && runs_.last().first + runs_.last().count == first)
        runs_.last().count += count;
    else
        runs_.append(Run{first, count, size_});
    size_ += count;
}

void KeyList::insertSorted(qint64 key)
{
    if (indexOf(key) >= 0)
        return;
    QVector<qint64> keys;
    keys.reserve(size_ + 1);
    for (const Run &run : std::as_const(runs_))
        for (int i = 0; i < run.count; ++i)
            keys << run.first + i;
    keys.insert(std::lower_bound(keys.begin(), keys.end(), key), key);
    clear();
    for (qint64 k : std::as_const(keys))
        appendRun(k, 1);
}

void KeyList::removeAt(int position)
{
    const int index = runAt(position);
    Run run = runs_.at(index);
    const int offset = position - run.position;
    QVector<Run> replacement;
    if (offset > 0)
        replacement << Run{run.first, offset, run.position};
    if (offset + 1 < run.count)
        replacement << Run{run.first + offset + 1, run.count - offset - 1, run.position + offset};
    runs_.remove(index);
    for (int i = 0; i < replacement.size(); ++i)
        runs_.insert(index + i, replacement.at(i));
    for (int i = index + int(replacement.size()); i < runs_.size(); ++i)
        --runs_[i].position;
    --size_;
}

void KeyList::clear()
{
    runs_.clear();
    size_ = 0;
}
