#include "migrate/transfer.h"

#include "data/trail/audit.h"
#include "data/engine/catalog.h"
#include "common/commandline.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/operators/operators.h"
#include "data/operators/supervision.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/base/textforms.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <charconv>

namespace transfer {

namespace {

// A table that moves: its columns as a statement names them, in stored order,
// and how its rows are keyed.
struct Moved {
    enum class Key {
        Hidden, // the engine's row key (rowid, simparo_key), moved with the row
        Nomor,  // the trail's own number, its first column
        None,   // no key on a server: the rows in the order they were set aside
    };
    QString name;
    QStringList columns;
    Key key = Key::Hidden;
    bool optional = false; // a database may lack it
};

// Every table of the program's schema.
QList<Moved> movedTables()
{
    QStringList trail = audit::recordColumns().split(QStringLiteral(", "));
    return {
        {schema::daftar().name, schema::daftar().columnNames(), Moved::Key::Hidden, false},
        {schema::nabubg().name, schema::nabubg().columnNames(), Moved::Key::Hidden, false},
        {schema::tpassword().name, {QStringLiteral("\"user\""), QStringLiteral("\"password\"")}, Moved::Key::Hidden, false},
        {QStringLiteral("jejak"), trail, Moved::Key::Nomor, false},
        {QLatin1String(schema::kSetAsideTable), schema::setAsideColumns(), Moved::Key::None, true},
    };
}

QString readStatement(const Moved &table, const QString &key, std::optional<qint64> trailTop = std::nullopt)
{
    const QString columns = table.columns.join(QStringLiteral(", "));
    switch (table.key) {
    case Moved::Key::Hidden:
        return QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY %1").arg(key, columns, table.name);
    case Moved::Key::Nomor:
        return trailTop ? QStringLiteral("SELECT %1 FROM %2 WHERE nomor <= %3 ORDER BY nomor")
                              .arg(columns, table.name)
                              .arg(*trailTop)
                        : QStringLiteral("SELECT %1 FROM %2 ORDER BY nomor").arg(columns, table.name);
    case Moved::Key::None:
        break;
    }
    // Integers and ISO times sort alike on both engines, whatever their collation of text.
    return QStringLiteral("SELECT %1 FROM %2 ORDER BY waktu, baris").arg(columns, table.name);
}

int valueCount(const Moved &table)
{
    return int(table.columns.size()) + (table.key == Moved::Key::Hidden ? 1 : 0);
}

void appendBytes(QByteArray *record, QByteArrayView bytes)
{
    record->append(QByteArray::number(bytes.size()));
    record->append(':');
    record->append(bytes.data(), bytes.size());
}

QByteArray numberText(const db::Value &value)
{
    if (value.type == db::Value::Type::Integer)
        return QByteArray::number(value.integer);
    char text[32];
    return QByteArray(text, std::to_chars(text, text + sizeof text, value.real).ptr - text);
}

// A value of a table without a described content (the side table): its text.
void appendPlain(QByteArray *record, const db::Value &value)
{
    if (value.type == db::Value::Type::Null)
        record->append('-');
    else if (value.type == db::Value::Type::Text)
        appendBytes(record, value.text);
    else
        appendBytes(record, numberText(value));
}

// The canonical record of one row: its key, then its content as the trail
// writes it (an operator's only his name); a trail row with its seal.
QByteArray canonical(const Moved &table, const db::Value *values)
{
    QByteArray record;
    switch (table.key) {
    case Moved::Key::Hidden:
        audit::appendField(&record, std::optional<qint64>(values[0].integer));
        record += audit::rowContent(table.name, values + 1);
        break;
    case Moved::Key::Nomor:
        record += audit::content(values);
        appendPlain(&record, values[table.columns.size() - 1]);
        break;
    case Moved::Key::None:
        for (int c = 0; c < table.columns.size(); ++c)
            appendPlain(&record, values[c]);
        break;
    }
    return record;
}

QVariant variantOf(const db::Value &value)
{
    switch (value.type) {
    case db::Value::Type::Null: return QVariant();
    case db::Value::Type::Integer: return QVariant(value.integer);
    case db::Value::Type::Real: return QVariant(value.real);
    case db::Value::Type::Text: break;
    }
    return QVariant(QString::fromUtf8(value.text));
}

// A ledger row (its key and columns as read) for the balance chains.
ledger::Row ledgerRow(const db::Value *values)
{
    return ledger::rowOf(values[0].integer, variantOf(values[1]), variantOf(values[3]), variantOf(values[6]),
                         variantOf(values[7]), variantOf(values[8]));
}

bool hasTable(QSqlDatabase &database, const QString &name, bool *present, QString *error)
{
    QStringList tables, views;
    QSqlError failure;
    if (!db::dialect(database).relationNames(database, &tables, &views, &failure)) {
        *error = db::describeError(failure, database);
        return false;
    }
    *present = tables.contains(name);
    return true;
}

bool countRows(QSqlDatabase &database, const QString &table, qint64 *rows, QString *error)
{
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("SELECT count(*) FROM %1").arg(table)) || !query.next()) {
        *error = db::describeError(query.lastError(), database);
        return false;
    }
    *rows = query.value(0).toLongLong();
    return true;
}

