#include "startline.h"

#include <QDateTime>
#include <cstdio>

namespace startline {

Children ready(const QString &program, const QList<QStringList> &arguments, QProcess::ProcessChannelMode channels)
{
    Children children;
    for (const QStringList &list : arguments) {
        auto child = std::make_unique<QProcess>();
        child->setProcessChannelMode(channels);
        child->start(program, list);
        if (!child->waitForStarted() || !child->waitForReadyRead(60000) || !child->readLine().startsWith("siap"))
            qFatal("a child did not start: %s", child->readAllStandardError().constData());
        children.push_back(std::move(child));
    }
    return children;
}

void go(const Children &children)
{
    // QProcess only queues what is written; each child gets it when its own
    // pipe is written to, which happens here for all of them before any waits.
    for (const auto &child : children)
        child->write("mulai\n");
    for (const auto &child : children)
        while (child->bytesToWrite() > 0)
            if (!child->waitForBytesWritten(30000))
                qFatal("the start word did not reach a child");
}

bool awaitStart()
{
    std::printf("siap\n");
    std::fflush(stdout);
    char word[8];
    return std::fgets(word, sizeof word, stdin) != nullptr;
}

qint64 now()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace startline
