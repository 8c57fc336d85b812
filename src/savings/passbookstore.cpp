// The passbook's rows in the database: the book as it stands, and the writes
// of a print and a new book, each with its trail row.
#include "savings/passbook_p.h"

#include "data/base/session.h"
#include "data/base/textforms.h"
#include "data/engine/dialect.h"
#include "data/engine/pool.h"
#include "data/engine/writealone.h"
#include "data/trail/audit.h"
#include "data/trail/ledgerchain.h"
#include "savings/posting.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

namespace passbook {

namespace {

using db::run;

Outcome tablesPresent(QSqlDatabase &database, bool *trail)
{
    QStringList tables, views;
    QSqlError failure;
    if (!db::dialect(database).relationNames(database, &tables, &views, &failure))
        return Outcome::failed(db::describeError(failure, database));
    *trail = tables.contains(QStringLiteral("jejak"), Qt::CaseInsensitive);
    if (!tables.contains(QStringLiteral("cetak_buku"), Qt::CaseInsensitive))
        return Outcome::refused(QString::fromLatin1(text::kNotUpgraded));
    return Outcome::ok();
}

Money amount(const QVariant &stored)
{
    return Money::fromStored(stored).value_or(Money());
}

QString actionOf(Kind kind)
{
    switch (kind) {
    case Kind::Reprint:
        return QLatin1String(audit::action::kPassbookReprint);
    case Kind::NewBook:
        return QLatin1String(audit::action::kNewPassbook);
    case Kind::SetPosition:
        return QLatin1String(audit::action::kPassbookPosition);
    case Kind::Print:
        break;
    }
    return QLatin1String(audit::action::kPassbookPrint);
}

QString place(const Position &position)
{
    return QStringLiteral("%1/%2/%3").arg(position.book).arg(position.page).arg(position.line);
}

QVariant key(const std::optional<qint64> &value)
{
    return value ? QVariant(*value) : QVariant(QMetaType(QMetaType::LongLong));
}

} // namespace

// Appends the row and its trail row, inside the caller's write transaction.
Outcome lockedBook(QSqlDatabase &database, const QString &account, Book *book)
{
    const Outcome locked = ledger::lockAccount(database, account);
    return locked.isOk() ? readBook(database, account, book) : locked;
}

Outcome appendPrint(QSqlDatabase &database, const QString &account, const Stored &row)
{
    const bool server = db::dialect(database).hasOperatorRoles();
    QSqlQuery query;
    Outcome outcome = run(
        database,
        QStringLiteral("INSERT INTO cetak_buku (norekening, nobuku, jenis, kunci_awal, kunci_akhir, halaman_awal, "
                       "baris_awal, halaman_akhir, baris_akhir, saldo_pindahan, penyelia, kasir, loket, waktu) "
                       "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)%1")
            .arg(server ? QStringLiteral(" RETURNING id") : QString()),
        {account, row.book, kindText(row.kind), key(row.firstKey), key(row.lastKey), row.first.page, row.first.line,
         row.last.page, row.last.line,
         row.carried ? QVariant(row.carried->sen()) : QVariant(QMetaType(QMetaType::LongLong)),
         row.supervisor.isNull() ? QStringLiteral("") : row.supervisor, session::operatorName(),
         session::counterName().isNull() ? QStringLiteral("") : session::counterName(),
         QDateTime::currentDateTime().toString(Qt::ISODate)},
        &query);
    if (!outcome.isOk())
        return Outcome::failed(refusalOf(outcome.message()));
    const qint64 id = server && query.next() ? query.value(0).toLongLong() : query.lastInsertId().toLongLong();
    query.finish();
    audit::Entry entry;
    entry.tindakan = actionOf(row.kind);
    entry.tabel = QStringLiteral("cetak_buku");
    entry.kunci = id;
    entry.norekening = account;
    QStringList lines{audit::detail(QStringLiteral("buku"), QString::number(row.book)),
                      audit::detail(QStringLiteral("dari"), place(row.first)),
                      audit::detail(QStringLiteral("sampai"), place(row.last))};
    if (row.firstKey)
        lines << audit::detail(QStringLiteral("nabubg"),
                               QStringLiteral("%1-%2").arg(*row.firstKey).arg(row.lastKey.value_or(0)));
    if (row.carried)
        lines << audit::detail(QStringLiteral("saldo_pindahan"), row.carried->toText());
    if (!row.supervisor.isEmpty())
        lines << audit::detail(QStringLiteral("penyelia"), row.supervisor);
    entry.rincian = lines.join(u'\n');
    return audit::append(database, entry);
}

Outcome readBook(QSqlDatabase &database, const QString &account, Book *book)
{
    *book = Book();
    book->account = account;
    bool trail = false;
    Outcome outcome = tablesPresent(database, &trail);
    if (!outcome.isOk())
        return outcome;
    outcome = posting::registeredName(database, account, &book->name);
    if (!outcome.isOk())
        return outcome;
    QSqlQuery query;
    outcome = run(database,
                  QStringLiteral("SELECT nobuku, kunci_akhir, halaman_akhir, baris_akhir FROM cetak_buku "
                                 "WHERE norekening = ? AND jenis <> 'ulang' ORDER BY id DESC LIMIT 1"),
                  {account}, &query);
    if (!outcome.isOk())
        return outcome;
    if (query.next()) {
        book->last = {query.value(0).toInt(), query.value(2).toInt(), query.value(3).toInt()};
        if (!query.value(1).isNull())
            book->lastKey = query.value(1).toLongLong();
    }
    query.finish();
    outcome = run(database,
                  QStringLiteral("SELECT saldo_pindahan FROM cetak_buku WHERE norekening = ? AND jenis = 'baru' "
                                 "AND nobuku = ? ORDER BY id DESC LIMIT 1"),
                  {account, book->last.book}, &query);
    if (!outcome.isOk())
        return outcome;
    if (query.next())
        book->carried = Money::fromSen(query.value(0).toLongLong());
    query.finish();
    const QString keyColumn = db::keyColumn(database);
    // Who posted each row: the operator its trail row names.
    const QString who = trail ? QStringLiteral("(SELECT j.\"operator\" FROM jejak j WHERE j.tabel = 'nabubg' "
                                               "AND j.kunci = n.%1 ORDER BY j.nomor LIMIT 1)")
                                    .arg(keyColumn)
                              : QStringLiteral("NULL");
    outcome = run(database,
                  QStringLiteral("SELECT n.%1, n.TANGGAL, n.kode, n.Jenis, n.debet, n.kredit, n.saldo, %2 "
                                 "FROM nabubg n WHERE n.norekening = ? ORDER BY n.%1")
                      .arg(keyColumn, who),
                  {account}, &query);
    if (!outcome.isOk())
        return outcome;
    while (query.next()) {
        Row row;
        row.key = query.value(0).toLongLong();
        row.date = textform::storedDate(query.value(1));
        row.code = query.value(2).toString();
        row.kind = query.value(3).toString();
        row.debet = amount(query.value(4));
        row.kredit = amount(query.value(5));
        row.saldo = amount(query.value(6));
        row.operatorName = query.value(7).toString();
        book->rows << row;
    }
    return Outcome::ok();
}

Outcome readBook(const QString &connectionText, const QString &account, Book *book)
{
    return db::readAlone(connectionText, [&](QSqlDatabase &database) { return readBook(database, account, book); });
}

Outcome printedPositions(QSqlDatabase &database, const QString &account, QVector<QPair<qint64, Position>> *lines)
{
    lines->clear();
    QSqlQuery query;
    // Each print row holds consecutive rows of the account on one page.
    const Outcome outcome = run(
        database,
        QStringLiteral("SELECT c.id, c.nobuku, c.halaman_awal, c.baris_awal, n.%1 FROM cetak_buku c "
                       "JOIN nabubg n ON n.norekening = c.norekening AND n.%1 BETWEEN c.kunci_awal AND c.kunci_akhir "
                       "WHERE c.norekening = ? AND c.jenis = 'cetak' ORDER BY c.id, n.%1")
            .arg(db::keyColumn(database)),
        {account}, &query);
    if (!outcome.isOk())
        return outcome;
    qint64 previous = -1;
    int line = 0;
    while (query.next()) {
        // A print row's rows go on consecutive lines from its first.
        if (query.value(0).toLongLong() != previous) {
            previous = query.value(0).toLongLong();
            line = query.value(3).toInt();
        }
        lines->append({query.value(4).toLongLong(),
                       Position{query.value(1).toInt(), query.value(2).toInt(), line++}});
    }
    return Outcome::ok();
}

Outcome printedPositions(const QString &connectionText, const QString &account,
                        QVector<QPair<qint64, Position>> *lines)
{
    return db::readAlone(connectionText,
                         [&](QSqlDatabase &database) { return printedPositions(database, account, lines); });
}

Outcome printPage(const QString &connectionText, const QString &account, const Layout &layout, bool turned,
                  const Draw &draw, PageResult *result)
{
    *result = PageResult();
    return db::writeAlone(connectionText, [&](QSqlDatabase &database) {
        Book book;
        Outcome outcome = lockedBook(database, account, &book);
        if (!outcome.isOk())
            return outcome;
        const int done = book.printedCount();
        result->left = int(book.rows.size()) - done;
        if (result->left == 0)
            return Outcome::ok();
        const Position first = next(book.last, layout);
        if (full(first, layout)) {
            result->bookFull = true;
            return Outcome::ok();
        }
        if (first.page != book.last.page && !turned) {
            result->turn = true;
            return Outcome::ok();
        }
        QVector<Line> lines;
        Position at = book.last;
        for (int index = done; index < book.rows.size(); ++index) {
            const Position line = next(at, layout);
            if (line.page != first.page)
                break;
            lines << Line{line, book.rows.at(index), Money()};
            at = line;
        }
        outcome = draw(lines);
        if (!outcome.isOk())
            return outcome;
        Stored row;
        row.book = book.last.book;
        row.firstKey = lines.first().row->key;
        row.lastKey = lines.last().row->key;
        row.first = lines.first().at;
        row.last = lines.last().at;
        outcome = appendPrint(database, account, row);
        if (!outcome.isOk())
            return outcome;
        result->printed = int(lines.size());
        result->left -= result->printed;
        if (result->left > 0) {
            if (full(next(at, layout), layout))
                result->bookFull = true;
            else
                result->turn = true;
        }
        return Outcome::ok();
    });
}

Outcome startBook(const QString &connectionText, const QString &account, const Draw &draw)
{
    return db::writeAlone(connectionText, [&](QSqlDatabase &database) {
        Book book;
        Outcome outcome = lockedBook(database, account, &book);
        if (!outcome.isOk())
            return outcome;
        // The balance after the last row in the old book (0 when none is).
        Money carried;
        for (const Row &row : std::as_const(book.rows))
            if (book.lastKey && row.key == *book.lastKey)
                carried = row.saldo;
        Stored row;
        row.kind = Kind::NewBook;
        row.book = book.last.book + 1;
        row.lastKey = book.lastKey;
        row.first = row.last = Position{row.book, 1, 1};
        row.carried = carried;
        outcome = draw({Line{row.first, std::nullopt, carried}});
        if (!outcome.isOk())
            return outcome;
        return appendPrint(database, account, row);
    });
}

} // namespace passbook
