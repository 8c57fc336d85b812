#pragma once

#include "data/base/outcome.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace db {
struct Value;
}

// The customer register (daftar) against the audit trail. Every customer written
// by the program has trail rows of his own (nasabah baru, nasabah ubah, nasabah
// hapus), each holding the row as it then stood (isi): the last of them says what
// the register must hold for his row now. Customers brought in by bulk (an import,
// the rows of an older database given the trail) have none: the import's or the
// installation's row records them as it records the ledger, by their key range,
// count and digest, each row's content taken with an empty value for a NULL one
// (so that the original of a row changed later can be had again from its change
// row, which tells each changed column as "kolom: lama -> baru").
namespace audit {

struct RegisterCoverage {
    std::optional<qint64> first, last; // the key range; nothing when no rows
    qint64 count = 0;
    QByteArray digest; // lower-hex SHA-256 of their contents in key order
};
// The register's rows with keys from `first` to `last` (all when not given) as they stand.
Outcome coverRegister(QSqlDatabase &database, RegisterCoverage *coverage, std::optional<qint64> first = std::nullopt,
                      std::optional<qint64> last = std::nullopt);
// Its lines of a row's details: "daftar=<first>-<last>", "daftar_jumlah=<count>",
// "daftar_digest=<hex>".
QString registerCoverageDetails(const RegisterCoverage &coverage);
// What a row's details record of the register; nothing when they record nothing
// (a row written before the register was recorded).
std::optional<RegisterCoverage> registerCoverageOf(const QString &rincian);

// A finding of the register's check: the row's key and what differs.
using RegisterFinding = std::function<void(qint64 key, const QString &text)>;

// The register's check of simparo-verify, fed by the walk of the trail.
class RegisterCheck
{
public:
    // A trail row, in chain order (those of other tables are passed over): the
    // values of its columns tindakan, tabel, kunci, norekening, rincian, isi.
    void trailRow(qint64 nomor, const db::Value *values);
    // A row that may cover rows brought in by bulk (an import, the trail's
    // installation), whether the owner wrote it or not: what comes after it is later.
    void bulkRow(qint64 nomor) { epoch_ = nomor; }
    // An import or installation the owner wrote: what it records of the register,
    // or nothing for one written before the register was recorded.
    void covers(qint64 nomor, const QString &tindakan, const std::optional<RegisterCoverage> &coverage);
    // Reads the register and names every row that does not match; notices for the
    // rows nothing can vouch for (brought in before the register was recorded).
    Outcome walk(QSqlDatabase &database, const RegisterFinding &find, QStringList *notices);

private:
    enum class Kind { New, Change, Delete };
    struct Original {
        qint64 epoch = 0;
        std::optional<QByteArray> content; // the row before its first write of the epoch; nothing: none
        bool readable = true;
    };
    struct KeyState {
        qint64 lastNomor = 0;
        Kind lastKind = Kind::New;
        QByteArray lastIsi;
        QString account;
        QList<Original> originals;
    };
    struct Covered {
        qint64 nomor = 0;
        QString tindakan;
        RegisterCoverage recorded;
        qint64 count = 0;
        bool unreadable = false;
        QCryptographicHash digest{QCryptographicHash::Sha256};
    };
    void judge(qint64 key, const std::optional<QByteArray> &now, const QString &account, const KeyState *state,
               const RegisterFinding &find);

    qint64 epoch_ = 0;
    QHash<qint64, KeyState> keys_;
    std::vector<std::unique_ptr<Covered>> covered_;
    qint64 olderNomor_ = 0;          // the last bulk row that recorded no register
    QHash<qint64, qint64> newKeys_;  // after each bulk row, the smallest key registered (nasabah baru)
    QList<qint64> unvouched_;       // rows nothing vouches for, brought in before
    qint64 unvouchedCount_ = 0;
};

} // namespace audit
