#pragma once

#include "savings/monthend.h"
#include "ui_monthendscreen.h"

#include <QWidget>

class QLineEdit;

// The month end frmBAGIHASIL, a supervisor's screen: the month (the previous one
// at first), the contract with its inputs (mudharabah: the revenue and the
// depositors' nisbah; wadiah: the bonus), the contract and nisbah of the last run
// at first. "Hitung" shows the report LAPBAGIHASIL without writing; "Posting"
// asks, then posts the month and shows the report with the trail row's seal.
// "Batalkan Posting" takes the month's run back whole with another supervisor's
// approval (frmPENYELIA); the month may then be posted again.
// A typing that is no month or amount is refused with a message and stays.
class MonthEndScreen : public QWidget
{
    Q_OBJECT
public:
    explicit MonthEndScreen(QWidget *parent = nullptr);

private:
    bool readInputs(profitshare::Month *month, profitshare::Inputs *inputs);
    void refuse(const QString &text, QLineEdit *field);
    void chooseContract();
    void compute();
    void post();
    void takeBack();

    Ui::frmBAGIHASIL ui;
};

// The report LAPBAGIHASIL of a month's shares; with its run when posted.
void showMonthEndReport(const profitshare::Inputs &inputs, const profitshare::Result &result,
                        const std::optional<monthend::Run> &run, QWidget *caller);