QString serverText(const QString &service)
{
    return QStringLiteral("Provider=%1;Data Source=%2").arg(QLatin1String(db::kServerProvider), service);
}

bool openPlace(const Place &place, QString *name, QString *error)
{
    return place.isServer() ? db::openConnection(serverText(place.service), name, error)
                            : db::openFile(QFileInfo(place.file).absoluteFilePath(), name, error);
}

// Closes a connection of the pool when it goes.
struct Opened {
    QString name;
    ~Opened()
    {
        if (!name.isEmpty())
            db::closeConnection(name);
    }
};

// Each operator keeps his kind (a supervisor stays one; on a server his role joins
// the supervisors' group). A source made before there were kinds has none: all
// its operators arrive as clerks.
bool keepKinds(QSqlDatabase &source, QSqlDatabase &target, const QList<Operator> &operators, QString *error)
{
    bool present = false;
    if (!hasTable(source, QStringLiteral("jenis_operator"), &present, error))
        return false;
    if (!present)
        return true;
    QHash<QString, supervision::Kind> kinds;
    Outcome outcome = supervision::storedKinds(source, &kinds);
    for (const Operator &op : operators) {
        if (!outcome.isOk())
            break;
        const auto kind = kinds.constFind(op.user);
        if (kind != kinds.constEnd() && *kind == supervision::Kind::Supervisor)
            outcome = supervision::setKind(target, op.key, op.user, *kind);
    }
    if (!outcome.isOk())
        *error = outcome.message();
    return outcome.isOk();
}

