#pragma once

#include "ui_savingsrequest.h"

#include <QWidget>

// The request screen frmRTABUNGAN of the savings report: the operator types an
// account number; Enter narrows the savings report to it and moves on to "Cetak",
// which narrows it again from what the field holds and shows the report DATAR.
class SavingsRequestScreen : public QWidget
{
    Q_OBJECT
public:
    explicit SavingsRequestScreen(QWidget *parent = nullptr);

private:
    void setFilter();
    void print();

    Ui::frmRTABUNGAN ui;
};
