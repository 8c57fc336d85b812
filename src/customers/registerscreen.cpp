#include "registerscreen.h"

#include "data/engine/connectiontext.h"
#include "data/operators/supervision.h"

#include "shell/bank.h"
#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/recordsources.h"
#include "shell/screens.h"
#include "customers/accountnumbers.h"
#include "customers/newcustomerscreen.h"
#include "data/base/criteria.h"
#include "shell/gridbinding.h"
#include "data/records/recordsource.h"
#include "shell/fieldbinding.h"

#include <QGuiApplication>
#include <QPalette>

RegisterScreen::RegisterScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    bank::showAddress(ui.Label9);
    Adodc1 = openRecordSource(this, QStringLiteral("Adodc1"), QStringLiteral("daftar"));

    const QStringList columns = {QStringLiteral("norekening"), QStringLiteral("nama"),   QStringLiteral("tempat"),
                                 QStringLiteral("tgllahir"),   QStringLiteral("alamat"), QStringLiteral("kota"),
                                 QStringLiteral("kode"),       QStringLiteral("TELPHON")};
    const QList<QLineEdit *> bound = fields();
    fields_ = new BoundFields(Adodc1);
    for (int i = 0; i < bound.size(); ++i)
        fields_->bind(bound.at(i), columns.at(i));
    bindGrid(ui.DataGrid1, Adodc1);
    bindGrid(ui.DataGrid2, Adodc1);

    // Enter walks the fields; in the telephone field it goes on to "UPDATE".
    for (int i = 0; i + 1 < bound.size(); ++i) {
        QLineEdit *nextField = bound.at(i + 1);
        onEnter(bound.at(i), [nextField] { nextField->setFocus(); });
    }
    onEnter(ui.txtTELPHON, [this] { ui.cmdUPDATE->setFocus(); });

    connect(ui.cmdADD, &QPushButton::clicked, this, &RegisterScreen::startEditing);
    connect(ui.cmdEDIT, &QPushButton::clicked, this, [] { screens::show<NewCustomerScreen>(); });
    connect(ui.cmdUPDATE, &QPushButton::clicked, this, &RegisterScreen::storeCurrent);
    connect(ui.cmdFIRS, &QPushButton::clicked, this, [this] { Adodc1->moveFirst(); });
    connect(ui.cmdLAST, &QPushButton::clicked, this, [this] {
        if (!Adodc1->moveLast())
            msg::perhatian(this, Adodc1->lastError());
    });
    connect(ui.cmdNEXT, &QPushButton::clicked, this, &RegisterScreen::next);
    connect(ui.cmdPRIVIEW, &QPushButton::clicked, this, &RegisterScreen::previous);
    connect(ui.cmdHAPUS, &QPushButton::clicked, this, &RegisterScreen::deleteCurrent);
    connect(ui.cmdCLOSE, &QPushButton::clicked, this, &RegisterScreen::closeScreen);
    connect(ui.cmdKODE, &QPushButton::clicked, this, [this] {
        search(QStringLiteral("NOREKENING"), QStringLiteral("Ketikan NO REKENING "),
               QStringLiteral("Pencarian No Rekning"), QStringLiteral("No Rekening tidak ditemukan?"));
    });
    connect(ui.cmdNAMA, &QPushButton::clicked, this, [this] {
        search(QStringLiteral("NAMA"), QStringLiteral("Ketikan NAMA ANDA"), QStringLiteral("Pencarian Nama"),
               QStringLiteral("Nama Nasabah tidak ditemukan?"));
    });

    DisableFields();
    screens::onActivation(this, [this] { activate(); });
    // A blocked customer's account says so beside his data.
    connect(Adodc1, &RecordSource::currentChanged, this, &RegisterScreen::showBlock);
    showBlock();
}

void RegisterScreen::showBlock()
{
    QString shown;
    if (Adodc1->hasCurrent()) {
        supervision::BlockState state;
        const Outcome read =
            supervision::currentBlock(db::connectionText(), Adodc1->value(QStringLiteral("NOREKENING")).toString(), &state);
        if (read.isOk() && state.block != supervision::Block::None)
            shown = QStringLiteral("%1: %2").arg(state.block == supervision::Block::Withdrawals
                                                     ? QStringLiteral("PENARIKAN DIBLOKIR")
                                                     : QStringLiteral("SEMUA TRANSAKSI DIBLOKIR"),
                                                 state.reason);
    }
    ui.lblBLOKIR->setText(shown);
}

QList<QLineEdit *> RegisterScreen::fields() const
{
    return {ui.txtREKENING, ui.txtNAMA, ui.txtTEMPAT, ui.txtLAHIR,
            ui.txtALAMAT,   ui.txtKOTA, ui.txtKODE,   ui.txtTELPHON};
}

