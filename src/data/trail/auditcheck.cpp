#include "data/trail/auditcheck.h"

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

namespace {

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

Outcome Checker::walkLedger(QSqlDatabase &database)
{
    const QString key = db::keyColumn(database);
    QStringList columns;
    for (const QString &column : contentColumns(QStringLiteral("nabubg")))
        columns << QStringLiteral("n.") + column;
    // Posting rows of jejak come beside their ledger row (the index on tabel and kunci).
    const QString sql = result_->hasTrail
                            ? QStringLiteral("SELECT n.%1, %2, j.nomor, j.isi FROM nabubg n LEFT JOIN jejak j "
                                             "ON j.tabel = 'nabubg' AND j.kunci = n.%1 AND j.tindakan IN %3 ORDER BY n.%1")
                                  .arg(key, columns.join(u','), postingActions())
                            : QStringLiteral("SELECT n.%1, %2, NULL, NULL FROM nabubg n ORDER BY n.%1")
                                  .arg(key, columns.join(u','));
    const std::unique_ptr<db::RowStream> rows = db::dialect(database).stream(database, sql);
    Group group;
    bool pending = false;
    db::Value values[8];
    const QString table = QStringLiteral("nabubg");
    while (rows->next()) {
        const qint64 at = integerOf(rows->value(0));
        if (!pending || at != group.key) {
            if (pending)
                finishGroup(group);
            pending = true;
            group.key = at;
            for (int c = 0; c < 8; ++c)
                values[c] = rows->value(c + 1);
            group.isi = rowContent(table, values);
            group.runCode = textOf(values[3]) == "03" || textOf(values[3]) == "04";
            group.correctionCode = textOf(values[3]) == "05";
            group.row = ledger::rowOf(at, variantOf(values[0]), variantOf(values[2]), variantOf(values[5]),
                                      variantOf(values[6]), variantOf(values[7]));
            group.postings.clear();
        }
        const db::Value nomor = rows->value(9);
        if (nomor.type != db::Value::Type::Null) {
            const db::Value isi = rows->value(10);
            group.postings.append({integerOf(nomor), isi.type == db::Value::Type::Null ? QByteArray()
                                                                                       : isi.text.toByteArray()});
        }
    }
    if (pending)
        finishGroup(group);
    if (rows->error().isValid())
        return Outcome::failed(db::describeError(rows->error(), database));
    result_->ledger = chains_.summary();
    return Outcome::ok();
}

Outcome Checker::findGone(QSqlDatabase &database)
{
    // Only when some posting rows of the chain met no ledger row.
    if (!result_->hasTrail || matched_ >= postings_)
        return Outcome::ok();
    const QString key = db::keyColumn(database);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT j.nomor, j.kunci, j.norekening, j.tindakan FROM jejak j "
                                   "WHERE j.tabel = 'nabubg' AND j.kunci IS NOT NULL AND j.tindakan IN %1 "
                                   "AND NOT EXISTS (SELECT 1 FROM nabubg n WHERE n.%2 = j.kunci) ORDER BY j.nomor")
                        .arg(postingActions(), key)))
        return Outcome::failed(db::describeError(query.lastError(), database));
    while (query.next())
        find(QStringLiteral("nabubg"), query.value(1).toLongLong(),
             QStringLiteral("nabubg baris %1 (rekening %2): hilang; jejak nomor %3 mencatat %4 baris itu: "
                            "dihapus di luar SIMPARO.")
                 .arg(query.value(1).toLongLong())
                 .arg(textform::printable(query.value(2).toString()))
                 .arg(query.value(0).toLongLong())
                 .arg(textform::printable(query.value(3).toString())));
    if (query.lastError().isValid())
        return Outcome::failed(db::describeError(query.lastError(), database));
    return Outcome::ok();
}

