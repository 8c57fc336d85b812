#include "data/trail/registertrail.h"

#include "data/trail/audit.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/textforms.h"

#include <QSqlError>
#include <QSqlQuery>
#include <algorithm>
#include <limits>
#include <memory>

namespace audit {

namespace {

QByteArrayView textOf(const db::Value &value)
{
    return value.type == db::Value::Type::Text ? value.text : QByteArrayView();
}

// A content with every NULL field as an empty text: the form in which bulk rows
// are recorded. Nothing when it is no content.
std::optional<QByteArray> recordedForm(const std::optional<QList<QString>> &fields)
{
    if (!fields || fields->size() != schema::daftar().columns.size())
        return std::nullopt;
    QByteArray record;
    for (const QString &field : *fields)
        appendField(&record, field.isNull() ? QStringLiteral("") : field);
    return record;
}

std::optional<QByteArray> recordedForm(const QByteArray &content)
{
    return recordedForm(fieldsOf(QString::fromUtf8(content)));
}

// The row as it stood before a change, from the change's row: its content after
// the change, each changed column put back to its old value.
std::optional<QByteArray> beforeChange(const QByteArray &isi, const QString &rincian)
{
    std::optional<QList<QString>> fields = fieldsOf(QString::fromUtf8(isi));
    const QList<schema::Column> &columns = schema::daftar().columns;
    if (!fields || fields->size() != columns.size())
        return std::nullopt;
    QList<QString> before = *fields;
    for (const QString &line : rincian.split(u'\n', Qt::SkipEmptyParts)) {
        for (int c = 0; c < columns.size(); ++c) {
            if (!line.startsWith(columns.at(c).name + QStringLiteral(": "), Qt::CaseInsensitive))
                continue;
            const QString after = fields->at(c).isNull() ? QStringLiteral("") : fields->at(c);
            const std::optional<QString> old = changedFrom(line, columns.at(c).name, after);
            if (!old)
                return std::nullopt;
            before[c] = *old;
        }
    }
    return recordedForm(before);
}

QString shown(const QString &value)
{
    return value.isNull() ? QStringLiteral("(kosong)") : QStringLiteral("\"%1\"").arg(textform::printable(value));
}

// What differs between a register row's content as sealed in jejak and as it stands.
QString differences(const QByteArray &sealed, const QByteArray &now)
{
    const std::optional<QList<QString>> before = fieldsOf(QString::fromUtf8(sealed));
    const std::optional<QList<QString>> after = fieldsOf(QString::fromUtf8(now));
    const QList<schema::Column> &columns = schema::daftar().columns;
    if (!before || !after || before->size() != columns.size() || after->size() != columns.size())
        return QStringLiteral("isi di jejak tidak terbaca");
    QStringList differing;
    for (int c = 0; c < columns.size(); ++c)
        if (before->at(c).isNull() != after->at(c).isNull() || before->at(c) != after->at(c))
            differing << QStringLiteral("%1 sekarang %2, di jejak %3")
                             .arg(columns.at(c).name, shown(after->at(c)), shown(before->at(c)));
    return differing.join(QStringLiteral("; "));
}

} // namespace

Outcome coverRegister(QSqlDatabase &database, RegisterCoverage *coverage, std::optional<qint64> first,
                      std::optional<qint64> last)
{
    *coverage = RegisterCoverage();
    const QString key = db::keyColumn(database);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT %1, %2 FROM daftar ORDER BY %1")
                        .arg(key, contentColumns(QStringLiteral("daftar")).join(u','))))
        return Outcome::failed(db::describeError(query.lastError(), database));
    QCryptographicHash digest(QCryptographicHash::Sha256);
    const int columns = int(schema::daftar().columns.size());
    QVector<QVariant> values(columns);
    while (query.next()) {
        const qint64 at = query.value(0).toLongLong();
        if ((first && at < *first) || (last && at > *last))
            continue;
        for (int c = 0; c < columns; ++c)
            values[c] = query.value(c + 1);
        if (!coverage->first)
            coverage->first = at;
        coverage->last = at;
        ++coverage->count;
        digest.addData(recordedForm(rowContent(QStringLiteral("daftar"), values).toUtf8()).value_or(QByteArray()));
    }
    if (query.lastError().isValid())
        return Outcome::failed(db::describeError(query.lastError(), database));
    coverage->digest = digest.result().toHex();
    return Outcome::ok();
}

QString registerCoverageDetails(const RegisterCoverage &coverage)
{
    QStringList lines;
    if (coverage.first && coverage.last)
        lines << QStringLiteral("daftar=%1-%2").arg(*coverage.first).arg(*coverage.last);
    lines << QStringLiteral("daftar_jumlah=%1").arg(coverage.count)
          << QStringLiteral("daftar_digest=") + QString::fromLatin1(coverage.digest);
    return lines.join(u'\n');
}

