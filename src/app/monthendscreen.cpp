#include "monthendscreen.h"

#include "data/base/textforms.h"
#include "data/base/wallclock.h"
#include "data/engine/connectiontext.h"
#include "data/engine/pool.h"
#include "data/trail/audit.h"
#include "reports/reportdefinition.h"
#include "reports/reports.h"
#include "shell/approvalscreen.h"
#include "shell/keys.h"
#include "shell/messages.h"

#include <QApplication>
#include <QSqlQuery>

using namespace profitshare;

namespace {

QString percentText(qint64 hundredths)
{
    return QStringLiteral("%1,%2").arg(hundredths / 100).arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

// The contract and nisbah of the last run, when there was one.
void lastRun(Contract *contract, std::optional<int> *nisbah)
{
    QString error;
    db::Connection connection;
    if (!connection.open(db::connectionText(), &error))
        return;
    QSqlQuery query(connection.database());
    if (query.exec(QStringLiteral("SELECT akad, nisbah FROM bagi_hasil ORDER BY id DESC LIMIT 1")) && query.next()) {
        *contract = query.value(0).toString() == QLatin1String("wadiah") ? Contract::Wadiah : Contract::Mudharabah;
        if (*contract == Contract::Mudharabah)
            *nisbah = query.value(1).toInt();
    }
}

} // namespace

void showMonthEndReport(const Inputs &inputs, const Result &result, const std::optional<monthend::Run> &run,
                        QWidget *caller)
{
    const QStringList columns{QStringLiteral("norekening"), QStringLiteral("nama"),  QStringLiteral("rata"),
                              QStringLiteral("porsi"),      QStringLiteral("bagi"),  QStringLiteral("pajak"),
                              QStringLiteral("diterima")};
    QList<QVector<QVariant>> rows;
    rows.reserve(result.shares.size());
    for (const Share &share : result.shares)
        rows << QVector<QVariant>{share.number,
                                  share.name,
                                  share.averageBalance.toDouble(),
                                  QStringLiteral("%1,%2")
                                      .arg(share.portionMillionths / 10000)
                                      .arg(share.portionMillionths % 10000, 4, 10, QLatin1Char('0')),
                                  share.gross.toDouble(),
                                  share.tax.toDouble(),
                                  share.net.toDouble()};
    QHash<QString, QString> texts;
    texts.insert(QStringLiteral("bulan"), result.month.text());
    const QString tax = QStringLiteral("; pajak %1% bila saldo akhir bulan di atas Rp %2")
                            .arg(percentText(inputs.taxRateBasisPoints), inputs.taxThreshold.toText());
    if (inputs.contract == Contract::Wadiah) {
        texts.insert(QStringLiteral("akad"), QStringLiteral("Akad: Wadiah (bonus)"));
        texts.insert(QStringLiteral("masukan"), QStringLiteral("Bonus Rp %1").arg(inputs.bonus.toText()) + tax);
    } else {
        texts.insert(QStringLiteral("akad"), QStringLiteral("Akad: Mudharabah (bagi hasil)"));
        texts.insert(QStringLiteral("masukan"), QStringLiteral("Pendapatan Rp %1, nisbah nasabah %2%")
                                                        .arg(inputs.revenue.toText(), percentText(inputs.nisbahBasisPoints))
                                                    + tax);
    }
    texts.insert(QStringLiteral("dibagi"), result.amount.toText());
    texts.insert(QStringLiteral("sisa"), result.remainder.toText());
    if (run && run->trailNumber)
        texts.insert(QStringLiteral("posting"),
                     QStringLiteral("Diposting %1 oleh %2; jejak nomor %3, kode segel: %4")
                         .arg(run->time.toString(QStringLiteral("dd/MM/yyyy HH:mm")), run->supervisor)
                         .arg(*run->trailNumber)
                         .arg(audit::groupedSeal(run->seal)));
    else
        texts.insert(QStringLiteral("posting"), QStringLiteral("Hitungan saja: belum diposting."));
    reports::showRows(reports::lapbagihasil(), columns, rows, texts, caller);
}

MonthEndScreen::MonthEndScreen(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    setFixedSize(size());
    ui.txtBULAN->setText(Month::of(wallclock::today().addMonths(-1).year(), wallclock::today().addMonths(-1).month())
                             ->text());
    Contract contract = Contract::Mudharabah;
    std::optional<int> nisbah;
    lastRun(&contract, &nisbah);
    (contract == Contract::Wadiah ? ui.optWADIAH : ui.optMUDHARABAH)->setChecked(true);
    if (nisbah)
        ui.txtNISBAH->setText(percentText(*nisbah));
    chooseContract();
    connect(ui.optMUDHARABAH, &QRadioButton::toggled, this, &MonthEndScreen::chooseContract);
    onEnter(ui.txtBULAN, [this] {
        (ui.optWADIAH->isChecked() ? ui.txtBONUS : ui.txtPENDAPATAN)->setFocus();
    });
    onEnter(ui.txtPENDAPATAN, [this] { ui.txtNISBAH->setFocus(); });
    onEnter(ui.txtNISBAH, [this] { ui.cmdHITUNG->setFocus(); });
    onEnter(ui.txtBONUS, [this] { ui.cmdHITUNG->setFocus(); });
    connect(ui.cmdHITUNG, &QPushButton::clicked, this, &MonthEndScreen::compute);
    connect(ui.cmdPOSTING, &QPushButton::clicked, this, &MonthEndScreen::post);
    connect(ui.cmdBATALKAN, &QPushButton::clicked, this, &MonthEndScreen::takeBack);
    connect(ui.cmdBatal, &QPushButton::clicked, this, &QWidget::close);
    ui.txtBULAN->setFocus();
}

void MonthEndScreen::chooseContract()
{
    const bool mudharabah = ui.optMUDHARABAH->isChecked();
    ui.txtPENDAPATAN->setEnabled(mudharabah);
    ui.txtNISBAH->setEnabled(mudharabah);
    ui.txtBONUS->setEnabled(!mudharabah);
}

void MonthEndScreen::refuse(const QString &text, QLineEdit *field)
{
    msg::perhatian(this, text);
    field->setFocus();
}

bool MonthEndScreen::readInputs(Month *month, Inputs *inputs)
{
    const std::optional<Month> typed = Month::parse(ui.txtBULAN->text().trimmed());
    if (!typed) {
        refuse(QStringLiteral("BULAN HARUS DITULIS MM/YYYY, MISALNYA 06/2026"), ui.txtBULAN);
        return false;
    }
    *month = *typed;
    if (ui.optWADIAH->isChecked()) {
        const std::optional<Money> bonus = Money::parse(ui.txtBONUS->text());
        if (!bonus || bonus->sen() <= 0) {
            refuse(QStringLiteral("BONUS HARUS BERUPA JUMLAH UANG LEBIH DARI 0, MISALNYA 1.000.000"), ui.txtBONUS);
            return false;
        }
        inputs->contract = Contract::Wadiah;
        inputs->bonus = *bonus;
        return true;
    }
    if (!ui.optMUDHARABAH->isChecked()) {
        refuse(QStringLiteral("PILIH AKAD: MUDHARABAH ATAU WADIAH"), ui.txtBULAN);
        return false;
    }
    const std::optional<Money> revenue = Money::parse(ui.txtPENDAPATAN->text());
    if (!revenue || revenue->sen() <= 0) {
        refuse(QStringLiteral("PENDAPATAN HARUS BERUPA JUMLAH UANG LEBIH DARI 0, MISALNYA 10.000.000"),
               ui.txtPENDAPATAN);
        return false;
    }
    // A percent with up to two decimals reads as an amount does: hundredths.
    const std::optional<Money> nisbah = Money::parse(ui.txtNISBAH->text());
    if (!nisbah || nisbah->sen() <= 0 || nisbah->sen() > 10000) {
        refuse(QStringLiteral("NISBAH HARUS PERSEN LEBIH DARI 0 SAMPAI 100, PALING BANYAK 2 ANGKA DI BELAKANG KOMA"),
               ui.txtNISBAH);
        return false;
    }
    inputs->contract = Contract::Mudharabah;
    inputs->revenue = *revenue;
    inputs->nisbahBasisPoints = int(nisbah->sen());
    return true;
}

void MonthEndScreen::compute()
{
    Month month;
    Inputs inputs;
    if (!readInputs(&month, &inputs))
        return;
    Result result;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Outcome outcome = monthend::compute(db::connectionText(), inputs, month, &result);
    QApplication::restoreOverrideCursor();
    if (!outcome.isOk()) {
        refuse(outcome.message(), ui.txtBULAN);
        return;
    }
    // The tax as it stands, as the computation took it.
    QString error;
    db::Connection connection;
    if (connection.open(db::connectionText(), &error)) {
        {
            QSqlDatabase database = connection.database();
            monthend::readTaxSettings(database, &inputs);
        }
        connection.close();
    }
    showMonthEndReport(inputs, result, std::nullopt, this);
}

void MonthEndScreen::post()
{
    Month month;
    Inputs inputs;
    if (!readInputs(&month, &inputs))
        return;
    if (!msg::askYesNo(this, QStringLiteral("POSTING BAGI HASIL BULAN %1?").arg(month.text()),
                       QStringLiteral("PERHATIAN")))
        return;
    Result result;
    monthend::Run run;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Outcome outcome = monthend::post(db::connectionText(), inputs, month, &result, &run);
    QApplication::restoreOverrideCursor();
    if (!outcome.isOk()) {
        refuse(outcome.message(), ui.txtBULAN);
        return;
    }
    showMonthEndReport(run.id ? run.inputs : inputs, result, run.id ? std::optional(run) : std::nullopt, this);
}

void MonthEndScreen::takeBack()
{
    const std::optional<Month> month = Month::parse(ui.txtBULAN->text().trimmed());
    if (!month) {
        refuse(QStringLiteral("BULAN HARUS DITULIS MM/YYYY, MISALNYA 06/2026"), ui.txtBULAN);
        return;
    }
    // Judged before the other supervisor is asked, and again inside the write.
    monthend::Run posted;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Outcome judged = monthend::judgeTakeBack(db::connectionText(), *month, &posted);
    QApplication::restoreOverrideCursor();
    if (!judged.isOk()) {
        refuse(judged.message(), ui.txtBULAN);
        return;
    }
    ApprovalScreen::ask(this, monthend::takeBackRequest(posted), [this, posted](const supervision::Approval &approval) {
        qint64 rows = 0;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const Outcome outcome = monthend::takeBack(db::connectionText(), posted, approval, &rows);
        QApplication::restoreOverrideCursor();
        if (!outcome.isOk()) {
            refuse(outcome.message(), ui.txtBULAN);
            return;
        }
        msg::show(this,
                  QStringLiteral("Posting bagi hasil bulan %1 dibatalkan: %2 baris koreksi.")
                      .arg(posted.month.text())
                      .arg(rows),
                  QString::fromLatin1(msg::kAppTitle), msg::Icon::Information);
        ui.txtBULAN->setFocus();
    });
}
