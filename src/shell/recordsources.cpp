#include "recordsources.h"

#include "data/records/recordsource.h"
#include "shell/messages.h"

#include <QPointer>
#include <QWidget>

RecordSource *openRecordSource(QWidget *screen, const QString &name, const QString &table, bool report)
{
    auto *source = new RecordSource(screen);
    source->setObjectName(name);
    if (!source->open(table) && report)
        msg::perhatian(screen, source->lastError());
    // Rows are read while the screen paints: the message waits until the painting
    // is done, and failures that follow while it is pending or shown add no other.
    auto pending = std::make_shared<bool>(false);
    QObject::connect(source, &RecordSource::readFailed, screen, [screen, pending](const QString &message) {
        if (*pending)
            return;
        *pending = true;
        QMetaObject::invokeMethod(
            screen,
            [screen, pending, message] {
                msg::perhatian(screen, message);
                *pending = false;
            },
            Qt::QueuedConnection);
    });
    return source;
}

void reportWriteFailure(QWidget *screen, const RecordSource *source, QWidget *focusOnRefusal)
{
    msg::perhatian(screen, source->lastError());
    if (source->lastWrite().isRefused() && focusOnRefusal)
        focusOnRefusal->setFocus();
}
