#include "transactionscreen.h"

#include "shell/bank.h"
#include "shell/keys.h"
#include "shell/looks.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "shell/screens.h"
#include "shell/gridbinding.h"
#include "data/engine/connectiontext.h"
#include "data/records/recordsource.h"
#include "data/operators/supervision.h"
#include "data/base/textforms.h"
#include "data/base/wallclock.h"
#include "savings/ledgerlookup.h"
#include "savings/ledgerview.h"
#include "savings/passbookscreen.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>

using posting::Code;

TransactionScreen::TransactionScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    bank::showAddress(ui.Label9);
    ui.txtSAL->raise();

    Adodc1 = openRecordSource(this, QStringLiteral("Adodc1"), QStringLiteral("daftar"));
    Adodc2 = openRecordSource(this, QStringLiteral("Adodc2"), QStringLiteral("nabubg"), Adodc1->isOpen());
    bindGrid(ui.DataGrid1, Adodc2);

    // The transaction date is today's and cannot be changed. It is today's whenever
    // the clerk comes back to the screen; "SAVE" dates the posting by the clock as it
    // stores it, a screen left open overnight included.
    looks::indonesianDates(ui.DTPicker1);
    ui.DTPicker1->setDate(wallclock::today());
    ui.DTPicker1->setEnabled(false);
    screens::onActivation(this, [this] { ui.DTPicker1->setDate(wallclock::today()); });
    // The balances are read-only, and as readable as any other text.
    looks::fullContrast(ui.txtSAL);
    looks::fullContrast(ui.txtSALDO);
    ui.cbo_TRANSAKSI->setCurrentIndex(-1);
    ui.cbo_TRANSAKSI->setEditText(QString());

    onEnter(ui.txtREKENING, [this] { lookUpAccount(); });
    connect(ui.txtREKENING, &QLineEdit::textChanged, this, [this] { foundAccount_ = QString(); });
    onEnter(ui.txtKREDIT, [this] { enterAmount(Code::Deposit); });
    onEnter(ui.txtDEBET, [this] { enterAmount(Code::Withdrawal); });
    // A code is chosen from the list, or typed ("01", "02") and confirmed with Enter,
    // which chooses that item exactly as the list does. Other typed text selects
    // nothing, so the list neither completes it nor takes it as an item, and typing
    // undoes a choice. Qt's list also takes typed text that equals an item as chosen
    // when it loses the focus; that is told apart by the mouse or keys that really
    // choose from it.
    ui.cbo_TRANSAKSI->setCompleter(nullptr);
    ui.cbo_TRANSAKSI->setInsertPolicy(QComboBox::NoInsert);
    // Keys reach the list itself, which holds the focus for its text part: Enter
    // and the arrows are the list's (eventFilter()).
    connect(ui.cbo_TRANSAKSI->lineEdit(), &QLineEdit::textEdited, this, [this] {
        codeTyped_ = true;
        choosingCode_ = false;
    });
    ui.cbo_TRANSAKSI->installEventFilter(this);
    ui.cbo_TRANSAKSI->view()->installEventFilter(this);
    ui.cbo_TRANSAKSI->view()->viewport()->installEventFilter(this);
    connect(ui.cbo_TRANSAKSI, &QComboBox::activated, this, [this](int index) { chooseCode(index); });
    connect(ui.cmdSIMPAN, &QPushButton::clicked, this, &TransactionScreen::save);
    connect(ui.Command1, &QPushButton::clicked, this, [this] {
        close();
        screens::showHome();
    });
    connect(ui.cmdSALDO, &QPushButton::clicked, this, [] { screens::show<LedgerView>(); });
    connect(ui.cmdBUKU, &QPushButton::clicked, this, [this] {
        PassbookScreen::showFor(lastSaved_.isEmpty() ? ui.txtREKENING->text() : lastSaved_);
    });
    ui.txtREKENING->setFocus();
}

void TransactionScreen::mousePressEvent(QMouseEvent *event)
{
    // A click on the background, outside any control, shows the transaction date as caption.
    if (!childAt(event->position().toPoint()))
        setWindowTitle(textform::shortDate(ui.DTPicker1->date()));
    QWidget::mousePressEvent(event);
}

void TransactionScreen::refuse(const QString &text, QWidget *focus)
{
    msg::perhatian(this, text);
    if (focus)
        focus->setFocus();
}