std::optional<RegisterCoverage> registerCoverageOf(const QString &rincian)
{
    RegisterCoverage coverage;
    bool counted = false;
    for (const auto &[key, value] : detailValues(rincian)) {
        if (key == QLatin1String("daftar")) {
            const qsizetype dash = value.indexOf(u'-', 1);
            bool firstOk = false, lastOk = false;
            coverage.first = value.left(dash).toLongLong(&firstOk);
            coverage.last = value.mid(dash + 1).toLongLong(&lastOk);
            if (dash < 0 || !firstOk || !lastOk)
                return std::nullopt;
        } else if (key == QLatin1String("daftar_jumlah")) {
            coverage.count = value.toLongLong(&counted);
        } else if (key == QLatin1String("daftar_digest")) {
            coverage.digest = value.toLatin1();
        }
    }
    if (!counted)
        return std::nullopt;
    return coverage;
}

void RegisterCheck::trailRow(qint64 nomor, const db::Value *values)
{
    const QByteArrayView tindakan = textOf(values[7]);
    if (textOf(values[8]) != "daftar" || values[9].type != db::Value::Type::Integer)
        return;
    Kind kind;
    if (tindakan == action::kNewCustomer)
        kind = Kind::New;
    else if (tindakan == action::kCustomerChange)
        kind = Kind::Change;
    else if (tindakan == action::kCustomerDeletion)
        kind = Kind::Delete;
    else
        return;
    const qint64 key = values[9].integer;
    KeyState &state = keys_[key];
    const QByteArray isi = textOf(values[12]).toByteArray();
    // The row before the first write since the last bulk row: what that bulk row
    // may have brought in. Nothing is kept where no bulk row came before.
    if (epoch_ > 0 && (state.originals.isEmpty() || state.originals.constLast().epoch != epoch_)) {
        Original original{epoch_, std::nullopt, true};
        if (kind == Kind::Delete)
            original.content = recordedForm(isi);
        else if (kind == Kind::Change)
            original.content = beforeChange(isi, QString::fromUtf8(textOf(values[11])));
        original.readable = kind == Kind::New || original.content.has_value();
        state.originals << original;
    }
    if (kind == Kind::New)
        newKeys_[epoch_] = std::min(newKeys_.value(epoch_, key), key);
    state.lastNomor = nomor;
    state.lastKind = kind;
    state.lastIsi = isi;
    state.account = QString::fromUtf8(textOf(values[10]));
}

void RegisterCheck::covers(qint64 nomor, const QString &tindakan, const std::optional<RegisterCoverage> &coverage)
{
    if (!coverage) {
        olderNomor_ = std::max(olderNomor_, nomor);
        return;
    }
    auto covered = std::make_unique<Covered>();
    covered->nomor = nomor;
    covered->tindakan = tindakan;
    covered->recorded = *coverage;
    covered_.push_back(std::move(covered));
}

void RegisterCheck::judge(qint64 key, const std::optional<QByteArray> &now, const QString &account,
                          const KeyState *state, const RegisterFinding &find)
{
    const QString row = QStringLiteral("daftar baris %1 (rekening %2)").arg(key).arg(textform::printable(account));
    qint64 lastCover = 0;
    for (const std::unique_ptr<Covered> &covered : covered_) {
        const RegisterCoverage &range = covered->recorded;
        if (!range.first || key < *range.first || key > *range.last)
            continue;
        lastCover = std::max(lastCover, covered->nomor);
        // The row as the bulk row brought it in: as it was before its first write
        // after that row, or as it stands when it was not written since.
        const Original *original = nullptr;
        if (state)
            for (const Original &candidate : state->originals)
                if (candidate.epoch >= covered->nomor) {
                    original = &candidate;
                    break;
                }
        const std::optional<QByteArray> content = original ? original->content : now ? recordedForm(*now) : std::nullopt;
        if (original && !original->readable)
            covered->unreadable = true;
        else if (content) {
            ++covered->count;
            covered->digest.addData(*content);
        }
    }
    if (state && state->lastNomor > lastCover) {
        const QString tindakan = state->lastKind == Kind::New      ? QLatin1String(action::kNewCustomer)
                                 : state->lastKind == Kind::Change ? QLatin1String(action::kCustomerChange)
                                                                   : QLatin1String(action::kCustomerDeletion);
        if (state->lastKind == Kind::Delete) {
            if (now)
                find(key, QStringLiteral("%1: ada, padahal jejak nomor %2 mencatat penghapusannya: ditambah lagi di "
                                         "luar SIMPARO.")
                              .arg(row)
                              .arg(state->lastNomor));
        } else if (!now) {
            find(key, QStringLiteral("%1: hilang; jejak nomor %2 mencatat %3 baris itu: dihapus di luar SIMPARO.")
                          .arg(row)
                          .arg(state->lastNomor)
                          .arg(tindakan));
        } else if (*now != state->lastIsi) {
            find(key, QStringLiteral("%1: berbeda dari jejak nomor %2 (%3): %4: diubah di luar SIMPARO.")
                          .arg(row)
                          .arg(state->lastNomor)
                          .arg(tindakan, differences(state->lastIsi, *now)));
        }
        return;
    }
    if (!now || lastCover > 0)
        return;
    // No trail row of its own and no bulk row that records it: brought in before
    // the register was recorded (below the first customer registered since), or
    // added outside the program.
    std::optional<qint64> firstNew;
    for (auto it = newKeys_.cbegin(); it != newKeys_.cend(); ++it)
        if (it.key() >= olderNomor_ && (!firstNew || it.value() < *firstNew))
            firstNew = it.value();
    if (olderNomor_ > 0 && (!firstNew || key < *firstNew)) {
        if (unvouched_.size() < 10)
            unvouched_ << key;
        ++unvouchedCount_;
        return;
    }
    find(key, QStringLiteral("%1: tidak ada baris jejaknya (%2) dan tidak termasuk impor mana pun: ditambah di luar "
                             "SIMPARO.")
                  .arg(row, QLatin1String(action::kNewCustomer)));
}

