#pragma once

#include "data/trail/auditcheck.h"
#include "data/trail/ownersrows.h"
#include "data/trail/registertrail.h"
#include "data/engine/dialect.h"
#include "data/base/schema.h"

#include <QCryptographicHash>
#include <QHash>
#include <memory>
#include <vector>

// The check's walk over the trail, the register and the ledger, shared by its parts.
namespace audit::checking {

QString postingActions();

QByteArrayView textOf(const db::Value &value);

qint64 integerOf(const db::Value &value);

// A value as the ledger's walk reads it (as Qt's drivers give values).
QVariant variantOf(const db::Value &value);

bool isPosting(QByteArrayView tindakan);

bool namesKnownBreaks(QByteArrayView tindakan);

bool coversRows(QByteArrayView tindakan);

QString knownKey(const QString &account, qint64 key);

// A field of a ledger row's content as a person reads it.
QString shownField(const QString &value, schema::Kind kind);

// What differs between a ledger row's content as sealed in jejak and as it stands.
QString differences(const QString &sealed, const QString &now);

// A key range covered by an import or the trail's installation, and what the
// ledger holds in it now.
struct Range {
    qint64 nomor = 0;
    QString tindakan;
    Coverage recorded;
    bool runRowsOnly = false; // a month-end run: only its share and tax rows in the range
    bool takeBackRowsOnly = false; // a run's take-back: only correction rows without a trail row of their own
    QCryptographicHash digest{QCryptographicHash::Sha256};
    qint64 count = 0;
};

class Checker
{
public:
    Checker(CheckResult *result, int keep) : result_(result), keep_(keep) {}

    void find(const QString &table, qint64 key, const QString &text)
    {
        ++result_->findings;
        if (result_->shown.size() < keep_)
            result_->shown << Finding{table, key, text};
    }

    Outcome walkTrail(QSqlDatabase &database, const std::optional<trailhead::Head> &seen);
    Outcome honourOwnersRows(QSqlDatabase &database);
    Outcome checkRules(QSqlDatabase &database);
    Outcome walkLedger(QSqlDatabase &database);
    Outcome findGone(QSqlDatabase &database);
    Outcome walkRegister(QSqlDatabase &database);
    Outcome checkSupervision(QSqlDatabase &database);
    void finishRanges();

private:
    struct Group {
        qint64 key = 0;
        ledger::Row row;
        QByteArray isi;
        bool runCode = false; // a share or tax row of a month-end run
        bool correctionCode = false; // a correction row
        QList<QPair<qint64, QByteArray>> postings; // nomor and content of its posting rows
    };
    void finishGroup(const Group &group);
    void checkAgainstTrail(const Group &group, const QString &account);

    CheckResult *result_;
    int keep_;
    std::vector<OwnersRow> ownersRows_;
    RegisterCheck register_;
    std::vector<std::unique_ptr<Range>> ranges_;
    QHash<QString, QPair<qint64, QString>> known_; // account and key -> the jejak row naming it
    qint64 postings_ = 0; // posting rows of ledger rows in the chain
    qint64 matched_ = 0;  // of those, the ones whose ledger row is there
    ledger::ChainWalker chains_{0};
};

} // namespace audit::checking
