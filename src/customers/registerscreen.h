#pragma once

#include "ui_registerscreen.h"

#include <QWidget>

class QLineEdit;
class BoundFields;
class RecordSource;

// The customer register screen frmDAFTAR. Everything on it works on one record
// source over daftar, the register record source: the current customer in eight
// bound fields, every customer in two grids. The fields are read-only while
// browsing and editable after "EDIT" until "UPDATE" stores them. The
// new-customer screen checks and saves through the same record source.
class RegisterScreen : public QWidget
{
    Q_OBJECT
public:
    explicit RegisterScreen(QWidget *parent = nullptr);

    // The register record source.
    RecordSource *records() const { return Adodc1; }

    // Make the eight bound fields editable (focus in the account number) or read-only.
    void EnableFields();
    void DisableFields();

private:
    QList<QLineEdit *> fields() const;
    void activate();
    void startEditing();
    void storeCurrent();
    void next();
    void previous();
    void deleteCurrent();
    void search(const QString &column, const QString &promptText, const QString &promptTitle,
                const QString &notFound);
    void closeScreen();
    void showBlock();

    Ui::frmDAFTAR ui;
    RecordSource *Adodc1;
    BoundFields *fields_;
};
