#pragma once

#include "ui_mainwindow.h"

#include <QMainWindow>

// The main window frmMENU: a welcome picture under the menu bar from which the
// operator opens every other screen. It holds no data.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);

    // The welcome picture, 800 by 600 pixels.
    static QPixmap welcomePicture();

private:
    Ui::frmMENU ui;
};
