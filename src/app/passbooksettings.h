#pragma once

#include <QObject>

class QPushButton;
class QTableWidget;
class QWidget;

// The passbook's page on frmPENGATURAN: a value for each of its settings in a
// table, stored with the other settings when changed, and "Cetak Contoh"
// (cmdCONTOH), a test page of numbered lines and a ruler to match a real book.
class PassbookSettings : public QObject
{
    Q_OBJECT
public:
    PassbookSettings(QTableWidget *table, QPushButton *sample, QWidget *screen);

    // Stores the values that changed, each with its trail row; false (told, the
    // value typed kept and current) when one is no number or is refused.
    bool save();

private:
    void load();
    void printSample();

    QTableWidget *table_;
    QWidget *screen_;
    QList<int> stored_;
};
