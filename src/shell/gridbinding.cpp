#include "gridbinding.h"

#include "data/recordsource.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTableView>

void bindGrid(QTableView *grid, RecordSource *source)
{
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
