#pragma once

#include "data/records/recordsource.h"

#include <QObject>

class QDataWidgetMapper;
class QLineEdit;

// Bound fields: text fields that show columns of a record source's current row
// and follow every move. Text typed or set in a field is a pending change of the
// current row until update() stores it or cancelUpdate() drops it; a move of the
// current row drops it too. A field with a character limit shows a longer stored
// value cut short; that is no change of the value, and it is not written back.
class BoundFields : public QObject
{
    Q_OBJECT
public:
    explicit BoundFields(RecordSource *source);

    void bind(QLineEdit *field, const QString &column);
    bool hasPendingChanges() const;
    // Writes the pending changes of the current row (Update); with a check, the
    // write runs even when nothing was typed.
    bool update(const RecordSource::WriteCheck &check = {});
    // Drops the pending changes; the fields show the stored values again.
    void cancelUpdate();

private:
    QHash<int, QVariant> pendingChanges() const;
    void follow(int position);

    RecordSource *source_;
    QDataWidgetMapper *mapper_;
    QList<QPair<QLineEdit *, int>> fields_;
};
