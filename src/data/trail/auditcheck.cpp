#include "data/trail/auditcheck.h"
#include "data/trail/auditcheck_p.h"

#include "data/engine/catalog.h"
#include "data/engine/dialect.h"
#include "data/base/money.h"
#include "data/trail/ownersrows.h"
#include "data/engine/pool.h"
#include "data/trail/registertrail.h"
#include "data/base/schema.h"
#include "data/base/textforms.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>
#include <memory>
#include <vector>
namespace audit {

namespace checking {

QString postingActions()
{
    return QStringLiteral("('%1', '%2', '%3')")
        .arg(QLatin1String(action::kDeposit), QLatin1String(action::kWithdrawal), QLatin1String(action::kCorrection));
}

QByteArrayView textOf(const db::Value &value)
{
    return value.type == db::Value::Type::Text ? value.text : QByteArrayView();
}

qint64 integerOf(const db::Value &value)
{
    switch (value.type) {
    case db::Value::Type::Integer: return value.integer;
    case db::Value::Type::Real: return qint64(value.real);
    case db::Value::Type::Text: return value.text.toLongLong();
    case db::Value::Type::Null: break;
    }
    return 0;
}

// A value as the ledger's walk reads it (as Qt's drivers give values).
QVariant variantOf(const db::Value &value)
{
    switch (value.type) {
    case db::Value::Type::Integer: return QVariant(value.integer);
    case db::Value::Type::Real: return QVariant(value.real);
    case db::Value::Type::Text: return QVariant(QString::fromUtf8(value.text));
    case db::Value::Type::Null: break;
    }
    return QVariant();
}

bool isPosting(QByteArrayView tindakan)
{
    return tindakan == action::kDeposit || tindakan == action::kWithdrawal || tindakan == action::kCorrection;
}

bool namesKnownBreaks(QByteArrayView tindakan)
{
    return tindakan == action::kImport || tindakan == action::kTrailInstalled || tindakan == action::kBreakAccepted;
}

bool coversRows(QByteArrayView tindakan)
{
    return tindakan == action::kImport || tindakan == action::kTrailInstalled;
}

QString knownKey(const QString &account, qint64 key)
{
    return account + QChar(0x1f) + QString::number(key);
}

// A field of a ledger row's content as a person reads it.
QString shownField(const QString &value, schema::Kind kind)
{
    if (value.isNull())
        return QStringLiteral("(kosong)");
    bool ok = false;
    const qint64 sen = value.toLongLong(&ok);
    if (kind == schema::Kind::Number && ok)
        return Money::fromSen(sen).toText();
    return QStringLiteral("\"%1\"").arg(textform::printable(value));
}

// What differs between a ledger row's content as sealed in jejak and as it stands.
QString differences(const QString &sealed, const QString &now)
{
    const std::optional<QList<QString>> before = fieldsOf(sealed);
    const std::optional<QList<QString>> after = fieldsOf(now);
    const QList<schema::Column> &columns = schema::nabubg().columns;
    if (!before || !after || before->size() != columns.size() || after->size() != columns.size())
        return QStringLiteral("isi di jejak tidak terbaca");
    QStringList differing;
    for (int c = 0; c < columns.size(); ++c) {
        const QString &a = before->at(c);
        const QString &b = after->at(c);
        if (a.isNull() == b.isNull() && a == b)
            continue;
        differing << QStringLiteral("%1 sekarang %2, di jejak %3")
                         .arg(columns.at(c).name, shownField(b, columns.at(c).kind), shownField(a, columns.at(c).kind));
    }
    return differing.join(QStringLiteral("; "));
}

Outcome Checker::walkTrail(QSqlDatabase &database, const std::optional<trailhead::Head> &seen)
{
    std::optional<QByteArray> sealSeen; // the stored seal of the row seen as the head before
    // Read as a stream straight from the engine: a trail of any length is never
    // held, and its text is taken as stored, without a conversion.
    const std::unique_ptr<db::RowStream> rows =
        db::dialect(database).stream(database, QStringLiteral("SELECT %1 FROM jejak ORDER BY nomor").arg(recordColumns()));
    QByteArray previous;
    qint64 expected = 1;
    db::Value values[15];
    Record head;
    while (rows->next()) {
        for (int c = 0; c < 15; ++c)
            values[c] = rows->value(c);
        const qint64 nomor = integerOf(values[0]);
        const QByteArrayView tindakan = textOf(values[7]);
        ++result_->trailRows;
        if (nomor != expected)
            find(QStringLiteral("jejak"), nomor,
                 expected == 1 ? QStringLiteral("jejak nomor %1: rantai jejak tidak mulai dari nomor 1 "
                                                "(baris jejak hilang).")
                                     .arg(nomor)
                               : QStringLiteral("jejak nomor %1: tidak bersambung, datang sesudah nomor %2 "
                                                "(baris jejak hilang atau disisipkan).")
                                     .arg(nomor)
                                     .arg(expected - 1));
        expected = nomor + 1;
        const QByteArray computed = seal(previous, content(values));
        const QByteArrayView stored = textOf(values[14]);
        if (computed != stored)
            find(QStringLiteral("jejak"), nomor,
                 QStringLiteral("jejak nomor %1 (%2): segel tidak cocok (tercatat %3, dihitung %4): baris ini, "
                                "atau segel baris sebelumnya, diubah di luar SIMPARO.")
                     .arg(nomor)
                     .arg(textform::printable(QString::fromUtf8(tindakan)),
                          values[14].type == db::Value::Type::Null ? QStringLiteral("(kosong)")
                                                                   : textform::printable(QString::fromUtf8(stored)),
                          QString::fromLatin1(computed)));
        // The next seal is recomputed from this one as stored: one changed row is one finding.
        previous = stored.toByteArray();
        if (isPosting(tindakan) && textOf(values[8]) == "nabubg" && values[9].type != db::Value::Type::Null)
            ++postings_;
        if (seen && nomor == seen->nomor)
            sealSeen = stored.toByteArray();
        // What the owner's rows cover and name counts once it is known who wrote them.
        if (ownersOnly(tindakan))
            ownersRows_.push_back({nomor, QString::fromUtf8(tindakan),
                                   values[4].type == db::Value::Type::Null ? QString()
                                                                           : QString::fromUtf8(textOf(values[4])),
                                   QString::fromUtf8(textOf(values[11]))});
        if (tindakan == action::kMonthEnd || tindakan == action::kMonthEndTakeBack)
            if (const std::optional<Coverage> coverage = coverageOf(QString::fromUtf8(textOf(values[11])))) {
                auto range = std::make_unique<Range>();
                range->nomor = nomor;
                range->tindakan = QString::fromUtf8(tindakan);
                range->recorded = *coverage;
                range->runRowsOnly = tindakan == action::kMonthEnd;
                range->takeBackRowsOnly = tindakan == action::kMonthEndTakeBack;
                ranges_.push_back(std::move(range));
            }
        if (coversRows(tindakan))
            register_.bulkRow(nomor);
        register_.trailRow(nomor, values);
        head.nomor = nomor;
        head.waktu = QString::fromUtf8(textOf(values[1]));
        head.zona = QString::fromUtf8(textOf(values[2]));
        head.segel = QString::fromUtf8(stored);
    }
    if (rows->error().isValid())
        return Outcome::failed(db::describeError(rows->error(), database));
    if (result_->trailRows > 0)
        result_->head = head;
    if (seen && !sealSeen) {
        result_->headHolds = false;
        find(QStringLiteral("jejak"), seen->nomor,
             QStringLiteral("jejak berakhir di nomor %1, padahal jejak nomor %2 sudah pernah terlihat (%3, segel %4): "
                            "baris jejak terbaru dipotong di luar SIMPARO.")
                 .arg(head.nomor)
                 .arg(seen->nomor)
                 .arg(seen->seen, seen->segel.left(16)));
    } else if (seen && *sealSeen != seen->segel.toLatin1()) {
        result_->headHolds = false;
        find(QStringLiteral("jejak"), seen->nomor,
             QStringLiteral("jejak nomor %1: segelnya %2, padahal yang pernah terlihat (%3) %4: jejak ditulis ulang di "
                            "luar SIMPARO.")
                 .arg(seen->nomor)
                 .arg(textform::printable(QString::fromLatin1(sealSeen->left(16))), seen->seen, seen->segel.left(16)));
    }
    return Outcome::ok();
}

Outcome Checker::honourOwnersRows(QSqlDatabase &database)
{
    std::vector<std::unique_ptr<Range>> ranges;
    const auto honoured = [&](const OwnersRow &row) {
        const QByteArray tindakan = row.tindakan.toUtf8();
        if (coversRows(tindakan)) {
            if (const std::optional<Coverage> coverage = coverageOf(row.rincian)) {
                auto range = std::make_unique<Range>();
                range->nomor = row.nomor;
                range->tindakan = row.tindakan;
                range->recorded = *coverage;
                ranges.push_back(std::move(range));
            }
            register_.covers(row.nomor, row.tindakan, registerCoverageOf(row.rincian));
        }
        if (namesKnownBreaks(tindakan))
            for (const KnownBreak &known : breaksOf(row.rincian))
                if (!known_.contains(knownKey(known.account, known.key)))
                    known_.insert(knownKey(known.account, known.key), {row.nomor, row.tindakan});
    };
    const auto refused = [&](const OwnersRow &row, const QString &owner) {
        find(QStringLiteral("jejak"), row.nomor,
             QStringLiteral("jejak nomor %1 (%2): ditulis oleh peran %3, bukan pemilik database%4; hanya alat "
                            "pemilik yang boleh menulis %2: baris ini tidak diakui.")
                 .arg(row.nomor)
                 .arg(row.tindakan, textform::printable(row.peran),
                      owner.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(owner)));
    };
    const Outcome judged = judgeOwnersRows(database, ownersRows_, honoured, refused);
    // The ranges in chain order (they were met newest first).
    ranges_.insert(ranges_.end(), std::make_move_iterator(ranges.rbegin()), std::make_move_iterator(ranges.rend()));
    return judged;
}

Outcome Checker::checkRules(QSqlDatabase &database)
{
    const db::Dialect &dialect = db::dialect(database);
    QStringList inForce;
    QSqlError failure;
    if (!dialect.triggersInForce(database, &inForce, &failure))
        return Outcome::failed(db::describeError(failure, database));
    for (const QString &trigger : dialect.trailTriggers())
        if (!inForce.contains(trigger, Qt::CaseInsensitive))
            find(QStringLiteral("jejak"), 0,
                 QStringLiteral("aturan %1 (trigger) tidak ada atau dimatikan: nabubg dan jejak tidak lagi dijaga "
                                "database, jadi baris bisa diubah, dihapus atau disisipkan di luar SIMPARO.")
                     .arg(trigger));
    return Outcome::ok();
}

Outcome Checker::walkRegister(QSqlDatabase &database)
{
    return register_.walk(
        database, [this](qint64 key, const QString &text) { find(QStringLiteral("daftar"), key, text); },
        &result_->notices);
}

void Checker::finishGroup(const Group &group)
{
    const ledger::Row &row = group.row;
    // A row that does not match its trail is named before the chain it breaks.
    if (result_->hasTrail)
        checkAgainstTrail(group, row.account);
    if (const std::optional<ledger::Break> broken = chains_.add(row)) {
        const auto known = known_.constFind(knownKey(row.account, row.key));
        if (known != known_.constEnd())
            result_->known << KnownNotice{*broken, known->first, known->second};
        else
            find(QStringLiteral("nabubg"), row.key, broken->text());
    }
}

void Checker::checkAgainstTrail(const Group &group, const QString &account)
{
    bool covered = false;
    for (const std::unique_ptr<Range> &range : ranges_) {
        if (!range->recorded.first || group.key < *range->recorded.first || group.key > *range->recorded.last)
            continue;
        if (range->runRowsOnly && !group.runCode)
            continue;
        if (range->takeBackRowsOnly && !(group.correctionCode && group.postings.isEmpty()))
            continue;
        covered = true;
        range->digest.addData(group.isi);
        ++range->count;
    }
    matched_ += group.postings.size();
    if (group.postings.isEmpty()) {
        if (!covered)
            find(QStringLiteral("nabubg"), group.key,
                 QStringLiteral("nabubg baris %1 (rekening %2): tidak ada baris jejaknya (setoran atau penarikan) "
                                "dan tidak termasuk impor mana pun: ditambah di luar SIMPARO.")
                     .arg(group.key)
                     .arg(textform::printable(account)));
        return;
    }
    if (group.postings.size() > 1) {
        QStringList numbers;
        for (const auto &posting : group.postings)
            numbers << QString::number(posting.first);
        find(QStringLiteral("nabubg"), group.key,
             QStringLiteral("nabubg baris %1 (rekening %2): punya %3 baris jejak (nomor %4), seharusnya satu.")
                 .arg(group.key)
                 .arg(textform::printable(account))
                 .arg(group.postings.size())
                 .arg(numbers.join(QStringLiteral(", "))));
    }
    for (const auto &[nomor, sealed] : group.postings) {
        if (sealed == group.isi && sealed.isNull() == group.isi.isNull())
            continue;
        // Told in the words of the row's columns; read as text only now.
        find(QStringLiteral("nabubg"), group.key,
             QStringLiteral("nabubg baris %1 (rekening %2): berbeda dari jejak nomor %3: %4.")
                 .arg(group.key)
                 .arg(textform::printable(account))
                 .arg(nomor)
                 .arg(differences(QString::fromUtf8(sealed), QString::fromUtf8(group.isi))));
    }
}

} // namespace checking

using checking::Checker;

Outcome check(QSqlDatabase &database, CheckResult *result, int keep, const std::optional<trailhead::Head> &seen)
{
    *result = CheckResult();
    QSqlError failure;
    if (!db::hasTrail(database, &result->hasTrail, &failure))
        return Outcome::failed(db::describeError(failure, database));
    if (!db::dialect(database).beginSnapshot(database, &failure))
        return Outcome::failed(db::describeError(failure, database));
    Checker checker(result, keep);
    Outcome outcome = Outcome::ok();
    if (result->hasTrail) {
        outcome = checker.checkRules(database);
        if (outcome.isOk())
            outcome = checker.walkTrail(database, seen);
        if (outcome.isOk())
            outcome = checker.honourOwnersRows(database);
    }
    if (outcome.isOk())
        outcome = checker.walkLedger(database);
    if (outcome.isOk())
        outcome = checker.findGone(database);
    if (outcome.isOk() && result->hasTrail)
        outcome = checker.walkRegister(database);
    if (outcome.isOk() && result->hasTrail)
        outcome = checker.checkSupervision(database);
    checker.finishRanges();
    db::endWrite(database, false); // the snapshot ends

    return outcome;
}

} // namespace audit
