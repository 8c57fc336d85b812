#include "recordsources.h"

#include "app/messages.h"
#include "data/recordsource.h"

#include <QWidget>

RecordSource *openRecordSource(QWidget *screen, const QString &name, const QString &table, bool report)
{
    auto *source = new RecordSource(screen);
    source->setObjectName(name);
    if (!source->open(table) && report)
        msg::databaseError(screen, source->lastError());
    return source;
}
