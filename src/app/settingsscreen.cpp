#include "settingsscreen.h"

#include "data/engine/connectiontext.h"
#include "data/operators/supervision.h"
#include "shell/keys.h"
#include "shell/messages.h"

SettingsScreen::SettingsScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    setFixedSize(size());
    Money limit;
    const Outcome read = supervision::withdrawalLimit(db::connectionText(), &limit);
    if (read.isOk())
        ui.txtBATAS->setText(limit.toText());
    else
        msg::perhatian(this, read.message());
    onEnter(ui.txtBATAS, [this] { save(); });
    connect(ui.cmdSIMPAN, &QPushButton::clicked, this, &SettingsScreen::save);
    connect(ui.cmdBatal, &QPushButton::clicked, this, &QWidget::close);
    ui.txtBATAS->setFocus();
}

void SettingsScreen::save()
{
    const std::optional<Money> limit = Money::parse(ui.txtBATAS->text());
    if (!limit || limit->sen() < 0) {
        // What was typed stays, to be corrected.
        msg::perhatian(this, QStringLiteral("Batas penarikan harus berupa jumlah uang, misalnya 1.000.000"));
        ui.txtBATAS->setFocus();
        return;
    }
    const Outcome stored = supervision::setWithdrawalLimit(db::connectionText(), *limit);
    if (!stored.isOk()) {
        msg::perhatian(this, stored.message());
        ui.txtBATAS->setFocus();
        return;
    }
    ui.txtBATAS->setText(limit->toText());
    msg::show(this, QStringLiteral("Pengaturan tersimpan."), QString::fromLatin1(msg::kAppTitle),
              msg::Icon::Information);
    close();
}
