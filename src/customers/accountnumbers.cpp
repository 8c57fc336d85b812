#include "accountnumbers.h"

#include "data/database.h"

#include <QSqlQuery>

namespace customers {

const char *const kNumberInUse = schema::kNumberInUse;
const char *const kNumberEmpty = "NO REKENING belum diisi.\nKetikkan nomor rekening nasabah, lalu ulangi.";
const char *const kNumberTooLong = "NO REKENING paling banyak 10 karakter.\nPerbaiki nomor rekening, lalu ulangi.";

RecordSource::WriteCheck accountNumberCheck(const std::optional<QString> &storedNumber)
{
    return [storedNumber](QSqlDatabase &database, QVector<QVariant> &row, QString *refusal) {
        const QString text = row.value(0).toString();
        if (storedNumber && text == *storedNumber)
            return true;
        if (text.isEmpty()) {
            *refusal = QString::fromUtf8(kNumberEmpty);
            return false;
        }
        if (text.size() > kAccountNumberLength) {
            *refusal = QString::fromUtf8(kNumberTooLong);
            return false;
        }
        // Two counters registering one number at the same moment: the second waits
        // here until the first has committed, then finds the number taken.
        QSqlError error;
        if (!db::writeLock(database, QStringLiteral("daftar.norekening"), text, &error)) {
            *refusal = db::describeError(error, database);
            return false;
        }
        db::Statement query;
        const bool prepared = db::prepare(&query, database, QStringLiteral("SELECT 1 FROM daftar WHERE norekening = ? LIMIT 1"));
        query->addBindValue(text);
        if (!(prepared && query->exec())) {
            *refusal = db::describeError(query->lastError(), database);
            return false;
        }
        if (query->next()) {
            *refusal = QString::fromUtf8(kNumberInUse);
            return false;
        }
        return true;
    };
}

} // namespace customers