// The supervisors' rows: every setting is the new value of its latest trail row,
// and every block event has its trail row (written in the same transaction).
Outcome Checker::checkSupervision(QSqlDatabase &database)
{
    QStringList tables, views;
    QSqlError failure;
    if (!db::dialect(database).relationNames(database, &tables, &views, &failure))
        return Outcome::failed(db::describeError(failure, database));
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (tables.contains(QStringLiteral("pengaturan"), Qt::CaseInsensitive)) {
        QHash<QString, QPair<qint64, QString>> recorded; // key -> the latest trail row and its new value
        if (!query.exec(QStringLiteral("SELECT nomor, rincian FROM jejak WHERE tindakan = 'pengaturan ubah' "
                                       "ORDER BY nomor")))
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next()) {
            const QStringList lines = query.value(1).toString().split(u'\n');
            for (const QString &line : lines) {
                const qsizetype colon = line.indexOf(QLatin1String(": "));
                const qsizetype arrow = line.lastIndexOf(QLatin1String(" -> "));
                if (colon > 0 && arrow > colon)
                    recorded.insert(line.left(colon), {query.value(0).toLongLong(), line.mid(arrow + 4)});
            }
        }
        if (!query.exec(QStringLiteral("SELECT kunci, nilai FROM pengaturan ORDER BY kunci")))
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next()) {
            const QString key = query.value(0).toString();
            const QString value = query.value(1).toString();
            const auto found = recorded.constFind(key);
            if (found == recorded.constEnd())
                find(QStringLiteral("pengaturan"), 0,
                     QStringLiteral("pengaturan %1 = %2: tidak ada baris jejaknya: ditulis di luar SIMPARO.")
                         .arg(key, textform::printable(value)));
            else if (found->second != value)
                find(QStringLiteral("pengaturan"), 0,
                     QStringLiteral("pengaturan %1 = %2, jejak nomor %3 mencatat %4: diubah di luar SIMPARO.")
                         .arg(key, textform::printable(value))
                         .arg(found->first)
                         .arg(textform::printable(found->second)));
        }
    }
    if (tables.contains(QStringLiteral("blokir"), Qt::CaseInsensitive)) {
        if (!query.exec(QStringLiteral("SELECT b.id, b.norekening FROM blokir b WHERE NOT EXISTS (SELECT 1 FROM jejak j "
                                       "WHERE j.tabel = 'blokir' AND j.kunci = b.id AND j.norekening = b.norekening "
                                       "AND j.tindakan IN ('blokir', 'buka blokir') "
                                       "AND j.rincian LIKE 'jenis=' || b.jenis || '%') ORDER BY b.id")))
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next())
            find(QStringLiteral("blokir"), query.value(0).toLongLong(),
                 QStringLiteral("blokir baris %1 (rekening %2): tidak ada baris jejaknya: ditulis di luar SIMPARO.")
                     .arg(query.value(0).toLongLong())
                     .arg(textform::printable(query.value(1).toString())));
    }
    // Every print of a passbook has its trail row, written in the same transaction.
    if (tables.contains(QStringLiteral("cetak_buku"), Qt::CaseInsensitive)) {
        if (!query.exec(QStringLiteral("SELECT c.id, c.norekening FROM cetak_buku c WHERE NOT EXISTS (SELECT 1 FROM "
                                       "jejak j WHERE j.tabel = 'cetak_buku' AND j.kunci = c.id "
                                       "AND j.norekening = c.norekening AND j.tindakan = CASE c.jenis "
                                       "WHEN 'cetak' THEN '%1' WHEN 'ulang' THEN '%2' WHEN 'baru' THEN '%3' "
                                       "ELSE '%4' END) ORDER BY c.id")
                            .arg(QLatin1String(action::kPassbookPrint), QLatin1String(action::kPassbookReprint),
                                 QLatin1String(action::kNewPassbook), QLatin1String(action::kPassbookPosition))))
            return Outcome::failed(db::describeError(query.lastError(), database));
        while (query.next())
            find(QStringLiteral("cetak_buku"), query.value(0).toLongLong(),
                 QStringLiteral("cetak_buku baris %1 (rekening %2): tidak ada baris jejaknya: ditulis di luar SIMPARO.")
                     .arg(query.value(0).toLongLong())
                     .arg(textform::printable(query.value(1).toString())));
    }
    return Outcome::ok();
}

void Checker::finishRanges()
{
    for (const std::unique_ptr<Range> &range : ranges_) {
        const Coverage &recorded = range->recorded;
        const QString rows = recorded.first ? QStringLiteral("nabubg baris %1-%2").arg(*recorded.first).arg(*recorded.last)
                                            : QStringLiteral("nabubg");
        if (range->count != recorded.count)
            find(QStringLiteral("nabubg"), recorded.first.value_or(0),
                 QStringLiteral("%1 (%2, jejak nomor %3): %4 baris, tercatat %5 baris: baris dihapus atau ditambah "
                                "di luar SIMPARO.")
                     .arg(rows, range->tindakan)
                     .arg(range->nomor)
                     .arg(range->count)
                     .arg(recorded.count));
        else if (range->digest.result().toHex() != recorded.digest)
            find(QStringLiteral("nabubg"), recorded.first.value_or(0),
                 QStringLiteral("%1 (%2, jejak nomor %3): isinya berbeda dari yang tercatat (digest): "
                                "baris diubah di luar SIMPARO.")
                     .arg(rows, range->tindakan)
                     .arg(range->nomor));
    }
}

} // namespace

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
