#include "data/newdb/fill_p.h"

#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/engine/pool.h"
#include "data/postgres/postgresdialect.h"

// The (empty, or the program's) database of a PostgreSQL service, filled in one
// transaction.
namespace db {

namespace filling {

namespace {

class ServerFill final : public PooledFill
{
public:
    explicit ServerFill(const QString &service)
        : service_(service)
    { }
    ~ServerFill() override { discard(); }

    QString location() const override { return serverLocation(service_); }

    bool inspect(bool *existing, QStringList *present, QString *error) override
    {
        QString problem;
        if (!checkConnectionText(serviceConnectionText(service_), &problem)) {
            *error = QStringLiteral("Nama layanan tidak sah: %1.").arg(problem);
            return false;
        }
        if (name_.isEmpty() && !openServerAsService(service_, &name_, error))
            return false;
        QSqlDatabase connection = database();
        QSqlError failure;
        present->clear();
        if (!presentRelations(connection, present, &failure)) {
            *error = describeError(failure, connection);
            return false;
        }
        *existing = existing_ = !present->isEmpty();
        return true;
    }

    bool begin(QString *error) override
    {
        made_ = !existing_;
        return (!name_.isEmpty() || openServerAsService(service_, &name_, error)) && start(existing_, error);
    }

    bool finish(QString *error) override
    {
        if (!commit(error))
            return false;
        close();
        return true;
    }

    void discard() override { close(); }
    QStringList leftovers() const override { return {}; }

private:
    const QString service_;
    bool existing_ = false;
};

} // namespace

} // namespace filling

std::unique_ptr<Fill> Fill::intoService(const QString &service)
{
    return std::make_unique<filling::ServerFill>(service);
}

} // namespace db