std::optional<bool> TransactionScreen::runLedgerLookup()
{
    const QString account = ui.txtREKENING->text();
    const savings::LedgerLookup found = savings::lookUpLedger(Adodc2, account);
    if (!found.ok) {
        // No balance is shown from a ledger that could not be read.
        shownAccount_.reset();
        msg::perhatian(this, found.error);
        return std::nullopt;
    }
    saldoLama = found.balanceText;
    previousBalance_ = found.balance;
    shownAccount_ = account;
    return found.hasRows;
}

std::optional<QString> TransactionScreen::lookUpCustomer(const QString &notFound, bool forgetsShown)
{
    const savings::CustomerLookup customer = savings::findCustomer(Adodc1, ui.txtREKENING->text());
    if (!customer.ok) {
        msg::perhatian(this, Adodc1->lastError());
        return std::nullopt;
    }
    if (!customer.found) {
        const bool forgotten = !forgetsShown || forgetShownAccount();
        refuse(notFound, ui.txtREKENING);
        if (!forgotten)
            msg::perhatian(this, Adodc2->lastError());
        return std::nullopt;
    }
    foundAccount_ = ui.txtREKENING->text();
    foundName_ = customer.name;
    return customer.name;
}

// A number not in the register shows nothing of the account looked up before it:
// no name, no balance, and in the grid only the rows of the number typed.
bool TransactionScreen::forgetShownAccount()
{
    ui.TXTnama->clear();
    ui.txtSAL->clear();
    ui.txtSALDO->clear();
    ui.txtSAL->setVisible(true);
    saldoLama.clear();
    previousBalance_ = Money();
    shownAccount_.reset();
    return Adodc2->setFilter(savings::accountCriteria(ui.txtREKENING->text()), RecordSource::Reading::Current);
}

void TransactionScreen::lookUpAccount()
{
    const std::optional<QString> name = lookUpCustomer(QString::fromLatin1(posting::text::kNotFound), true);
    if (!name)
        return;
    if (!runLedgerLookup())
        return;
    // A customer without ledger rows is shown as any other: a balance of 0 and no
    // rows, and on to the code for his first posting.
    ui.txtSAL->setText(saldoLama);
    ui.TXTnama->setText(*name);
    ui.TXTnama->setEnabled(false);
    ui.txtSAL->setVisible(true);
    ui.txtSAL->setEnabled(false);
    ui.cbo_TRANSAKSI->setFocus();
    // A blocked account is shown as any other, then the clerk hears of its block;
    // with every posting blocked there is nothing to choose a code for.
    supervision::BlockState block;
    const Outcome read = supervision::currentBlock(db::connectionText(), ui.txtREKENING->text(), &block);
    if (!read.isOk())
        return refuse(read.message(), ui.txtREKENING);
    if (block.block != supervision::Block::None)
        refuse(supervision::blockedText(block),
               block.block == supervision::Block::Everything ? static_cast<QWidget *>(ui.txtREKENING)
                                                             : ui.cbo_TRANSAKSI);
}

bool TransactionScreen::blockAllows(Code code, QWidget *focus)
{
    supervision::BlockState block;
    const Outcome read = supervision::currentBlock(db::connectionText(), ui.txtREKENING->text(), &block);
    if (!read.isOk()) {
        refuse(read.message(), focus);
        return false;
    }
    if (!supervision::forbids(block.block, code == Code::Withdrawal))
        return true;
    refuse(supervision::blockedText(block), focus);
    return false;
}

