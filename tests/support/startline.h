#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// Child processes that begin their work at one moment, as counters of a branch
// posting at once: each child says it is ready ("siap") once it has opened what
// it needs, then waits for the start word on its standard input. The start word
// is written to every child and pushed into each one's pipe before the parent
// waits for any of them, so that none waits for the parent to reach it.
namespace startline {

using Children = std::vector<std::unique_ptr<QProcess>>;

// Starts one child of the program per argument list and waits until each says
// it is ready; ends the test program when one does not.
Children ready(const QString &program, const QList<QStringList> &arguments,
               QProcess::ProcessChannelMode channels = QProcess::SeparateChannels);
// Gives every child the start word, delivered before it returns.
void go(const Children &children);

// In a child: says it is ready and waits for the start word; false when the
// parent is gone instead.
bool awaitStart();
// In a child: the moment now (milliseconds of the system clock), as the lines
// "awal" (before the first piece of work) and "akhir" (after the last) give it.
qint64 now();

} // namespace startline
