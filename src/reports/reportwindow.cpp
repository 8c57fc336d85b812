#include "reportwindow.h"

#include "shell/keys.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

// The report window and its pages on screen: the bar that pages through them, the
// zoom, and the view that draws one page. Printing and saving are in reportoutput.cpp.
namespace reports {

// ---------------------------------------------------------------------------
// PageView

namespace {
constexpr int kBorder = 12;
}

PageView::PageView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("pageView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PageView::setDocument(const ReportDocument *document)
{
    document_ = document;
    updateGeometry();
    adjustSize();
    update();
}

void PageView::setPage(int page)
{
    page_ = page;
    update();
}

void PageView::setScale(double scale)
{
    scale_ = scale;
    updateGeometry();
    adjustSize();
    update();
}

QSize PageView::sizeHint() const
{
    if (!document_ || document_->isEmpty())
        return QSize(2 * kBorder, 2 * kBorder);
    const QSizeF page = document_->pageSize() * scale_;
    return QSize(int(std::ceil(page.width())) + 2 * kBorder, int(std::ceil(page.height())) + 2 * kBorder);
}

void PageView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x80, 0x80, 0x80));
    if (!document_ || document_->isEmpty())
        return;
    const QSizeF page = document_->pageSize() * scale_;
    const QRectF paper(kBorder, kBorder, page.width(), page.height());
    painter.fillRect(paper.translated(3, 3), QColor(0x50, 0x50, 0x50));
    painter.fillRect(paper, Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(paper.topLeft());
    painter.scale(scale_, scale_);
    document_->drawPage(painter, page_);
}

// ---------------------------------------------------------------------------
// ReportWindow

ReportWindow::ReportWindow(const ReportDefinition &definition, QWidget *parent)
    : QWidget(parent), definition_(definition)
{
    setObjectName(definition.name);
    setWindowTitle(definition.caption);
    setWindowFlag(Qt::Window);
    // Closed, it goes with its pages; the next showing of the report makes a new one.
    setAttribute(Qt::WA_DeleteOnClose);
    resize(definition.orientation == QPageLayout::Landscape ? QSize(1000, 720) : QSize(820, 900));

    auto toolButton = [this](const char *name, const QString &text, const QString &tip) {
        auto *button = new QToolButton(this);
        button->setObjectName(QLatin1String(name));
        button->setText(text);
        button->setToolTip(tip);
        // The arrows are not speakable: a screen reader says what the button does.
        button->setAccessibleName(tip);
        // Enter presses the button that has the focus, as on the screens.
        onEnter(button, [button] { button->click(); });
        return button;
    };
    first_ = toolButton("firstPage", QStringLiteral("|<"), QStringLiteral("Halaman pertama"));
    previous_ = toolButton("previousPage", QStringLiteral("<"), QStringLiteral("Halaman sebelumnya"));
    next_ = toolButton("nextPage", QStringLiteral(">"), QStringLiteral("Halaman berikutnya"));
    last_ = toolButton("lastPage", QStringLiteral(">|"), QStringLiteral("Halaman terakhir"));
    pageNumber_ = new QSpinBox(this);
    pageNumber_->setObjectName(QStringLiteral("pageNumber"));
    pageNumber_->setToolTip(QStringLiteral("Halaman"));
    pageNumber_->setAccessibleName(QStringLiteral("Halaman"));
    pageNumber_->setKeyboardTracking(false);
    pageTotal_ = new QLabel(this);
    pageTotal_->setObjectName(QStringLiteral("pageTotal"));
    pageTotal_->setAccessibleName(QStringLiteral("Jumlah halaman"));
    zoom_ = new QComboBox(this);
    zoom_->setObjectName(QStringLiteral("zoom"));
    zoom_->setToolTip(QStringLiteral("Perbesaran"));
    zoom_->setAccessibleName(QStringLiteral("Perbesaran"));
    zoom_->addItem(QStringLiteral("Lebar halaman"), -1);
    zoom_->addItem(QStringLiteral("Satu halaman"), -2);
    for (int percent : {50, 75, 100, 125, 150, 200})
        zoom_->addItem(QStringLiteral("%1%").arg(percent), percent);
    print_ = new QPushButton(QStringLiteral("Cetak"), this);
    print_->setObjectName(QStringLiteral("print"));
    savePdf_ = new QPushButton(QStringLiteral("Simpan PDF"), this);
    savePdf_->setObjectName(QStringLiteral("savePdf"));
    saveExcel_ = new QPushButton(QStringLiteral("Simpan Excel"), this);
    saveExcel_->setObjectName(QStringLiteral("saveExcel"));
    for (QPushButton *button : {print_, savePdf_, saveExcel_}) {
        button->setAccessibleName(button->text());
        button->setAutoDefault(true);
    }

    auto *bar = new QHBoxLayout;
    bar->addWidget(first_);
    bar->addWidget(previous_);
    bar->addWidget(pageNumber_);
    bar->addWidget(pageTotal_);
    bar->addWidget(next_);
    bar->addWidget(last_);
    bar->addSpacing(16);
    bar->addWidget(zoom_);
    bar->addStretch();
    bar->addWidget(print_);
    bar->addWidget(savePdf_);
    bar->addWidget(saveExcel_);

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("pages"));
    scroll_->setAccessibleName(QStringLiteral("Halaman laporan"));
    scroll_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll_->setBackgroundRole(QPalette::Dark);
    view_ = new PageView;
    view_->setAccessibleName(QStringLiteral("Isi halaman laporan"));
    view_->setDocument(&document_);
    scroll_->setWidget(view_);
    scroll_->setWidgetResizable(false);
    scroll_->viewport()->installEventFilter(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(bar);
    layout->addWidget(scroll_);
    // Tab goes through the bar in the order it is read, then to the pages.
    const QList<QWidget *> tabOrder = {first_, previous_, pageNumber_, next_, last_, zoom_, print_, savePdf_, saveExcel_, scroll_};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder.at(i - 1), tabOrder.at(i));

    connect(first_, &QToolButton::clicked, this, [this] { showPage(0); });
    connect(previous_, &QToolButton::clicked, this, [this] { showPage(page_ - 1); });
    connect(next_, &QToolButton::clicked, this, [this] { showPage(page_ + 1); });
    connect(last_, &QToolButton::clicked, this, [this] { showPage(document_.pageCount() - 1); });
    connect(pageNumber_, &QSpinBox::valueChanged, this, [this](int value) { showPage(value - 1); });
    connect(zoom_, &QComboBox::activated, this, [this](int index) {
        const int choice = zoom_->itemData(index).toInt();
        setZoom(choice == -1 ? Fit::Width : choice == -2 ? Fit::Page : Fit::Percent, std::max(choice, 1));
    });
    connect(print_, &QPushButton::clicked, this, &ReportWindow::print);
    connect(savePdf_, &QPushButton::clicked, this, &ReportWindow::saveAsPdfAskingName);
    connect(saveExcel_, &QPushButton::clicked, this, &ReportWindow::saveAsExcelAskingName);
    auto *pageDown = new QShortcut(QKeySequence(Qt::Key_PageDown), this);
    connect(pageDown, &QShortcut::activated, this, [this] { showPage(page_ + 1); });
    auto *pageUp = new QShortcut(QKeySequence(Qt::Key_PageUp), this);
    connect(pageUp, &QShortcut::activated, this, [this] { showPage(page_ - 1); });

    updateControls();
}

