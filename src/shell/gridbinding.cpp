#include "gridbinding.h"

#include "data/recordsource.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTableView>

namespace {
// A grid's header that measures its sections' texts only when they change. Qt's
// own header measures the texts of up to 200 sections anew after every change of
// the rows, and each posting changes the ledger's rows twice (the account looked
// up, the row added). The column names change only when another table is shown;
// the row selectors are sections without a text, all alike, however many rows.
class GridHeader final : public QHeaderView
{
public:
    GridHeader(QHeaderView *replaced, QWidget *parent) : QHeaderView(replaced->orientation(), parent)
    {
        // As the form set the header up.
        setObjectName(replaced->objectName());
        setVisible(!replaced->isHidden());
        setMinimumSectionSize(replaced->minimumSectionSize());
        setDefaultSectionSize(replaced->defaultSectionSize());
        setStretchLastSection(replaced->stretchLastSection());
        setCascadingSectionResizes(replaced->cascadingSectionResizes());
        setHighlightSections(replaced->highlightSections());
        setSectionsClickable(replaced->sectionsClickable());
        setDefaultAlignment(replaced->defaultAlignment());
    }
    QSize sizeHint() const override
    {
        const QStringList texts = sectionTexts();
        if (!measured_.isValid() || texts != measuredTexts_) {
            measured_ = QHeaderView::sizeHint();
            measuredTexts_ = texts;
        }
        return measured_;
    }

protected:
    void changeEvent(QEvent *event) override
    {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            measured_ = QSize();
        QHeaderView::changeEvent(event);
    }

private:
    // What the measure depends on: the column names, or whether there are rows
    // at all (the row selectors have no text).
    QStringList sectionTexts() const
    {
        if (orientation() == Qt::Vertical || !model())
            return {QString::number(std::min(count(), 1))};
        QStringList texts;
        for (int section = 0; section < count(); ++section)
            texts << model()->headerData(section, Qt::Horizontal).toString();
        return texts;
    }

    mutable QSize measured_;
    mutable QStringList measuredTexts_;
};
} // namespace

void bindGrid(QTableView *grid, RecordSource *source)
{
    grid->setHorizontalHeader(new GridHeader(grid->horizontalHeader(), grid));
    grid->setVerticalHeader(new GridHeader(grid->verticalHeader(), grid));
    // Headers are set up before the rows arrive: on a table of a million rows every
    // later change of a header setting would walk through every row.
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setFixedWidth(18);
    // Columns as wide as their first rows' texts; a large table is not read for it.
    grid->horizontalHeader()->setResizeContentsPrecision(50);
    grid->verticalHeader()->setResizeContentsPrecision(50);
    grid->setModel(source);
    grid->resizeColumnsToContents();
    for (int column = 0; column < source->columnCount(); ++column)
        grid->setColumnWidth(column, grid->columnWidth(column) + 12);

    QPointer<QTableView> view(grid);
    auto follow = [view, source](int position) {
        if (!view || !view->selectionModel())
            return;
        if (position < 0) {
            view->selectionModel()->clearSelection();
            return;
        }
        const QModelIndex current = source->index(position, std::max(0, view->currentIndex().column()));
        if (view->currentIndex().row() != position)
            view->selectionModel()->setCurrentIndex(
                current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        else
            view->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        view->scrollTo(current);
    };
    QObject::connect(source, &RecordSource::currentChanged, grid, follow);
    QObject::connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, source,
                     [source](const QModelIndex &current) {
                         if (current.isValid() && current.row() != source->position())
                             source->moveTo(current.row());
                     });
    follow(source->position());
}
