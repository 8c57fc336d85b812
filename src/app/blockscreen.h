#pragma once

#include "ui_blockscreen.h"

#include <QWidget>

// Blocking an account, frmBLOKIR, a supervisor's screen. Enter on the account
// number shows the customer's name and the account's block as it stands; "Blokir"
// blocks withdrawals or every posting for the reason chosen, "Buka Blokir" lifts
// the block. Each is an event with its trail row; a clerk is refused (on a server
// by the server).
class BlockScreen : public QWidget
{
    Q_OBJECT
public:
    explicit BlockScreen(QWidget *parent = nullptr);

private:
    bool lookUp();
    void block();
    void lift();
    void refuse(const QString &text, QWidget *focus);

    Ui::frmBLOKIR ui;
};
