#include "app/passbooksettings.h"

#include "data/engine/connectiontext.h"
#include "savings/passbook.h"
#include "savings/passbookpage.h"
#include "shell/messages.h"

#include <QHeaderView>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTableWidget>

PassbookSettings::PassbookSettings(QTableWidget *table, QPushButton *sample, QWidget *screen)
    : QObject(screen)
    , table_(table)
    , screen_(screen)
{
    table_->setColumnCount(2);
    table_->setHorizontalHeaderLabels({QStringLiteral("Halaman buku tabungan"), QStringLiteral("Nilai")});
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table_->verticalHeader()->hide();
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    load();
    connect(sample, &QPushButton::clicked, this, &PassbookSettings::printSample);
}

void PassbookSettings::load()
{
    passbook::Layout layout;
    const Outcome read = passbook::readLayout(db::connectionText(), &layout);
    if (!read.isOk())
        msg::perhatian(screen_, read.message());
    const QVector<passbook::Setting> &settings = passbook::settings();
    table_->setRowCount(int(settings.size()));
    stored_.clear();
    for (int row = 0; row < settings.size(); ++row) {
        auto *label = new QTableWidgetItem(QString::fromLatin1(settings.at(row).label));
        label->setFlags(Qt::ItemIsEnabled);
        table_->setItem(row, 0, label);
        const int value = layout.*settings.at(row).field;
        stored_ << value;
        table_->setItem(row, 1, new QTableWidgetItem(QString::number(value)));
    }
}

bool PassbookSettings::save()
{
    const QVector<passbook::Setting> &settings = passbook::settings();
    for (int row = 0; row < settings.size(); ++row) {
        const passbook::Setting &setting = settings.at(row);
        bool number = false;
        const int value = table_->item(row, 1)->text().trimmed().toInt(&number);
        const auto refuse = [&](const QString &text) {
            msg::perhatian(screen_, text);
            table_->setCurrentCell(row, 1);
            table_->setFocus();
            return false;
        };
        if (!number || value < setting.minimum || value > setting.maximum)
            return refuse(QStringLiteral("%1 harus bilangan bulat antara %2 dan %3.")
                              .arg(QLatin1String(setting.label))
                              .arg(setting.minimum)
                              .arg(setting.maximum));
        if (value == stored_.at(row))
            continue;
        const Outcome stored = passbook::setSetting(db::connectionText(), QLatin1String(setting.key), value);
        if (!stored.isOk())
            return refuse(stored.message());
        stored_[row] = value;
    }
    return true;
}

void PassbookSettings::printSample()
{
    passbook::Layout layout;
    Outcome outcome = passbook::readLayout(db::connectionText(), &layout);
    if (!outcome.isOk())
        return msg::perhatian(screen_, outcome.message());
    passbook::Output output;
    QString error;
    if (!passbook::readOutput(&output, &error)) {
        if (!error.isEmpty())
            return msg::perhatian(screen_, error);
        QPrinter printer;
        QPrintDialog dialog(&printer, screen_);
        if (dialog.exec() != QDialog::Accepted)
            return;
        if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
            output.pdf = printer.outputFileName();
        else
            output.printer = printer.printerName();
        if (!passbook::writeOutput(output, &error))
            msg::perhatian(screen_, error);
    }
    passbook::Sheets sheets(layout, output);
    outcome = sheets.drawTestPage();
    const Outcome finished = sheets.finish();
    if (!outcome.isOk())
        return msg::perhatian(screen_, outcome.message());
    if (!finished.isOk())
        return msg::perhatian(screen_, finished.message());
}
