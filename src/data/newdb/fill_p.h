#pragma once

#include "data/newdb/newdatabase.h"

#include <QDir>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// What the file's and the server's Fill share.
namespace db::filling {

// A file's name as messages show it.
inline QString shown(const QString &file)
{
    return QDir::toNativeSeparators(file);
}

// What every kind of place shares: the connection and the one transaction.
class PooledFill : public Fill
{
public:
    QSqlDatabase database() const override { return QSqlDatabase::database(name_, false); }

protected:
    // Begins the transaction. An existing database must have all the program's
    // tables; a new one gets them, its indexes kept for commit().
    bool start(bool existing, QString *error);
    bool commit(QString *error);
    void close();

    QString name_;
    bool pending_ = false;
    bool made_ = false; // a new database
    QStringList indexes_;
};

} // namespace db::filling
