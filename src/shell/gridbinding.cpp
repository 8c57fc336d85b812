#include "gridbinding.h"

#include "data/records/recordsource.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPointer>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTableView>
#include <QWheelEvent>

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

// Room beside the widest text of a column.
constexpr int kColumnMargin = 12;
// Rows past the last one in sight whose values widen a column too.
constexpr int kRowsBeyondSight = 20;

// A grid of fewer rows holds them all: its row header keeps a few bytes a row (at
// most about 1.6 MB here) and a jump scrolls the grid, while a window's move gives
// every cell in sight a new value and repaints the whole grid, about twice the time.
int g_windowFrom = 200000;

// The rows of a record source from an offset on, as many as a grid shows at once.
class RowWindow final : public QAbstractTableModel
{
public:
    explicit RowWindow(RecordSource *source, QObject *parent) : QAbstractTableModel(parent), source_(source)
    {
        connect(source, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex &from, const QModelIndex &to) {
            const int first = std::max(from.row(), offset_) - offset_;
            const int last = std::min(to.row(), offset_ + rows_ - 1) - offset_;
            if (first <= last)
                emit dataChanged(index(first, from.column()), index(last, to.column()));
        });
    }
    int offset() const { return offset_; }
    void show(int offset, int rows)
    {
        // A window of the same shape moved along the rows has only new values: the
        // grid keeps its sections and repaints, as it does when scrolled.
        if (rows == rows_ && columns_ == source_->columnCount()) {
            offset_ = offset;
            if (rows > 0 && columns_ > 0)
                emit dataChanged(index(0, 0), index(rows - 1, columns_ - 1));
            return;
        }
        beginResetModel();
        offset_ = offset;
        rows_ = rows;
        columns_ = source_->columnCount();
        endResetModel();
    }
    int rowCount(const QModelIndex &parent = QModelIndex()) const override { return parent.isValid() ? 0 : rows_; }
    int columnCount(const QModelIndex &parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : columns_;
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || index.row() >= rows_ || !source_)
            return QVariant();
        return source_->data(source_->index(offset_ + index.row(), index.column()), role);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        return orientation == Qt::Horizontal && source_ ? source_->headerData(section, orientation, role) : QVariant();
    }
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    }

private:
    // The grid may outlive it by a moment when its screen goes.
    QPointer<RecordSource> source_;
    int offset_ = 0;
    int rows_ = 0;
    int columns_ = 0;
};

// What ties a grid to its record source: the current row both ways, and the
// window and its scroll bar when there are many rows.
class GridLink final : public QObject
{
public:
    GridLink(QTableView *grid, RecordSource *source)
        : QObject(grid), grid_(grid), viewport_(grid->viewport()), source_(source), window_(new RowWindow(source, this)),
          bar_(new QScrollBar(Qt::Vertical, grid))
    {
        setObjectName(QStringLiteral("gridLink"));
        bar_->setObjectName(grid->objectName() + QStringLiteral("_gulir"));
        bar_->hide();
        // Before the grid hears of a change of the rows: a grid about to be given a
        // million rows gets its window instead.
        connect(source, &QAbstractItemModel::modelReset, this, &GridLink::rowsChanged);
        connect(source, &QAbstractItemModel::rowsInserted, this, [this] { showWindow(); });
        connect(source, &QAbstractItemModel::rowsRemoved, this, [this] { showWindow(); });
        connect(source, &RecordSource::currentChanged, this, &GridLink::follow);
        connect(bar_, &QScrollBar::valueChanged, this, [this] { showWindow(); });
        grid->installEventFilter(this);
        viewport_->installEventFilter(this);
        attach(source->rowCount() >= g_windowFrom);
        // Once the grid has taken new rows in (connected after it): the columns grow
        // to what the rows in sight show, so no value is cut, money least of all.
        connect(source, &QAbstractItemModel::modelReset, this, [this] { fitColumns(); });
        connect(source, &QAbstractItemModel::rowsInserted, this, [this] { fitColumns(); });
    }

    // Every column at least as wide as its heading and the values of the rows in
    // sight (and a few beyond); once the grid shows, a column never shrinks, so it
    // does not jump about as the rows change. A large table is not read for it.
    void fitColumns(bool exactly = false)
    {
        if (!source_ || !grid_->model())
            return;
        // The rows in sight and a few beyond, and no more, however many the model
        // holds (QTableView's own measure walks every row of a grid not yet shown).
        QAbstractItemModel *model = grid_->model();
        const int rows = model->rowCount();
        const int first = std::max(0, grid_->rowAt(0));
        const int last = std::min(rows - 1, first + visibleRows() + kRowsBeyondSight);
        for (int column = 0; column < model->columnCount(); ++column) {
            int values = 0;
            for (int row = first; row <= last; ++row)
                values = std::max(values, grid_->sizeHintForIndex(model->index(row, column)).width());
            const int wanted = std::max(values, grid_->horizontalHeader()->sectionSizeHint(column)) + kColumnMargin;
            if (exactly || grid_->columnWidth(column) < wanted)
                grid_->setColumnWidth(column, wanted);
        }
    }
    QScrollBar *bar() const { return windowed_ ? bar_ : grid_->verticalScrollBar(); }

