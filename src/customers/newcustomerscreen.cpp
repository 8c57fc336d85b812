#include "newcustomerscreen.h"

#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "shell/screens.h"
#include "customers/accountnumbers.h"
#include "customers/registerscreen.h"
#include "data/base/criteria.h"
#include "shell/gridbinding.h"
#include "data/records/recordsource.h"

NewCustomerScreen::NewCustomerScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    Adodc1 = openRecordSource(this, QStringLiteral("Adodc1"), QStringLiteral("daftar"));
    bindGrid(ui.DataGrid1, Adodc1);

    onEnter(ui.txtREKENING, [this] { checkNumber(); });
    const QList<QLineEdit *> all = fields();
    for (int i = 1; i + 1 < all.size(); ++i) {
        QLineEdit *nextField = all.at(i + 1);
        onEnter(all.at(i), [nextField] { nextField->setFocus(); });
    }
    onEnter(ui.txtTELPHON, [] {});

    connect(ui.cmdSAVE, &QPushButton::clicked, this, &NewCustomerScreen::save);
    connect(ui.cmdCANCEL, &QPushButton::clicked, this, &NewCustomerScreen::cancel);
    screens::onActivation(this, [this] { ui.txtREKENING->setFocus(); });
}

QList<QLineEdit *> NewCustomerScreen::fields() const
{
    return {ui.txtREKENING, ui.txtNAMA, ui.txtTEMPAT, ui.txtLAHIR,
            ui.txtALAMAT,   ui.txtKOTA, ui.txtKODE,   ui.txtTELPHON};
}

RecordSource *NewCustomerScreen::registerRecords() const
{
    // Reaching the register record source loads the register screen, unseen, when it is not open.
    return screens::load<RegisterScreen>()->records();
}

QString NewCustomerScreen::education() const
{
    // "MAHASISWA" is what is left when none of the other three is chosen.
    if (ui.OPTSD->isChecked())
        return QStringLiteral("SD");
    if (ui.OPTSMP->isChecked())
        return QStringLiteral("SMP");
    if (ui.OPTSMU->isChecked())
        return QStringLiteral("SMU");
    return QStringLiteral("MAHASISWA");
}

void NewCustomerScreen::checkNumber()
{
    RecordSource *records = registerRecords();
    records->moveFirst();
    if (!records->find(criteria::build(QStringLiteral("NOREKENING"), ui.txtREKENING->text()))
        && !records->lastError().isEmpty()) {
        msg::perhatian(this, records->lastError());
        return;
    }
    if (!records->isEOF()) {
        // The register stays on the customer who holds the number.
        msg::perhatian(this, QString::fromUtf8(customers::kNumberInUse));
        ui.txtREKENING->setFocus();
        return;
    }
    ui.txtNAMA->setFocus();
}

void NewCustomerScreen::save()
{
    const QVector<QVariant> row = {ui.txtREKENING->text(), ui.txtNAMA->text(),   ui.txtTEMPAT->text(),
                                   ui.txtLAHIR->text(),    ui.txtALAMAT->text(), ui.txtKOTA->text(),
                                   ui.txtKODE->text(),     education(),          ui.txtTELPHON->text()};
    RecordSource *records = registerRecords();
    // The number is checked again at the moment of writing, whether or not it was confirmed with Enter.
    const customers::Written written = customers::writeRegisterRow(
        this, std::nullopt, [&](const RecordSource::WriteCheck &check) { return records->addNew(row, check); });
    if (written != customers::Written::Stored) {
        // Nothing is stored and everything typed stays for a correction.
        if (written == customers::Written::Failed)
            reportWriteFailure(this, records, ui.txtREKENING);
        else
            ui.txtREKENING->setFocus();
        return;
    }
    // The education choice stays for the next customer.
    for (QLineEdit *field : fields())
        field->clear();
    ui.txtREKENING->setFocus();
}

void NewCustomerScreen::cancel()
{
    close();
    screens::show<RegisterScreen>();
}
