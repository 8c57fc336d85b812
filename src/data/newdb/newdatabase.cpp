#include "data/newdb/newdatabase.h"
#include "data/newdb/fill_p.h"

#include "data/trail/audit.h"
#include "data/engine/pool.h"
#include "data/operators/operators.h"
#include "data/operators/supervision.h"
#include "data/base/sqlscript.h"

#include <QSqlQuery>

// A new database with its first operator.
namespace db {

bool runAll(QSqlDatabase &database, const QStringList &statements, QString *error)
{
    QSqlQuery query(database);
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            *error = describeError(query.lastError(), database);
            return false;
        }
    }
    return true;
}

QStringList superuserStatements()
{
    return sqlscript::statements(QStringLiteral("superuser"));
}

namespace {

using filling::shown;

// Fills a new database with one first operator.
bool createWithOperator(Fill &fill, const QString &user, const QString &password, const QString &existingText,
                        QString *error)
{
    if (const std::optional<QString> problem = operators::nameProblem(user)) {
        *error = *problem;
        return false;
    }
    bool existing = false;
    QStringList present;
    if (!fill.inspect(&existing, &present, error))
        return false;
    if (existing) {
        *error = present.isEmpty() ? existingText.arg(shown(fill.location()))
                                   : existingText.arg(shown(fill.location()), present.join(QStringLiteral(", ")));
        return false;
    }
    if (!fill.begin(error))
        return false;
    {
        // The statement ends before the Fill closes the connection.
        QSqlDatabase database = fill.database();
        qint64 key = 0;
        // The first operator is a supervisor: someone must be able to approve and
        // to name the others' kinds.
        Outcome made = operators::insert(database, user, password, &key);
        if (made.isOk())
            made = supervision::setKind(database, key, user, supervision::Kind::Supervisor);
        if (!made.isOk()) {
            *error = made.message();
            return false;
        }
        // The operator's addition is the first row of the audit trail.
        audit::Entry entry;
        entry.tindakan = QLatin1String(audit::action::kOperatorAdded);
        entry.tabel = QStringLiteral("tpassword");
        entry.kunci = key;
        entry.rincian = audit::detail(QStringLiteral("user"), user) + u'\n'
            + audit::detail(QStringLiteral("jenis"), supervision::kindText(supervision::Kind::Supervisor));
        const Outcome recorded = audit::append(database, entry);
        if (!recorded.isOk()) {
            *error = recorded.message();
            return false;
        }
    }
    return fill.finish(error);
}

} // namespace

bool createDatabase(const QString &file, const QString &user, const QString &password, QString *error)
{
    const std::unique_ptr<Fill> fill = Fill::intoFile(file);
    return createWithOperator(
        *fill, user, password,
        QStringLiteral("File %1 sudah ada; simparo-initdb tidak menyentuh database yang sudah ada."), error);
}

bool createServerDatabase(const QString &service, const QString &user, const QString &password, QString *error)
{
    return createServerDatabase(service, user, password, nullptr, error);
}

bool createServerDatabase(const QString &service, const QString &user, const QString &password,
                          operators::Access *access, QString *error)
{
    const std::unique_ptr<Fill> fill = Fill::intoService(service);
    if (access)
        fill->access() = *access;
    const bool made = createWithOperator(*fill, user, password,
                                         QStringLiteral("Database di %1 sudah berisi %2; simparo-initdb tidak "
                                                        "menyentuh database yang sudah ada."),
                                         error);
    if (access)
        *access = fill->access();
    return made;
}

} // namespace db
