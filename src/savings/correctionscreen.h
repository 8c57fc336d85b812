#pragma once

#include "ui_correctionscreen.h"

#include "data/operators/supervision.h"
#include "savings/correction.h"

#include <QWidget>

class RecordSource;

// Correcting a posting, frmKOREKSI. Enter on the account number shows the
// customer's name and the account's rows, newest last; the clerk chooses the row,
// types the reason, and "Koreksi" asks a supervisor's approval (frmPENYELIA),
// then appends the reversing row with its trail row. What may not be corrected is
// refused before the supervisor is asked, and again inside the write.
class CorrectionScreen : public QWidget
{
    Q_OBJECT
public:
    explicit CorrectionScreen(QWidget *parent = nullptr);

    RecordSource *customers() const { return Adodc1; }
    RecordSource *ledger() const { return Adodc2; }

private:
    bool lookUp();
    void correct();
    void write(const correction::Original &row, const QString &reason, const supervision::Approval &approval);
    void refuse(const QString &text, QWidget *focus);

    Ui::frmKOREKSI ui;
    RecordSource *Adodc1;
    RecordSource *Adodc2;
    // The account whose rows the grid shows.
    QString shownAccount_;
};