// The supervisors' tables go with the ledger: the settings, the blocks, the links
// of corrections and the month-end runs (a block lifted by a move, a correction
// corrected again, or a month posted twice would follow otherwise). A source made
// before a table has none of its rows; the columns both sides know are copied,
// the rows keeping their numbers. The passbooks' prints go too (every row would
// be printed again from page 1 otherwise); on a server the owner's move is let
// past the rule that checks a clerk's print.
bool keepSupervision(QSqlDatabase &source, QSqlDatabase &target, QString *error)
{
    const bool server = db::dialect(target).hasOperatorRoles();
    if (server) {
        QSqlQuery moving(target);
        if (!moving.exec(QStringLiteral("SELECT set_config('simparo.pindah', 'ya', true)"))) {
            *error = db::describeError(moving.lastError(), target);
            return false;
        }
    }
    for (const QString &table : {QStringLiteral("pengaturan"), QStringLiteral("blokir"), QStringLiteral("koreksi"),
                                 QStringLiteral("bagi_hasil"), QStringLiteral("cetak_buku")}) {
        bool present = false;
        if (!hasTable(source, table, &present, error))
            return false;
        if (!present)
            continue;
        const QSqlRecord into = target.record(table);
        const QSqlRecord from = source.record(table);
        QStringList columns;
        for (int c = 0; c < from.count(); ++c)
            if (into.contains(from.fieldName(c)))
                columns << from.fieldName(c);
        if (columns.isEmpty())
            continue;
        const bool numbered = columns.contains(QStringLiteral("id"));
        QSqlQuery read(source);
        read.setForwardOnly(true);
        if (!read.exec(QStringLiteral("SELECT %1 FROM %2%3")
                           .arg(columns.join(QStringLiteral(", ")), table,
                                numbered ? QStringLiteral(" ORDER BY id") : QString()))) {
            *error = db::describeError(read.lastError(), source);
            return false;
        }
        QSqlQuery write(target);
        if (!write.prepare(QStringLiteral("INSERT INTO %1 (%2) %3VALUES (%4)")
                               .arg(table, columns.join(QStringLiteral(", ")),
                                    server && numbered ? QStringLiteral("OVERRIDING SYSTEM VALUE ") : QString(),
                                    QStringList(columns.size(), QStringLiteral("?")).join(QStringLiteral(", "))))) {
            *error = db::describeError(write.lastError(), target);
            return false;
        }
        while (read.next()) {
            for (int c = 0; c < columns.size(); ++c) {
                QVariant value = read.value(c);
                // A file's run has no server transaction or role.
                if (server && value.isNull() && columns.at(c) == QLatin1String("txid"))
                    value = 0;
                else if (server && value.isNull() && columns.at(c) == QLatin1String("peran"))
                    value = QString::fromUtf8("");
                write.bindValue(c, value);
            }
            if (!write.exec()) {
                *error = db::describeError(write.lastError(), target);
                return false;
            }
        }
        if (read.lastError().isValid()) {
            *error = db::describeError(read.lastError(), source);
            return false;
        }
        QSqlQuery advance(target);
        if (server && numbered
            && !advance.exec(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1', 'id'), "
                                            "(SELECT max(id) FROM %1)) WHERE EXISTS (SELECT FROM %1)")
                                 .arg(table))) {
            *error = db::describeError(advance.lastError(), target);
            return false;
        }
    }
    return true;
}

// Copies the rows of the source's tables into the target, inside both
// transactions; the source's digests and chains on the way.
bool copyTables(QSqlDatabase &source, QSqlDatabase &target, const Progress &progress, Result *result, QString *error)
{
    const db::Dialect &from = db::dialect(source);
    const db::Dialect &to = db::dialect(target);
    const QString sourceKey = from.keyColumn();
    const QString targetKey = to.keyColumn();
    ledger::ChainWalker chains;
    for (const Moved &table : movedTables()) {
        bool present = true;
        if (table.optional && !hasTable(source, table.name, &present, error))
            return false;
        if (!present)
            continue;
        if (table.optional && !db::runAll(target, {schema::setAsideStatement()}, error))
            return false;
        qint64 total = 0;
        if (!countRows(source, table.name, &total, error))
            return false;
        const QString step = QStringLiteral("Menyalin %1").arg(table.name);
        if (progress)
            progress(step, 0, total);
        const bool operators = table.name == schema::tpassword().name;
        const bool ledger = table.name == schema::nabubg().name;
        const bool trail = table.key == Moved::Key::Nomor;
        std::unique_ptr<db::RowSink> sink;
        if (!operators) {
            sink = to.sink(target, table.name,
                           (table.key == Moved::Key::Hidden ? QStringList{targetKey} : QStringList()) + table.columns);
            if (sink->error().isValid()) {
                *error = db::describeError(sink->error(), target);
                return false;
            }
        }
        QCryptographicHash digest(QCryptographicHash::Sha256);
        TableDigest read{table.name, 0, {}};
        const int count = valueCount(table);
        QVector<db::Value> values(count);
        {
            const std::unique_ptr<db::RowStream> rows = from.stream(source, readStatement(table, sourceKey));
            while (rows->next()) {
                for (int c = 0; c < count; ++c)
                    values[c] = rows->value(c);
                digest.addData(canonical(table, values.constData()));
                if (operators)
                    result->operators << Operator{values[0].integer, QString::fromUtf8(values[1].text)};
                else if (!sink->add(values.constData())) {
                    *error = db::describeError(sink->error(), target);
                    return false;
                }
                if (ledger)
                    chains.add(ledgerRow(values.constData()));
                if (trail)
                    result->copiedTrail = values[0].integer;
                if (++read.rows % 8192 == 0 && progress)
                    progress(step, read.rows, total);
            }
            if (rows->error().isValid()) {
                *error = db::describeError(rows->error(), source);
                return false;
            }
        }
        QSqlError failure;
        if (operators ? !db::operatorsArrived(target, result->operators, &failure) : !sink->finish()) {
            *error = db::describeError(operators ? failure : sink->error(), target);
            return false;
        }
        if (operators && !keepKinds(source, target, result->operators, error))
            return false;
        sink.reset();
        if (table.key == Moved::Key::Hidden && !to.keysGiven(target, table.name, &failure)) {
            *error = db::describeError(failure, target);
            return false;
        }
        if (progress)
            progress(step, read.rows, total);
        read.digest = digest.result().toHex();
        result->source << read;
    }
    result->sourceChains = chains.summary();
    return keepSupervision(source, target, error);
}