void ReportWindow::setDocument(ReportDocument document)
{
    document_ = std::move(document);
    page_ = 0;
    view_->setDocument(&document_);
    applyZoom();
    updateControls();
}

void ReportWindow::clearDocument()
{
    setDocument(ReportDocument());
}

void ReportWindow::showPage(int page)
{
    if (document_.isEmpty())
        return;
    page = std::clamp(page, 0, document_.pageCount() - 1);
    if (page != page_) {
        page_ = page;
        view_->setPage(page_);
        scroll_->verticalScrollBar()->setValue(0);
    }
    updateControls();
}

void ReportWindow::setZoom(Fit fit, int percent)
{
    fit_ = fit;
    percent_ = std::clamp(percent, 10, 800);
    applyZoom();
}

void ReportWindow::applyZoom()
{
    const QSizeF page = document_.isEmpty() ? QSizeF(1, 1) : document_.pageSize();
    const QSize room = scroll_->viewport()->size() - QSize(2 * kBorder + 4, 2 * kBorder + 4);
    double scale = 0;
    switch (fit_) {
    case Fit::Width:
        scale = room.width() / page.width();
        break;
    case Fit::Page:
        scale = std::min(room.width() / page.width(), room.height() / page.height());
        break;
    case Fit::Percent:
        // 100% is the page at its real size on this screen.
        scale = percent_ / 100.0 * logicalDpiX() / ReportDocument::kUnitsPerInch;
        break;
    }
    view_->setScale(std::max(scale, 0.01));
    const int choice = fit_ == Fit::Width ? -1 : fit_ == Fit::Page ? -2 : percent_;
    const int index = zoom_->findData(choice);
    if (index >= 0)
        zoom_->setCurrentIndex(index);
}

void ReportWindow::updateControls()
{
    const int pages = document_.pageCount();
    const bool any = pages > 0;
    {
        const QSignalBlocker blocker(pageNumber_);
        pageNumber_->setRange(any ? 1 : 0, std::max(pages, 0));
        pageNumber_->setValue(any ? page_ + 1 : 0);
    }
    pageTotal_->setText(QStringLiteral("dari %1").arg(pages));
    view_->setPage(page_);
    first_->setEnabled(any && page_ > 0);
    previous_->setEnabled(any && page_ > 0);
    next_->setEnabled(any && page_ < pages - 1);
    last_->setEnabled(any && page_ < pages - 1);
    pageNumber_->setEnabled(any);
    print_->setEnabled(any);
    savePdf_->setEnabled(any);
    saveExcel_->setEnabled(any);
}

bool ReportWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == scroll_->viewport() && event->type() == QEvent::Resize && fit_ != Fit::Percent)
        applyZoom();
    return QWidget::eventFilter(watched, event);
}

} // namespace reports
