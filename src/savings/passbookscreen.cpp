#include "savings/passbookscreen.h"

#include "data/base/textforms.h"
#include "data/engine/connectiontext.h"
#include "savings/passbookpage.h"
#include "shell/approvalscreen.h"
#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/screens.h"

#include <QHeaderView>
#include <QPrintDialog>
#include <QPrinter>
#include <QStandardItemModel>

PassbookScreen::PassbookScreen(QWidget *parent)
    : QWidget(parent)
    , rows_(new QStandardItemModel(this))
{
    ui.setupUi(this);
    setFixedSize(size());
    rows_->setHorizontalHeaderLabels({QStringLiteral("Tanggal"), QStringLiteral("Kode"), QStringLiteral("Debet"),
                                      QStringLiteral("Kredit"), QStringLiteral("Saldo"), QStringLiteral("Dicetak")});
    ui.DataGrid1->setModel(rows_);
    ui.DataGrid1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ui.DataGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    ui.DataGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.DataGrid1->horizontalHeader()->setStretchLastSection(true);

    onEnter(ui.txtREKENING, [this] {
        if (lookUp())
            ui.cmdCETAK->setFocus();
    });
    onEnter(ui.cmdCETAK, [this] { print(); });
    onEnter(ui.cmdBUKUBARU, [this] { newBook(); });
    onEnter(ui.cmdULANG, [this] { reprint(); });
    onEnter(ui.cmdATUR, [this] { setPosition(); });
    onEnter(ui.txtHALAMAN, [this] { ui.txtBARIS->setFocus(); });
    onEnter(ui.txtBARIS, [this] { ui.DataGrid1->setFocus(); });
    connect(ui.cmdULANG, &QPushButton::clicked, this, &PassbookScreen::reprint);
    connect(ui.cmdATUR, &QPushButton::clicked, this, &PassbookScreen::setPosition);
    onEnter(ui.cmdBatal, [this] { close(); });
    connect(ui.cmdCETAK, &QPushButton::clicked, this, &PassbookScreen::print);
    connect(ui.cmdBUKUBARU, &QPushButton::clicked, this, &PassbookScreen::newBook);
    connect(ui.cmdBatal, &QPushButton::clicked, this, &QWidget::close);
    ui.txtREKENING->setFocus();
}

PassbookScreen *PassbookScreen::showFor(const QString &account)
{
    PassbookScreen *screen = screens::show<PassbookScreen>();
    if (!account.isEmpty()) {
        screen->ui.txtREKENING->setText(account);
        if (screen->lookUp())
            screen->ui.cmdCETAK->setFocus();
    }
    return screen;
}

void PassbookScreen::refuse(const QString &text, QWidget *focus)
{
    msg::perhatian(this, text);
    focus->setFocus();
}

bool PassbookScreen::lookUp()
{
    const QString account = ui.txtREKENING->text().trimmed();
    shownAccount_.clear();
    for (QLineEdit *field : {ui.txtNAMA, ui.txtNOBUKU, ui.txtHALAMAN, ui.txtBARIS})
        field->clear();
    rows_->setRowCount(0);
    keys_.clear();
    passbook::Book book;
    QVector<QPair<qint64, passbook::Position>> printed;
    passbook::Layout layout;
    Outcome outcome = passbook::readBook(db::connectionText(), account, &book);
    if (outcome.isOk())
        outcome = passbook::printedPositions(db::connectionText(), account, &printed);
    if (outcome.isOk())
        outcome = passbook::readLayout(db::connectionText(), &layout);
    if (!outcome.isOk()) {
        refuse(outcome.message(), ui.txtREKENING);
        return false;
    }
    QHash<qint64, passbook::Position> where;
    for (const auto &[key, position] : std::as_const(printed))
        where.insert(key, position);
    const int done = book.printedCount();
    for (int index = 0; index < book.rows.size(); ++index) {
        const passbook::Row &row = book.rows.at(index);
        QString mark;
        if (where.contains(row.key))
            mark = QStringLiteral("buku %1 hal %2 baris %3")
                       .arg(where[row.key].book)
                       .arg(where[row.key].page)
                       .arg(where[row.key].line);
        else if (index < done)
            mark = QStringLiteral("sudah di buku");
        keys_ << row.key;
        rows_->appendRow({new QStandardItem(textform::shortDate(row.date)), new QStandardItem(row.code),
                          new QStandardItem(passbook::amountText(row.debet)),
                          new QStandardItem(passbook::amountText(row.kredit)),
                          new QStandardItem(passbook::amountText(row.saldo)), new QStandardItem(mark)});
    }
    // The first row not yet printed is current; the last one when all are printed.
    if (rows_->rowCount() > 0)
        ui.DataGrid1->selectRow(std::min(done, rows_->rowCount() - 1));
    const passbook::Position next = passbook::next(book.last, layout);
    ui.txtNAMA->setText(book.name);
    ui.txtNOBUKU->setText(QString::number(book.last.book));
    ui.txtHALAMAN->setText(QString::number(next.page));
    ui.txtBARIS->setText(QString::number(next.line));
    shownAccount_ = account;
    return true;
}

