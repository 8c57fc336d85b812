#pragma once

#include "ui_ledgerview.h"

#include <QWidget>

class RecordSource;

// The ledger view frmTABUNGAN: the rows of one account in the savings ledger and
// its balance as "Total Saldo". It only reads, from record sources of its own
// opened when it loads: rows posted while it stays open show after it is opened again.
class LedgerView : public QWidget
{
    Q_OBJECT
public:
    explicit LedgerView(QWidget *parent = nullptr);

    RecordSource *customers() const { return Adodc1; }
    RecordSource *ledger() const { return Adodc2; }

private:
    void lookUpAccount();
    // "Total Saldo" with its labels, or nothing.
    void showTotal(bool shown);

    Ui::frmTABUNGAN ui;
    RecordSource *Adodc1;
    RecordSource *Adodc2;
    // The previous balance of the account last looked up.
    QString saldoLama;
};