// The move's own row of the target's trail, after the copied rows.
bool recordMove(QSqlDatabase &target, const Result &result, QString *error)
{
    audit::Entry entry;
    entry.tindakan = QLatin1String(audit::action::kMove);
    QStringList lines{audit::detail(QStringLiteral("dari"), result.from),
                      audit::detail(QStringLiteral("jejak"), QStringLiteral("1-%1").arg(result.copiedTrail))};
    for (const TableDigest &table : result.source)
        lines << audit::detail(table.table, QStringLiteral("%1 baris, digest %2")
                                                .arg(table.rows)
                                                .arg(QString::fromLatin1(table.digest)));
    entry.rincian = lines.join(u'\n');
    const Outcome recorded = audit::append(target, entry);
    if (!recorded.isOk())
        *error = recorded.message();
    return recorded.isOk();
}

// The target as it was committed, read again on a connection of its own.
bool checkTarget(const Place &to, Result *result, QString *error)
{
    Opened opened;
    if (!openPlace(to, &opened.name, error))
        return false;
    QSqlDatabase target = db::connection(opened.name);
    QSqlError failure;
    if (!db::dialect(target).beginSnapshot(target, &failure)) {
        *error = db::describeError(failure, target);
        return false;
    }
    const bool read = digestTables(target, &result->target, &result->targetChains, result->copiedTrail, error);
    db::endWrite(target, false);
    if (!read)
        return false;
    const Outcome trail = audit::check(target, &result->trail);
    if (!trail.isOk()) {
        *error = trail.message();
        return false;
    }
    result->checked = true;
    return true;
}

} // namespace

bool Result::chainsAgree() const
{
    if (sourceChains.rows != targetChains.rows || sourceChains.accounts != targetChains.accounts
        || sourceChains.breaks != targetChains.breaks || sourceChains.shown.size() != targetChains.shown.size())
        return false;
    for (qsizetype i = 0; i < sourceChains.shown.size(); ++i)
        if (sourceChains.shown.at(i).row.key != targetChains.shown.at(i).row.key)
            return false;
    return true;
}

bool Result::tablesAgree() const
{
    return !source.isEmpty() && source == target;
}

bool Result::holds() const
{
    return moved && checked && tablesAgree() && chainsAgree() && trail.hasTrail && trail.holds();
}

bool digestTables(QSqlDatabase &database, QList<TableDigest> *digests, ledger::Summary *chains,
                  std::optional<qint64> trailTop, QString *error)
{
    digests->clear();
    ledger::ChainWalker walker;
    const db::Dialect &dialect = db::dialect(database);
    for (const Moved &table : movedTables()) {
        bool present = true;
        if (table.optional && !hasTable(database, table.name, &present, error))
            return false;
        if (!present)
            continue;
        const bool ledger = table.name == schema::nabubg().name;
        QCryptographicHash digest(QCryptographicHash::Sha256);
        TableDigest read{table.name, 0, {}};
        const int count = valueCount(table);
        QVector<db::Value> values(count);
        const std::unique_ptr<db::RowStream> rows =
            dialect.stream(database, readStatement(table, dialect.keyColumn(), trailTop));
        while (rows->next()) {
            for (int c = 0; c < count; ++c)
                values[c] = rows->value(c);
            digest.addData(canonical(table, values.constData()));
            if (ledger)
                walker.add(ledgerRow(values.constData()));
            ++read.rows;
        }
        if (rows->error().isValid()) {
            *error = db::describeError(rows->error(), database);
            return false;
        }
        read.digest = digest.result().toHex();
        *digests << read;
    }
    *chains = walker.summary();
    return true;
}