bool PassbookScreen::accountShown()
{
    if (!shownAccount_.isEmpty() && ui.txtREKENING->text().trimmed() == shownAccount_)
        return true;
    return lookUp();
}

bool PassbookScreen::output(passbook::Output *output)
{
    QString error;
    if (passbook::readOutput(output, &error))
        return true;
    if (!error.isEmpty()) {
        refuse(error, ui.cmdCETAK);
        return false;
    }
    // Asked once for this counter, then kept in the counter's own setting file.
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
        output->pdf = printer.outputFileName();
    else
        output->printer = printer.printerName();
    if (!passbook::writeOutput(*output, &error))
        msg::perhatian(this, error);
    return !output->isEmpty();
}

void PassbookScreen::print()
{
    if (!accountShown())
        return;
    passbook::Layout layout;
    Outcome outcome = passbook::readLayout(db::connectionText(), &layout);
    if (!outcome.isOk())
        return refuse(outcome.message(), ui.cmdCETAK);
    passbook::Output where;
    if (!output(&where))
        return;
    passbook::Sheets sheets(layout, where);
    const auto draw = [&sheets](const QVector<passbook::Line> &lines) { return sheets.draw(lines); };
    int printed = 0;
    bool turned = false;
    QString told;
    for (;;) {
        passbook::PageResult result;
        outcome = passbook::printPage(db::connectionText(), shownAccount_, layout, turned, draw, &result);
        if (!outcome.isOk())
            break;
        printed += result.printed;
        if (result.left == 0) {
            if (printed == 0)
                told = QString::fromLatin1(passbook::text::kNothingLeft);
            break;
        }
        if (result.bookFull) {
            told = QString::fromLatin1(passbook::text::kBookFull);
            break;
        }
        // Cancel stops here: the rows printed so far are remembered.
        if (msg::show(this, QString::fromLatin1(passbook::text::kPageFull), QStringLiteral("Informasi"),
                      msg::Icon::Information, QMessageBox::Ok | QMessageBox::Cancel)
            != QMessageBox::Ok)
            break;
        turned = true;
    }
    const Outcome finished = sheets.finish();
    lookUp();
    ui.cmdCETAK->setFocus();
    if (!outcome.isOk())
        return refuse(passbook::refusalOf(outcome.message()), ui.cmdCETAK);
    if (!finished.isOk())
        return refuse(finished.message(), ui.cmdCETAK);
    if (!told.isEmpty())
        msg::show(this, told, QStringLiteral("Informasi"), msg::Icon::Information);
}

void PassbookScreen::newBook()
{
    if (!accountShown())
        return;
    if (!msg::askYesNo(this, QString::fromLatin1(passbook::text::kNewBookQuestion), QStringLiteral("PERHATIAN")))
        return;
    passbook::Layout layout;
    Outcome outcome = passbook::readLayout(db::connectionText(), &layout);
    if (!outcome.isOk())
        return refuse(outcome.message(), ui.cmdBUKUBARU);
    passbook::Output where;
    if (!output(&where))
        return;
    passbook::Sheets sheets(layout, where);
    outcome = passbook::startBook(db::connectionText(), shownAccount_,
                                  [&sheets](const QVector<passbook::Line> &lines) { return sheets.draw(lines); });
    const Outcome finished = sheets.finish();
    lookUp();
    ui.cmdCETAK->setFocus();
    if (!outcome.isOk())
        return refuse(outcome.message(), ui.cmdBUKUBARU);
    if (!finished.isOk())
        return refuse(finished.message(), ui.cmdBUKUBARU);
}

