#pragma once

#include "ui_passbookscreen.h"

#include "savings/passbookpage.h"

#include <QWidget>

class QStandardItemModel;

// Printing the passbook, frmBUKU. Enter on the account number shows the
// customer's name, the book's number, where its next row goes and the account's
// rows (those printed already marked with their page and line); "Cetak" prints
// the rows not yet printed on their lines, asking the clerk to turn the page
// when it is full; "Buku Baru" starts the next book with the carried balance.
class PassbookScreen : public QWidget
{
    Q_OBJECT
public:
    explicit PassbookScreen(QWidget *parent = nullptr);

    // Opens the screen with this account looked up (the transaction screen's last one).
    static PassbookScreen *showFor(const QString &account);

private:
    bool lookUp();
    // The account typed is the one shown, looked up again when it is not.
    bool accountShown();
    void print();
    void newBook();
    // Reprints from the row chosen, after a supervisor's approval.
    void reprint();
    void printReprint(const QString &account, qint64 fromKey, const supervision::Approval &approval);
    // Sets where the next row goes (the page and line typed, the row chosen the last one in the book).
    void setPosition();
    std::optional<qint64> chosenKey() const;
    // Where the prints go; asked once with the print dialog when the counter has no setting.
    bool output(passbook::Output *output);
    void refuse(const QString &text, QWidget *focus);

    Ui::frmBUKU ui;
    QStandardItemModel *rows_;
    QString shownAccount_;
    // The ledger key of each row in the grid.
    QVector<qint64> keys_;
};
