#pragma once

#include "ui_transactionscreen.h"

#include "data/operators/supervision.h"
#include "savings/posting.h"

#include <QWidget>
#include <memory>
#include <optional>

class QKeyEvent;
class RecordSource;

// The transaction screen frmPENARIKAN: the operator looks an account up, picks
// the transaction code, types the amount and posts one deposit or withdrawal
// after another. "SAVE" is the only writer of the savings ledger.
class TransactionScreen : public QWidget
{
    Q_OBJECT
public:
    explicit TransactionScreen(QWidget *parent = nullptr);

    RecordSource *customers() const { return Adodc1; }
    RecordSource *ledger() const { return Adodc2; }

protected:
    void mousePressEvent(QMouseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void lookUpAccount();
    // The kind of the item chosen; the focus moves on to its amount field unless
    // the item was only stepped to with an arrow.
    void chooseCode(int index, bool movesOn = true);
    bool codeKey(QKeyEvent *key);
    // Clears the account shown before from the screen; false (see the ledger's
    // lastError()) when its grid could not be narrowed to the number typed.
    bool forgetShownAccount();
    // Enter in the code list: a typed code that names an item chooses it.
    void enterCode();
    // Enter in an amount field: the new balance previewed, or the amount refused.
    void enterAmount(posting::Code code);
    void save();

    // "SAVE", in its steps (transactionsave.cpp). The posting as typed, checked as
    // far as the screen can before the write: nothing after a refusal, told.
    struct Typed {
        QString account;
        QString name;
        posting::Code code;
        Money amount;
        QLineEdit *amountField;
    };
    std::optional<Typed> readTyped();
    // When the new balance shown was previewed for another amount: the right one
    // shown and the clerk asked; false when he declines.
    bool confirmChangedAmount(const Typed &typed);
    // A withdrawal over the limit: a supervisor is asked, and "SAVE" goes on once he
    // approved. True when "SAVE" stops here (asked, or the limit not read, told).
    bool waitsForApproval(const Typed &typed, const supervision::Request &request, const QString &typing);
    // The one write of the posting; false (told) when nothing was stored.
    bool store(const Typed &typed, const std::shared_ptr<posting::ShownBalance> &shown,
               const supervision::Request &request, const std::optional<supervision::Approval> &approval);
    // The screen after a posting stored: empty, for the next one.
    void clearAfterSave();

    // The code chosen from the list; nothing when none is, or when the text of the
    // list was changed by typing.
    std::optional<posting::Code> chosenCode() const;
    // The ledger lookup for the typed account: whether it has rows; nothing after
    // a database failure, which has then been shown.
    std::optional<bool> runLedgerLookup();
    // Looks the typed account up in the register: the customer's name; nothing
    // after a message (the refusal given, or a failed read). A lookup that
    // forgets what was shown clears the earlier account from the screen first
    // when the number is not registered.
    std::optional<QString> lookUpCustomer(const QString &notFound, bool forgetsShown = false);
    // Looks the typed account up for an amount field: its name into TXTnama and
    // the ledger lookup; false (with a message shown) when that fails.
    bool prepareAmount();
    // Whether the account's block lets this posting through; told (and the focus
    // put on `focus`) when it does not, or when the block could not be read.
    bool blockAllows(posting::Code code, QWidget *focus);
    // When the balance at "SAVE" was not the one shown: shows the account's figures
    // as they stand now, as Enter does, and asks whether to store the posting with
    // them. False (the figures shown, waiting) when the clerk declines or cannot.
    bool confirmChangedBalance(posting::Code code, Money amount, QLineEdit *amountField);
    void showNewBalance(const QString &text);
    void showNewBalancePlace();
    void refuse(const QString &text, QWidget *focus);
    void refuseAmount(const posting::AmountRefusal &refusal, QLineEdit *field);

    Ui::frmPENARIKAN ui;
    // The account of the last posting stored here.
    QString lastSaved_;
    RecordSource *Adodc1;
    RecordSource *Adodc2;
    // The previous balance of the account last looked up.
    QString saldoLama;
    Money previousBalance_;
    // The account whose previous balance the last lookup (or Enter) showed, until
    // the next "SAVE" stores a posting; nothing when none is shown.
    std::optional<QString> shownAccount_;
    // The account last found in the register, and its name, until the account
    // field changes: "SAVE" after the preview needs no second lookup (the write
    // checks the register again itself).
    QString foundAccount_;
    QString foundName_;
    // The token of the posting as typed (account, code, amount), kept until it is
    // stored or the typing changes: "SAVE" tried again after a lost connection
    // sends the same one, and the write never stores it twice.
    QString token_;
    QString tokenFor_;
    // The supervisor's approval of the posting as typed (approvedFor_), until it is stored.
    std::optional<supervision::Approval> approval_;
    QString approvedFor_;
    bool codeTyped_ = false;    // text typed into the code list since the last choice from it
    bool choosingCode_ = false; // the operator is choosing from the code list with mouse or keys
};
