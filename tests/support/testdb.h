#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

// A fresh database for one test: HOME points into a temporary folder, so the
// program's own file ($HOME/SKRIP/asli.sqlite) is a new database made by the
// same code as simparo-initdb, with the operator admin / admin123.
class TestDatabase
{
public:
    // create=false leaves the folder without a database.
    explicit TestDatabase(bool create = true);
    ~TestDatabase();

    QString file() const;
    QString home() const { return dir_.path(); }

    // Runs one statement with bound values on a connection of the test's own; fails the test on error.
    void exec(const QString &sql, const QVariantList &values = {});
    // The first column of the first row of a query.
    QVariant scalar(const QString &sql, const QVariantList &values = {});
    // All rows of a query, each row's columns joined with "|".
    QStringList rows(const QString &sql, const QVariantList &values = {});

    void addCustomer(const QString &norekening, const QString &nama, const QString &pendidikan = QStringLiteral("SD"));
    void addLedgerRow(const QString &norekening, const QString &nama, const QString &date, const QString &kode,
                      double debet, double kredit, double saldo);
    void addOperator(const QString &user, const QString &password);
    // Damages the file behind the program's back, past its first two pages: cuts it
    // short there, or overwrites the rest with garbage.
    bool damage(bool truncate);

private:
    QSqlDatabase connection();
    QTemporaryDir dir_;
    QByteArray savedHome_;
    QString connectionName_;
};
