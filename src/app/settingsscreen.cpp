#include "settingsscreen.h"

#include "data/engine/connectiontext.h"
#include "app/passbooksettings.h"
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
    qint64 threshold = 0, rate = 0;
    Outcome tax = supervision::numberSetting(db::connectionText(), supervision::kTaxThreshold,
                                             supervision::kDefaultTaxThreshold.sen(), &threshold);
    if (tax.isOk())
        tax = supervision::numberSetting(db::connectionText(), supervision::kTaxRate, supervision::kDefaultTaxRate,
                                         &rate);
    if (tax.isOk()) {
        ui.txtPAJAKBATAS->setText(Money::fromSen(threshold).toText());
        ui.txtPAJAKTARIF->setText(Money::fromSen(rate).toText());
    } else if (read.isOk()) {
        msg::perhatian(this, tax.message());
    }
    onEnter(ui.txtBATAS, [this] { ui.txtPAJAKBATAS->setFocus(); });
    onEnter(ui.txtPAJAKBATAS, [this] { ui.txtPAJAKTARIF->setFocus(); });
    onEnter(ui.txtPAJAKTARIF, [this] { save(); });
    page_ = new PassbookSettings(ui.tblBUKU, ui.cmdCONTOH, this);
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
    const std::optional<Money> threshold = Money::parse(ui.txtPAJAKBATAS->text());
    if (!threshold || threshold->sen() < 0) {
        msg::perhatian(this, QStringLiteral("Batas pajak harus berupa jumlah uang, misalnya 7.500.000"));
        ui.txtPAJAKBATAS->setFocus();
        return;
    }
    // A percent with up to two decimals reads as an amount does: hundredths.
    const std::optional<Money> rate = Money::parse(ui.txtPAJAKTARIF->text());
    if (!rate || rate->sen() < 0 || rate->sen() > 10000) {
        msg::perhatian(this, QStringLiteral("Tarif pajak harus persen dari 0 sampai 100, misalnya 20"));
        ui.txtPAJAKTARIF->setFocus();
        return;
    }
    // Each setting that changed is stored with its own trail row.
    struct Change {
        const char *key;
        qint64 value, before;
        QLineEdit *field;
    };
    qint64 limitBefore = -1, thresholdBefore = -1, rateBefore = -1;
    {
        // The limit is stored each time, as it always was; the tax settings when changed.
        supervision::numberSetting(db::connectionText(), supervision::kTaxThreshold,
                                   supervision::kDefaultTaxThreshold.sen(), &thresholdBefore);
        supervision::numberSetting(db::connectionText(), supervision::kTaxRate, supervision::kDefaultTaxRate,
                                   &rateBefore);
    }
    for (const Change &change : {Change{supervision::kWithdrawalLimit, limit->sen(), limitBefore, ui.txtBATAS},
                                 Change{supervision::kTaxThreshold, threshold->sen(), thresholdBefore, ui.txtPAJAKBATAS},
                                 Change{supervision::kTaxRate, rate->sen(), rateBefore, ui.txtPAJAKTARIF}}) {
        if (change.value == change.before)
            continue;
        const Outcome stored = supervision::setNumberSetting(db::connectionText(), change.key, change.value);
        if (!stored.isOk()) {
            msg::perhatian(this, stored.message());
            change.field->setFocus();
            return;
        }
    }
    if (!page_->save())
        return;
    ui.txtBATAS->setText(limit->toText());
    msg::show(this, QStringLiteral("Pengaturan tersimpan."), QString::fromLatin1(msg::kAppTitle),
              msg::Icon::Information);
    close();
}
