#pragma once

#include "ui_settingsscreen.h"

#include <QWidget>

class PassbookSettings;

// The settings frmPENGATURAN, a supervisor's screen: the withdrawal limit above
// which a withdrawal needs a supervisor's approval. "Simpan" stores it with its
// trail row (old and new value); a clerk is refused (on a server by the server).
// Below them the passbook's page: its settings and a test page to match a real book.
class SettingsScreen : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsScreen(QWidget *parent = nullptr);

private:
    void save();

    Ui::frmPENGATURAN ui;
    // The passbook's page (tblBUKU, cmdCONTOH).
    PassbookSettings *page_;
};