Outcome RegisterCheck::walk(QSqlDatabase &database, const RegisterFinding &find, QStringList *notices)
{
    QList<qint64> written = keys_.keys();
    std::sort(written.begin(), written.end());
    qsizetype next = 0;
    const auto judgeWritten = [&](qint64 below) {
        for (; next < written.size() && written.at(next) < below; ++next) {
            const KeyState &state = keys_[written.at(next)];
            judge(written.at(next), std::nullopt, state.account, &state, find);
        }
    };
    const int count = int(schema::daftar().columns.size());
    {
        const std::unique_ptr<db::RowStream> rows = db::dialect(database).stream(
            database, QStringLiteral("SELECT %1, %2 FROM daftar ORDER BY %1")
                          .arg(db::keyColumn(database), contentColumns(QStringLiteral("daftar")).join(u',')));
        std::vector<db::Value> values(count);
        while (rows->next()) {
            const db::Value at = rows->value(0);
            const qint64 key = at.type == db::Value::Type::Integer ? at.integer : textOf(at).toLongLong();
            for (int c = 0; c < count; ++c)
                values[c] = rows->value(c + 1);
            judgeWritten(key);
            const auto found = keys_.constFind(key);
            const KeyState *state = found == keys_.constEnd() ? nullptr : &found.value();
            if (state)
                ++next;
            judge(key, rowContent(QStringLiteral("daftar"), values.data()), QString::fromUtf8(textOf(values[0])), state,
                  find);
        }
        if (rows->error().isValid())
            return Outcome::failed(db::describeError(rows->error(), database));
    }
    judgeWritten(std::numeric_limits<qint64>::max());

    for (const std::unique_ptr<Covered> &covered : covered_) {
        const RegisterCoverage &recorded = covered->recorded;
        const QString rows = recorded.first ? QStringLiteral("daftar baris %1-%2").arg(*recorded.first).arg(*recorded.last)
                                            : QStringLiteral("daftar");
        if (covered->unreadable)
            find(recorded.first.value_or(0),
                 QStringLiteral("%1 (%2, jejak nomor %3): isi lama baris yang diubah sesudahnya tidak terbaca dari "
                                "jejaknya.")
                     .arg(rows, covered->tindakan)
                     .arg(covered->nomor));
        else if (covered->count != recorded.count)
            find(recorded.first.value_or(0),
                 QStringLiteral("%1 (%2, jejak nomor %3): %4 baris, tercatat %5 baris: baris dihapus atau ditambah "
                                "di luar SIMPARO.")
                     .arg(rows, covered->tindakan)
                     .arg(covered->nomor)
                     .arg(covered->count)
                     .arg(recorded.count));
        else if (covered->digest.result().toHex() != recorded.digest)
            find(recorded.first.value_or(0),
                 QStringLiteral("%1 (%2, jejak nomor %3): isinya berbeda dari yang tercatat (digest): baris diubah "
                                "di luar SIMPARO.")
                     .arg(rows, covered->tindakan)
                     .arg(covered->nomor));
    }
    if (unvouchedCount_ > 0) {
        QStringList keys;
        for (const qint64 key : std::as_const(unvouched_))
            keys << QString::number(key);
        notices->append(QStringLiteral("Catatan: %1 baris daftar tanpa baris jejak sendiri (baris %2%3) masuk lewat "
                                       "impor atau pemasangan jejak sebelum daftar ikut dicatat (jejak nomor %4): "
                                       "isinya tidak bisa diperiksa.")
                            .arg(unvouchedCount_)
                            .arg(keys.join(QStringLiteral(", ")),
                                 unvouchedCount_ > keys.size() ? QStringLiteral(", ...") : QString())
                            .arg(olderNomor_));
    }
    return Outcome::ok();
}

} // namespace audit
