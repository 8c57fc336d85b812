#pragma once

#include "ui_settingsscreen.h"

#include <QWidget>

// The settings frmPENGATURAN, a supervisor's screen: the withdrawal limit above
// which a withdrawal needs a supervisor's approval. "Simpan" stores it with its
// trail row (old and new value); a clerk is refused (on a server by the server).
class SettingsScreen : public QWidget
{
    Q_OBJECT
public:
    explicit SettingsScreen(QWidget *parent = nullptr);

private:
    void save();

    Ui::frmPENGATURAN ui;
};