Result move(const Place &from, const Place &to, const Progress &progress)
{
    Result result;
    Opened opened;
    if (!openPlace(from, &opened.name, &result.error))
        return result;
    {
        QSqlDatabase source = db::connection(opened.name);
        result.from = db::location(source);
        if (!db::verifyOpen(source, &result.error))
            return result;
        std::unique_ptr<db::Fill> fill = to.isServer() ? db::Fill::intoService(to.service)
                                                       : db::Fill::intoFile(QFileInfo(to.file).absoluteFilePath());
        result.to = fill->location();
        result.service = to.service;
        result.file = to.isServer() ? QString() : QFileInfo(to.file).absoluteFilePath();
        bool existing = false;
        QStringList present;
        if (!fill->inspect(&existing, &present, &result.error))
            return result;
        if (existing) {
            result.error = to.isServer()
                ? QStringLiteral("Database di %1 sudah berisi %2. simparo-migrate hanya mengisi database yang "
                                 "belum berisi tabel SIMPARO; tidak ada yang diubah.")
                      .arg(result.to, present.join(QStringLiteral(", ")))
                : QStringLiteral("File %1 sudah ada. simparo-migrate tidak pernah menimpa file; sebutkan nama "
                                 "file baru.")
                      .arg(QDir::toNativeSeparators(result.to));
            return result;
        }
        QSqlError failure;
        if (!db::dialect(source).beginSnapshot(source, &failure)) {
            result.error = db::describeError(failure, source);
            return result;
        }
        bool ok = fill->begin(&result.error);
        if (ok) {
            QSqlDatabase target = fill->database();
            const db::Dialect &engine = db::dialect(target);
            // The tables were made in this transaction and nobody else sees them:
            // the trail's rules are lifted only for the rows copied as they are.
            ok = db::runAll(target, engine.trailRuleStatements(false), &result.error)
                && copyTables(source, target, progress, &result, &result.error)
                && db::runAll(target, engine.trailRuleStatements(true), &result.error)
                && recordMove(target, result, &result.error);
        }
        if (progress && ok)
            progress(QStringLiteral("Menyimpan"), 0, 0);
        ok = ok && fill->finish(&result.error);
        fill.reset();
        db::endWrite(source, false); // the snapshot ends
        if (!ok)
            return result;
        result.moved = true;
    }
    if (progress)
        progress(QStringLiteral("Memeriksa tujuan"), 0, 0);
    checkTarget(to, &result, &result.error);
    return result;
}