// Both states give the fields the desktop's colour for highlighted text as background.
static void paintField(QLineEdit *field)
{
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, QGuiApplication::palette().color(QPalette::Active, QPalette::HighlightedText));
    field->setPalette(palette);
}

void RegisterScreen::EnableFields()
{
    const QList<QLineEdit *> all = fields();
    for (QLineEdit *field : all)
        field->setEnabled(true);
    for (QLineEdit *field : all)
        paintField(field);
    ui.txtREKENING->setFocus();
}

void RegisterScreen::DisableFields()
{
    const QList<QLineEdit *> all = fields();
    for (QLineEdit *field : all)
        field->setEnabled(false);
    for (QLineEdit *field : all)
        paintField(field);
}

void RegisterScreen::activate()
{
    const int count = Adodc1->recordCount();
    if (count < 0)
        msg::perhatian(this, Adodc1->lastError());
    else
        ui.txtJUMLAH->setText(QString::number(count));
    DisableFields();
}

void RegisterScreen::startEditing()
{
    ui.cmdADD->setEnabled(false);
    EnableFields();
}

void RegisterScreen::storeCurrent()
{
    if (fields_->hasPendingChanges()) {
        if (!Adodc1->hasCurrent()) {
            // Typed text stays; there is no customer to store it in.
            msg::perhatian(this, QStringLiteral("Tidak ada data nasabah yang dipilih, jadi tidak ada yang disimpan.\n"
                                                "Pilih nasabah di daftar, atau tambah nasabah baru dengan ADD."));
            return;
        }
        // The account number is judged only when it was changed.
        bool read = true;
        const QString stored = Adodc1->value(0, &read).toString();
        if (!read) {
            msg::perhatian(this, Adodc1->lastError());
            return;
        }
        const customers::Written written = customers::writeRegisterRow(
            this, stored, [this](const RecordSource::WriteCheck &check) { return fields_->update(check); });
        if (written != customers::Written::Stored) {
            // What was typed stays in the fields, still editable, for a correction.
            if (written == customers::Written::Failed)
                reportWriteFailure(this, Adodc1, ui.txtREKENING);
            else
                ui.txtREKENING->setFocus();
            return;
        }
    }
    ui.cmdEDIT->setEnabled(true);
    ui.cmdADD->setEnabled(true);
    DisableFields();
}

void RegisterScreen::next()
{
    if (!Adodc1->hasCurrent())
        return;
    if (!Adodc1->moveNext()) {
        msg::perhatian(this, Adodc1->lastError());
        return;
    }
    if (Adodc1->isEOF()) {
        Adodc1->moveLast();
        msg::perhatian(this, QStringLiteral("MAAF DATA SUADAH PALING AKHIR"));
    }
}

void RegisterScreen::previous()
{
    if (!Adodc1->hasCurrent())
        return;
    Adodc1->movePrevious();
    if (Adodc1->isBOF()) {
        Adodc1->moveFirst();
        msg::perhatian(this, QStringLiteral("MAAF DATA SUDAH DIAWAL"));
    }
}

void RegisterScreen::deleteCurrent()
{
    if (!Adodc1->hasCurrent()) {
        msg::perhatian(this, QStringLiteral("Tidak ada data nasabah yang bisa dihapus."));
        return;
    }
    // Only the register row goes; the customer's ledger rows stay. A customer who
    // still has money stays until it is paid out: he hears so before he is asked,
    // and the deletion checks again, in case another counter posted meanwhile.
    const Outcome allowed = Adodc1->judgeCurrent(customers::deleteCheck());
    if (!allowed.isOk()) {
        msg::perhatian(this, allowed.message());
        return;
    }
    if (!msg::askYesNo(this, QStringLiteral("ANDA YAKIN MAU MENGHAPUS?"), QStringLiteral("PERHATIAN")))
        return;
    if (!Adodc1->deleteCurrent(customers::deleteCheck())) {
        reportWriteFailure(this, Adodc1);
        return;
    }
    Adodc1->moveFirst();
    msg::plain(this, QStringLiteral("PENGHAPUSAN SUKSES"));
}

void RegisterScreen::search(const QString &column, const QString &promptText, const QString &promptTitle,
                            const QString &notFound)
{
    const QString wanted = msg::prompt(this, promptText, promptTitle);
    // Every search starts again at the first customer, so the first match is found.
    Adodc1->moveFirst();
    if (!Adodc1->find(criteria::build(column, wanted)) && !Adodc1->lastError().isEmpty()) {
        msg::perhatian(this, Adodc1->lastError());
        return;
    }
    if (Adodc1->isEOF()) {
        Adodc1->moveFirst();
        msg::perhatian(this, notFound);
    }
}

void RegisterScreen::closeScreen()
{
    // Typed changes not stored with "UPDATE" go with the screen.
    close();
    screens::showHome();
}
