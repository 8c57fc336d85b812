#pragma once

#include "ui_dailyrequest.h"

#include <QWidget>

// The request screen frmRHARIAN of the daily report: the operator picks a day
// (today at first); Enter in the date moves on to "Cetak", which shows the report
// HARIAN of that day's postings with the seal of the audit trail at the end of it.
class DailyRequestScreen : public QWidget
{
    Q_OBJECT
public:
    explicit DailyRequestScreen(QWidget *parent = nullptr);

private:
    void print();

    Ui::frmRHARIAN ui;
};