QStringList describe(const Result &result)
{
    QStringList lines;
    lines << QStringLiteral("Pindah database SIMPARO")
          << QStringLiteral("Dari : %1").arg(result.from)
          << QStringLiteral("       dibaca dalam satu transaksi baca (satu snapshot): yang ditulis loket lain "
                            "selama pindah tidak ikut terbawa")
          << QStringLiteral("Ke   : %1 (database baru, diisi dalam satu transaksi)").arg(result.to)
          << QStringLiteral("Waktu: %1").arg(QDateTime::currentDateTime().toString(Qt::ISODate)) << QString();
    if (!result.moved)
        return lines;
    lines << QStringLiteral("Pemeriksaan tujuan sesudah pindah:");
    for (const TableDigest &source : result.source) {
        TableDigest target;
        for (const TableDigest &candidate : result.target)
            if (candidate.table == source.table)
                target = candidate;
        const QString note = source.table == QLatin1String("jejak")
            ? QStringLiteral(" (tanpa baris pindah yang baru)")
            : source.table == schema::tpassword().name ? QStringLiteral(" (tanpa password)") : QString();
        lines << QStringLiteral("  %1 %2 baris%3: %4")
                     .arg(source.table.leftJustified(16))
                     .arg(source.rows)
                     .arg(note,
                          source == target ? QStringLiteral("jumlah dan digest cocok (%1)").arg(QString::fromLatin1(source.digest.left(16)))
                                           : QStringLiteral("TIDAK COCOK: di tujuan %1 baris, digest %2, di sumber digest %3")
                                                 .arg(target.rows)
                                                 .arg(QString::fromLatin1(target.digest.left(16)),
                                                      QString::fromLatin1(source.digest.left(16))));
    }
    if (result.checked) {
        lines << QStringLiteral("  Kesinambungan saldo: %1 baris, %2 rekening, %3 putus: %4")
                     .arg(result.targetChains.rows)
                     .arg(result.targetChains.accounts)
                     .arg(result.targetChains.breaks)
                     .arg(result.chainsAgree() ? QStringLiteral("sama dengan sumber")
                                               : QStringLiteral("TIDAK SAMA dengan sumber (%1 putus)")
                                                     .arg(result.sourceChains.breaks));
        lines << QStringLiteral("  Pemeriksaan simparo-verify:");
        for (const QString &line : audit::describe(result.trail))
            lines << QStringLiteral("    ") + line;
    }
    if (!result.operators.isEmpty()) {
        lines << QString()
              << QStringLiteral("Password operator tidak ikut pindah (bentuk hash-nya berbeda di file dan di server). "
                                "%1 operator berikut belum bisa login sampai diberi password baru:")
                     .arg(result.operators.size());
        // Each line names the new database: run elsewhere it would reset the operator of another.
        const QString where = result.service.isEmpty()
            ? QStringLiteral("--from %1").arg(cli::shellWord(QDir::toNativeSeparators(result.file)))
            : QStringLiteral("--server %1").arg(cli::shellWord(result.service));
        for (const Operator &op : result.operators)
            lines << QStringLiteral("  simparo-operator %1 reset %2").arg(where, textform::printable(cli::shellWord(op.user)));
    }
    if (result.moved && !result.service.isEmpty())
        lines << QString()
              << QStringLiteral("Peran pencari nama operator (untuk loket) belum punya password. Buat dan cetak baris "
                                "~/.pgpass loket dengan:")
              << QStringLiteral("  simparo-initdb --upgrade --server %1 --new-lookup-password").arg(cli::shellWord(result.service));
    lines << QString()
          << (result.holds() ? QStringLiteral("Hasil: semua cocok.")
                             : QStringLiteral("Hasil: TIDAK COCOK; periksa baris di atas."));
    return lines;
}

} // namespace transfer

namespace db {

bool operatorsArrived(QSqlDatabase &target, const QList<transfer::Operator> &operators, QSqlError *error)
{
    const Dialect &engine = dialect(target);
    std::unique_ptr<RowSink> sink =
        engine.sink(target, schema::tpassword().name,
                    {engine.keyColumn(), QStringLiteral("\"user\""), QStringLiteral("\"password\"")});
    const std::optional<QByteArray> password = engine.unusablePassword();
    for (const transfer::Operator &op : operators) {
        const QByteArray user = op.user.toUtf8();
        Value values[3];
        values[0].type = Value::Type::Integer;
        values[0].integer = op.key;
        values[1].type = Value::Type::Text;
        values[1].text = user;
        if (password) {
            values[2].type = Value::Type::Text;
            values[2].text = *password;
        }
        if (!sink->add(values))
            break;
    }
    if (!sink->finish()) {
        *error = sink->error();
        return false;
    }
    // On a server every operator gets his role (none that can log in: his password
    // is reset), with the rights of the operators' group.
    operators::Access access;
    const Outcome secured = engine.secureOperators(target, &access);
    if (secured.isOk())
        return true;
    *error = QSqlError(QString(), secured.message(), QSqlError::TransactionError);
    return false;
}

} // namespace db