std::optional<qint64> PassbookScreen::chosenKey() const
{
    const QModelIndex current = ui.DataGrid1->currentIndex();
    if (!current.isValid() || current.row() >= keys_.size())
        return std::nullopt;
    return keys_.at(current.row());
}

void PassbookScreen::reprint()
{
    if (!accountShown())
        return;
    const std::optional<qint64> key = chosenKey();
    if (!key)
        return refuse(QString::fromLatin1(passbook::text::kChooseRow), ui.DataGrid1);
    // Only rows printed in this book: told before the supervisor is asked.
    const QString mark = rows_->item(ui.DataGrid1->currentIndex().row(), 5)->text();
    if (!mark.startsWith(QStringLiteral("buku %1 ").arg(ui.txtNOBUKU->text())))
        return refuse(QString::fromLatin1(passbook::text::kNotPrinted), ui.DataGrid1);
    const QString account = shownAccount_;
    ApprovalScreen::ask(this, passbook::reprintRequest(account),
                        [this, account, key](const supervision::Approval &approval) {
                            printReprint(account, *key, approval);
                        });
}

void PassbookScreen::printReprint(const QString &account, qint64 fromKey, const supervision::Approval &approval)
{
    passbook::Layout layout;
    Outcome outcome = passbook::readLayout(db::connectionText(), &layout);
    if (!outcome.isOk())
        return refuse(outcome.message(), ui.cmdULANG);
    passbook::Output where;
    if (!output(&where))
        return;
    QVector<QVector<passbook::Line>> pages;
    outcome = passbook::recordReprint(db::connectionText(), account, fromKey, approval, &pages);
    if (!outcome.isOk())
        return refuse(outcome.message(), ui.DataGrid1);
    // Each row on the line where it was first printed; the page turned between pages.
    passbook::Sheets sheets(layout, where);
    for (int page = 0; page < pages.size() && outcome.isOk(); ++page) {
        if (page > 0
            && msg::show(this, QString::fromLatin1(passbook::text::kPageFull), QStringLiteral("Informasi"),
                         msg::Icon::Information, QMessageBox::Ok | QMessageBox::Cancel)
                   != QMessageBox::Ok)
            break;
        outcome = sheets.draw(pages.at(page));
    }
    const Outcome finished = sheets.finish();
    if (!outcome.isOk())
        return refuse(outcome.message(), ui.cmdULANG);
    if (!finished.isOk())
        return refuse(finished.message(), ui.cmdULANG);
    ui.cmdCETAK->setFocus();
}

void PassbookScreen::setPosition()
{
    if (shownAccount_.isEmpty() || ui.txtREKENING->text().trimmed() != shownAccount_) {
        lookUp();
        return;
    }
    bool pageRead = false, lineRead = false;
    const int page = ui.txtHALAMAN->text().trimmed().toInt(&pageRead);
    const int line = ui.txtBARIS->text().trimmed().toInt(&lineRead);
    passbook::Layout layout;
    Outcome outcome = passbook::readLayout(db::connectionText(), &layout);
    if (!outcome.isOk())
        return refuse(outcome.message(), ui.cmdATUR);
    // What was typed stays, to be corrected.
    if (!pageRead || !lineRead || page < 1 || page > layout.pages || line < 1 || line > layout.lines)
        return refuse(QString::fromLatin1(passbook::text::kPositionInvalid), ui.txtHALAMAN);
    const std::optional<qint64> key = chosenKey();
    if (!key)
        return refuse(QString::fromLatin1(passbook::text::kChooseRow), ui.DataGrid1);
    const QString account = shownAccount_;
    ApprovalScreen::ask(this, passbook::positionRequest(account),
                        [this, account, key, page, line, layout](const supervision::Approval &approval) {
                            const Outcome set = passbook::setPosition(db::connectionText(), account, *key, page,
                                                                      line, layout, approval);
                            if (!set.isOk())
                                return refuse(set.message(), ui.cmdATUR);
                            lookUp();
                            ui.cmdCETAK->setFocus();
                        });
}
