#include "blockscreen.h"

#include "data/engine/connectiontext.h"
#include "data/engine/pool.h"
#include "data/operators/supervision.h"
#include "savings/posting.h"
#include "shell/keys.h"
#include "shell/messages.h"

BlockScreen::BlockScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    setFixedSize(size());
    // No reason is chosen at first: a block needs one.
    ui.cboALASAN->addItems(supervision::blockReasons());
    ui.cboALASAN->setCurrentIndex(-1);
    ui.optDEBET->setChecked(true);
    onEnter(ui.txtREKENING, [this] {
        if (lookUp())
            ui.cboALASAN->setFocus();
    });
    connect(ui.cmdBLOKIR, &QPushButton::clicked, this, &BlockScreen::block);
    connect(ui.cmdBUKA, &QPushButton::clicked, this, &BlockScreen::lift);
    connect(ui.cmdBatal, &QPushButton::clicked, this, &QWidget::close);
    ui.txtREKENING->setFocus();
}

void BlockScreen::refuse(const QString &text, QWidget *focus)
{
    msg::perhatian(this, text);
    focus->setFocus();
}

// Shows the name and the block of the account typed; false (told) when it has none.
bool BlockScreen::lookUp()
{
    ui.txtNAMA->clear();
    ui.txtSTATUS->clear();
    const QString account = ui.txtREKENING->text();
    if (account.isEmpty()) {
        refuse(QString::fromLatin1(supervision::text::kBlockAccountUnknown), ui.txtREKENING);
        return false;
    }
    QString error, name;
    supervision::BlockState state;
    db::Connection connection;
    if (!connection.open(db::connectionText(), &error)) {
        refuse(error, ui.txtREKENING);
        return false;
    }
    Outcome outcome;
    {
        QSqlDatabase database = connection.database();
        outcome = posting::registeredName(database, account, &name);
        if (outcome.isOk())
            outcome = supervision::currentBlock(database, account, &state);
    }
    connection.close();
    if (!outcome.isOk()) {
        refuse(outcome.isRefused() ? QString::fromLatin1(supervision::text::kBlockAccountUnknown) : outcome.message(),
               ui.txtREKENING);
        return false;
    }
    ui.txtNAMA->setText(name);
    switch (state.block) {
    case supervision::Block::None:
        ui.txtSTATUS->setText(QStringLiteral("Tidak diblokir"));
        break;
    case supervision::Block::Withdrawals:
        ui.txtSTATUS->setText(QStringLiteral("Penarikan diblokir: %1").arg(state.reason));
        break;
    case supervision::Block::Everything:
        ui.txtSTATUS->setText(QStringLiteral("Semua transaksi diblokir: %1").arg(state.reason));
        break;
    }
    return true;
}

void BlockScreen::block()
{
    if (!lookUp())
        return;
    const QString reason = ui.cboALASAN->currentText();
    if (!supervision::blockReasons().contains(reason))
        return refuse(QString::fromLatin1(supervision::text::kBlockReasonMissing), ui.cboALASAN);
    const supervision::Block kind =
        ui.optSEMUA->isChecked() ? supervision::Block::Everything : supervision::Block::Withdrawals;
    const Outcome stored =
        supervision::setBlock(db::connectionText(), ui.txtREKENING->text(), kind, reason, ui.txtKETERANGAN->text());
    if (!stored.isOk())
        return refuse(stored.message(), ui.cmdBLOKIR);
    lookUp();
    msg::show(this, QStringLiteral("Rekening diblokir."), QString::fromLatin1(msg::kAppTitle), msg::Icon::Information);
    ui.txtREKENING->setFocus();
}

void BlockScreen::lift()
{
    if (!lookUp())
        return;
    const Outcome stored = supervision::setBlock(db::connectionText(), ui.txtREKENING->text(), supervision::Block::None,
                                                 ui.cboALASAN->currentText(), ui.txtKETERANGAN->text());
    if (!stored.isOk())
        return refuse(stored.message(), ui.cmdBUKA);
    lookUp();
    msg::show(this, QStringLiteral("Blokir rekening dibuka."), QString::fromLatin1(msg::kAppTitle),
              msg::Icon::Information);
    ui.txtREKENING->setFocus();
}
