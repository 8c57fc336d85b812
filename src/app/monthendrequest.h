#pragma once

#include "ui_monthendrequest.h"

#include <QWidget>

// The request screen frmRBAGIHASIL: the report LAPBAGIHASIL of a month posted,
// computed again from its stored inputs, with its trail row's seal.
class MonthEndRequestScreen : public QWidget
{
    Q_OBJECT
public:
    explicit MonthEndRequestScreen(QWidget *parent = nullptr);

private:
    void print();

    Ui::frmRBAGIHASIL ui;
};
