#pragma once

#include <QString>

class QWidget;
class RecordSource;

// A screen's record source, named as the screen knows it (Adodc1, Adodc2), opened
// on a table or stored query when the screen loads. When it cannot be opened the
// operator is told which file and why (unless `report` is false, when an earlier
// record source of the screen has already said so), and the screen stays usable
// on an empty record source. A read that fails later while rows are shown is told
// to the operator too, once for each failure.
RecordSource *openRecordSource(QWidget *screen, const QString &name, const QString &table, bool report = true);

// Tells the operator why a write through the record source failed: a refusal by
// the screen's own rule (the focus then goes to `focusOnRefusal`), or a failure of
// the database naming the file and the cause.
void reportWriteFailure(QWidget *screen, const RecordSource *source, QWidget *focusOnRefusal = nullptr);
