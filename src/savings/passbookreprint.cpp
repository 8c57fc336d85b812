// A reprint and a position set by hand: both need a supervisor's approval, used
// inside the write that records them (on a server the server checks its grant).
#include "savings/passbook_p.h"

#include "data/base/session.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/trail/ledgerchain.h"

#include <QSqlError>
#include <QSqlQuery>

namespace passbook {

namespace text {
const char *const kChooseRow = "PILIH DULU BARIS DI TABEL";
const char *const kNotPrinted = "CETAK ULANG HANYA UNTUK BARIS YANG SUDAH DICETAK DI BUKU INI";
const char *const kPositionInvalid = "HALAMAN ATAU BARIS TIDAK SAH";
} // namespace text

namespace {

supervision::Request requestFor(const char *action, const QString &account)
{
    supervision::Request asked;
    asked.action = QLatin1String(action);
    asked.account = account;
    // An approval names an amount; these name none.
    asked.amount = Money::fromRupiah(1);
    return asked;
}

// On a server: the approval's grant, used up by this transaction; the supervisor's name.
Outcome useGrant(QSqlDatabase &database, const supervision::Request &request, const supervision::Approval &approval,
                 QString *supervisor)
{
    *supervisor = approval.supervisor;
    if (!db::dialect(database).hasOperatorRoles())
        return approval.supervisor.isEmpty() ? Outcome::refused(QString::fromLatin1(supervision::text::kNeedsApproval))
                                             : Outcome::ok();
    if (!approval.grant)
        return Outcome::refused(QStringLiteral("PERLU PERSETUJUAN PENYELIA"));
    QSqlQuery query(database);
    if (!query.prepare(QStringLiteral("SELECT simparo_pakai_persetujuan(CAST(? AS bigint), CAST(? AS text), "
                                      "CAST(? AS text), CAST(? AS double precision))")))
        return Outcome::failed(db::describeError(query.lastError(), database));
    for (const QVariant &value : QVariantList{*approval.grant, request.action, request.account, request.amount.toDouble()})
        query.addBindValue(value);
    if (!query.exec())
        return Outcome::failed(db::describeError(query.lastError(), database));
    if (query.next())
        *supervisor = query.value(0).toString();
    return Outcome::ok();
}

} // namespace

supervision::Request reprintRequest(const QString &account)
{
    return requestFor(kReprintAction, account);
}

supervision::Request positionRequest(const QString &account)
{
    return requestFor(kPositionAction, account);
}

Outcome reprintLines(QSqlDatabase &database, const Book &book, qint64 fromKey, QVector<QVector<Line>> *pages)
{
    pages->clear();
    QVector<QPair<qint64, Position>> printed;
    const Outcome outcome = printedPositions(database, book.account, &printed);
    if (!outcome.isOk())
        return outcome;
    QHash<qint64, Position> where;
    for (const auto &[key, position] : std::as_const(printed))
        where.insert(key, position);
    const auto fromAt = where.constFind(fromKey);
    if (fromAt == where.constEnd() || fromAt->book != book.last.book || !book.lastKey || fromKey > *book.lastKey)
        return Outcome::refused(QString::fromLatin1(text::kNotPrinted));
    for (const Row &row : book.rows) {
        if (row.key < fromKey || row.key > *book.lastKey || !where.contains(row.key))
            continue;
        const Position at = where.value(row.key);
        if (at.book != book.last.book)
            continue;
        if (pages->isEmpty() || pages->last().last().at.page != at.page)
            pages->append(QVector<Line>());
        pages->last().append(Line{at, row, Money()});
    }
    return pages->isEmpty() ? Outcome::refused(QString::fromLatin1(text::kNotPrinted)) : Outcome::ok();
}

Outcome recordReprint(const QString &connectionText, const QString &account, qint64 fromKey,
                      const supervision::Approval &approval, QVector<QVector<Line>> *pages)
{
    return db::writeAlone(connectionText, [&](QSqlDatabase &database) {
        Book book;
        Outcome outcome = lockedBook(database, account, &book);
        if (!outcome.isOk())
            return outcome;
        outcome = reprintLines(database, book, fromKey, pages);
        if (!outcome.isOk())
            return outcome;
        Stored row;
        row.kind = Kind::Reprint;
        row.book = book.last.book;
        row.firstKey = pages->first().first().row->key;
        row.lastKey = pages->last().last().row->key;
        row.first = pages->first().first().at;
        row.last = pages->last().last().at;
        outcome = useGrant(database, reprintRequest(account), approval, &row.supervisor);
        if (!outcome.isOk())
            return outcome;
        return appendPrint(database, account, row);
    });
}

Outcome setPosition(const QString &connectionText, const QString &account, qint64 lastKey, int page, int line,
                    const Layout &layout, const supervision::Approval &approval)
{
    if (page < 1 || page > layout.pages || line < 1 || line > layout.lines)
        return Outcome::refused(QString::fromLatin1(text::kPositionInvalid));
    return db::writeAlone(connectionText, [&](QSqlDatabase &database) {
        Book book;
        Outcome outcome = lockedBook(database, account, &book);
        if (!outcome.isOk())
            return outcome;
        if (std::none_of(book.rows.cbegin(), book.rows.cend(), [&](const Row &row) { return row.key == lastKey; }))
            return Outcome::refused(QString::fromLatin1(text::kChooseRow));
        Stored row;
        row.kind = Kind::SetPosition;
        row.book = book.last.book;
        row.lastKey = lastKey;
        // The line before the next one: line 0 when the next row opens the page.
        row.first = row.last = Position{book.last.book, page, line - 1};
        outcome = useGrant(database, positionRequest(account), approval, &row.supervisor);
        if (!outcome.isOk())
            return outcome;
        return appendPrint(database, account, row);
    });
}

} // namespace passbook
