#pragma once

#include "data/base/outcome.h"
#include "data/engine/pool.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

// What the trail's appending, coverage and day seal share.
namespace audit::internal {

// A failed statement as the operator is told it.
inline Outcome failed(const QSqlError &error, const QSqlDatabase &database)
{
    return Outcome::failed(db::describeError(error, database));
}

// A moment as waktu holds it: UTC, to the millisecond ("2026-12-09T03:15:30.123Z").
QString waktuText(const QDateTime &moment);

} // namespace audit::internal