bool TransactionScreen::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui.cbo_TRANSAKSI && event->type() == QEvent::KeyPress
        && codeKey(static_cast<QKeyEvent *>(event)))
        return true;
    // The mouse and keys with which the operator chooses from the code list.
    switch (event->type()) {
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
        choosingCode_ = true;
        break;
    case QEvent::KeyPress:
        switch (static_cast<QKeyEvent *>(event)->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_Home:
        case Qt::Key_End:
            choosingCode_ = true;
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            choosingCode_ = watched != ui.cbo_TRANSAKSI;
            break;
        default:
            break;
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TransactionScreen::chooseCode(int index, bool movesOn)
{
    if (codeTyped_ && !choosingCode_)
        return; // typed text that equals an item is no choice from the list
    codeTyped_ = false;
    choosingCode_ = false;
    if (index == 0) {
        ui.txtJENIS->setText(posting::kind(Code::Deposit));
        // A deposit has no withdrawal amount; the field cannot be edited while disabled.
        ui.txtDEBET->clear();
        ui.txtDEBET->setEnabled(false);
    } else {
        ui.txtJENIS->setText(posting::kind(Code::Withdrawal));
        ui.txtDEBET->setEnabled(true);
    }
    // An arrow only steps through the list: the focus stays there until Enter.
    if (movesOn)
        (index == 0 ? ui.txtKREDIT : ui.txtDEBET)->setFocus();
}

// The arrows step through the closed list, each item chosen as it is reached, and
// leave the focus in the list; Enter confirms the item shown (or a code typed).
bool TransactionScreen::codeKey(QKeyEvent *key)
{
    const bool alt = key->modifiers() & Qt::AltModifier;
    switch (key->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        enterCode();
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
        if (alt || ui.cbo_TRANSAKSI->view()->isVisible())
            return false;
        const bool down = key->key() == Qt::Key_Down || key->key() == Qt::Key_PageDown;
        const int at = ui.cbo_TRANSAKSI->currentIndex();
        const int last = ui.cbo_TRANSAKSI->count() - 1;
        const int index = at < 0 ? (down ? 0 : last) : std::clamp(at + (down ? 1 : -1), 0, last);
        ui.cbo_TRANSAKSI->setCurrentIndex(index);
        choosingCode_ = true;
        chooseCode(index, false);
        return true;
    }
    default:
        return false;
    }
}

void TransactionScreen::enterCode()
{
    const int index = ui.cbo_TRANSAKSI->findText(ui.cbo_TRANSAKSI->currentText(), Qt::MatchExactly);
    if (index < 0 || index > 1)
        return refuse(QString::fromLatin1(posting::text::kCodeMissing), ui.cbo_TRANSAKSI);
    ui.cbo_TRANSAKSI->setCurrentIndex(index);
    choosingCode_ = true;
    chooseCode(index);
}

std::optional<Code> TransactionScreen::chosenCode() const
{
    const int index = ui.cbo_TRANSAKSI->currentIndex();
    if (codeTyped_ || index < 0 || index > 1 || ui.cbo_TRANSAKSI->currentText() != ui.cbo_TRANSAKSI->itemText(index))
        return std::nullopt;
    return index == 0 ? Code::Deposit : Code::Withdrawal;
}

bool TransactionScreen::prepareAmount()
{
    // The name shown is always the register's name of the account typed.
    const std::optional<QString> name = lookUpCustomer(QString::fromLatin1(posting::text::kNotFound), true);
    if (!name)
        return false;
    ui.TXTnama->setText(*name);
    return runLedgerLookup().has_value();
}

void TransactionScreen::showNewBalancePlace()
{
    ui.txtSAL->setVisible(false);
    ui.txtSALDO->setVisible(true);
    ui.txtSALDO->setEnabled(false);
}

void TransactionScreen::showNewBalance(const QString &text)
{
    ui.txtSALDO->setText(text);
    showNewBalancePlace();
    ui.cmdSIMPAN->setFocus();
}

void TransactionScreen::refuseAmount(const posting::AmountRefusal &refusal, QLineEdit *field)
{
    msg::perhatian(this, refusal.text);
    if (refusal.emptiesField) {
        field->clear();
        showNewBalancePlace();
    }
    field->setFocus();
}

void TransactionScreen::enterAmount(Code code)
{
    if (!prepareAmount())
        return;
    QLineEdit *field = code == Code::Deposit ? ui.txtKREDIT : ui.txtDEBET;
    if (!blockAllows(code, field))
        return;
    Money amount;
    const posting::AmountProblem problem = posting::readAmount(field->text(), code, &amount);
    if (problem != posting::AmountProblem::None)
        return refuseAmount(posting::amountRefusal(problem, code), field);
    // The preview; "SAVE" computes the balance again from the ledger as it then stands.
    const std::optional<Money> balance = posting::newBalance(previousBalance_, code, amount);
    if (!balance)
        return refuseAmount(posting::balanceProblem(code), field);
    if (code == Code::Withdrawal && balance->sen() == 0)
        msg::perhatian(this, QString::fromLatin1(posting::text::kZeroBalance));
    showNewBalance(balance->toText());
}