    void follow(int position)
    {
        if (!grid_->selectionModel() || !source_)
            return;
        const QScopedValueRollback<bool> following(following_, true);
        if (position < 0) {
            grid_->selectionModel()->clearSelection();
            return;
        }
        if (windowed_) {
            const int rows = visibleRows();
            if (position < bar_->value())
                bar_->setValue(position);
            else if (position >= bar_->value() + rows)
                bar_->setValue(position - rows + 1);
            showWindow();
        }
        const int row = position - offset();
        if (row < 0 || row >= grid_->model()->rowCount())
            return;
        const QModelIndex current = grid_->model()->index(row, std::max(0, grid_->currentIndex().column()));
        if (grid_->currentIndex().row() != row)
            grid_->selectionModel()->setCurrentIndex(current,
                                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        else
            grid_->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        grid_->scrollTo(current);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!windowed_ || !source_)
            return false;
        if (watched == grid_ && event->type() == QEvent::KeyPress)
            return keyPressed(static_cast<QKeyEvent *>(event));
        // Pointers only: events still come while the grid is being destroyed.
        if (watched == viewport_ && event->type() == QEvent::Wheel) {
            const int steps = static_cast<QWheelEvent *>(event)->angleDelta().y() / 120;
            bar_->setValue(bar_->value() - steps * QApplication::wheelScrollLines());
            return true;
        }
        if (event->type() == QEvent::Resize)
            QMetaObject::invokeMethod(this, [this] { placeBar(); showWindow(); }, Qt::QueuedConnection);
        return false;
    }

private:
    int offset() const { return windowed_ ? window_->offset() : 0; }
    int rowHeight() const { return std::max(1, grid_->verticalHeader()->defaultSectionSize()); }
    // The rows wholly in sight.
    int visibleRows() const { return std::max(1, grid_->viewport()->height() / rowHeight()); }

    void attach(bool windowed)
    {
        windowed_ = windowed;
        grid_->setModel(windowed ? static_cast<QAbstractItemModel *>(window_) : source_);
        grid_->setVerticalScrollBarPolicy(windowed ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded);
        // The grid's own bar only keeps the place of the one over it: it is never painted.
        grid_->verticalScrollBar()->setUpdatesEnabled(!windowed);
        bar_->setVisible(windowed);
        connect(grid_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
                [this](const QModelIndex &current) {
                    if (following_ || !current.isValid() || !source_)
                        return;
                    const int position = offset() + current.row();
                    if (position != source_->position())
                        source_->moveTo(position);
                });
        if (windowed) {
            placeBar();
            showWindow();
        }
    }

    void rowsChanged()
    {
        const bool windowed = source_->rowCount() >= g_windowFrom;
        if (windowed != windowed_) {
            attach(windowed);
            follow(source_->position());
        } else if (windowed_) {
            showWindow();
        }
    }

    // The bar in the place of the grid's own, over it.
    void placeBar()
    {
        QWidget *place = grid_->verticalScrollBar()->parentWidget();
        if (!place)
            return;
        const QRect area = place == grid_ ? grid_->verticalScrollBar()->geometry() : place->geometry();
        bar_->setGeometry(area);
        bar_->raise();
    }

    void showWindow()
    {
        if (!windowed_ || showing_ || !source_)
            return;
        const QScopedValueRollback<bool> showing(showing_, true);
        const int rows = visibleRows();
        const int total = source_->rowCount();
        bar_->setRange(0, std::max(0, total - rows));
        bar_->setPageStep(rows);
        bar_->setSingleStep(1);
        const int offset = bar_->value();
        window_->show(offset, std::max(0, std::min(rows + 1, total - offset)));
        grid_->verticalScrollBar()->setValue(0);
        const int row = source_->position() - offset;
        const QScopedValueRollback<bool> following(following_, true);
        if (row >= 0 && row < window_->rowCount()) {
            const QModelIndex current = window_->index(row, std::max(0, grid_->currentIndex().column()));
            if (grid_->currentIndex() != current)
                grid_->selectionModel()->setCurrentIndex(current,
                                                          QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        } else {
            grid_->selectionModel()->clear();
        }
        fitColumns();
    }

    bool keyPressed(QKeyEvent *key)
    {
        const int rows = visibleRows();
        const int at = source_->position() >= 0 ? source_->position() : bar_->value();
        const bool control = key->modifiers() & Qt::ControlModifier;
        int target = -1;
        switch (key->key()) {
        case Qt::Key_Up: target = at - 1; break;
        case Qt::Key_Down: target = at + 1; break;
        case Qt::Key_PageUp: target = at - rows; break;
        case Qt::Key_PageDown: target = at + rows; break;
        case Qt::Key_Home:
            if (!control)
                return false;
            target = 0;
            break;
        case Qt::Key_End:
            if (!control)
                return false;
            source_->moveLast();
            return true;
        default:
            return false;
        }
        source_->moveTo(std::clamp(target, 0, std::max(0, source_->rowCount() - 1)));
        return true;
    }

    QTableView *grid_;
    QWidget *viewport_;
    QPointer<RecordSource> source_;
    RowWindow *window_;
    QScrollBar *bar_;
    bool windowed_ = false;
    bool following_ = false;
    bool showing_ = false;
};
} // namespace

int gridWindowFrom()
{
    return g_windowFrom;
}

void setGridWindowFrom(int rows)
{
    g_windowFrom = rows;
}

QScrollBar *gridScrollBar(QTableView *grid)
{
    auto *link = grid->findChild<GridLink *>(QStringLiteral("gridLink"), Qt::FindDirectChildrenOnly);
    return link ? link->bar() : grid->verticalScrollBar();
}

void bindGrid(QTableView *grid, RecordSource *source)
{
    grid->setHorizontalHeader(new GridHeader(grid->horizontalHeader(), grid));
    grid->setVerticalHeader(new GridHeader(grid->verticalHeader(), grid));
    // Headers are set up before the rows arrive: on a table of many rows every
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
    auto *link = new GridLink(grid, source);
    link->fitColumns(true);
    link->follow(source->position());
}
