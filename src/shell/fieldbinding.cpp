#include "fieldbinding.h"

#include "data/base/textforms.h"

#include <QDataWidgetMapper>
#include <QLineEdit>
#include <QPointer>

BoundFields::BoundFields(RecordSource *source)
    : QObject(source), source_(source), mapper_(new QDataWidgetMapper(this))
{
    mapper_->setModel(source);
    mapper_->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    connect(source, &RecordSource::currentChanged, this, &BoundFields::follow);
}

void BoundFields::bind(QLineEdit *field, const QString &column)
{
    const int index = source_->columnIndex(column);
    fields_.append({field, index});
    if (index >= 0)
        mapper_->addMapping(field, index);
    follow(source_->position());
}

void BoundFields::follow(int position)
{
    if (position >= 0) {
        // Shows the stored values of the row, also when it is already the mapper's row.
        mapper_->setCurrentIndex(position);
        mapper_->revert();
        return;
    }
    for (const auto &[field, column] : std::as_const(fields_))
        if (field)
            field->clear();
}

QHash<int, QVariant> BoundFields::pendingChanges() const
{
    QHash<int, QVariant> changes;
    for (const auto &[field, column] : std::as_const(fields_)) {
        if (!field || column < 0)
            continue;
        // The text the field shows for the stored value, cut to its limit.
        const QString shown = textform::display(source_->value(column)).left(field->maxLength());
        if (field->text() != shown)
            changes.insert(column, field->text());
    }
    return changes;
}

bool BoundFields::hasPendingChanges() const
{
    return !pendingChanges().isEmpty();
}

bool BoundFields::update(const RecordSource::WriteCheck &check)
{
    if (!source_->hasCurrent())
        return source_->update({}, check); // refused, with the reason in lastError()
    const QHash<int, QVariant> changes = pendingChanges();
    if (changes.isEmpty() && !check)
        return true;
    return source_->update(changes, check);
}

void BoundFields::cancelUpdate()
{
    follow(source_->position());
}
