#include "importer.h"

#include "data/database.h"
#include "data/money.h"
#include "data/schema.h"
#include "data/passwords.h"
#include "data/textforms.h"
#include "mdbstream.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryFile>
#include <array>
#include <cmath>
#include <csignal>
#include <optional>
#include <unistd.h>

namespace import {

namespace {

const QStringList kTables = {QStringLiteral("daftar"), QStringLiteral("nabubg"), QStringLiteral("tpassword")};
const QStringList kPasswordColumns = {QStringLiteral("user"), QStringLiteral("password")};

enum NabubgColumn { kRek, kNama, kTanggal, kKode, kJenis, kDebet, kKredit, kSaldo };

QString quoted(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown)
        if (c.category() == QChar::Other_Control)
            c = u'?';
    return u'"' + shown + u'"';
}

// The amount in sen when the double is exactly an amount with at most two decimals.
std::optional<qint64> sen(double value)
{
    if (!(std::fabs(value) < 1e13))
        return std::nullopt;
    const double cents = std::round(value * 100.0);
    if (cents / 100.0 != value)
        return std::nullopt;
    return static_cast<qint64>(cents);
}

// An amount as the report names it: as the program shows it when it is a whole
// number of sen, else to fifteen digits.
QString amountText(double value)
{
    const std::optional<qint64> whole = sen(value);
    return whole ? Money::fromSen(*whole).toText() : QString::number(value, 'g', 15);
}

bool isBirthDate(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\d\\d/\\d\\d/\\d\\d\\d\\d$"));
    return form.match(text).hasMatch() && QDate::fromString(text, QStringLiteral("dd/MM/yyyy")).isValid();
}

constexpr const char *kKeptAsIs = "tetap di nabubg apa adanya";

// Access's own names of its column types.
QString typeName(int type)
{
    static const char *const names[] = {nullptr,    "Yes/No",     "Byte",   "Integer",   "Long Integer",
                                        "Currency", "Single",     "Double", "Date/Time", "Binary",
                                        "Text",     "OLE Object", "Memo"};
    return type > 0 && type < int(std::size(names)) ? QLatin1String(names[type]) : QStringLiteral("nomor %1").arg(type);
}

// Files that an interrupted import (Ctrl+C, a closed terminal) must not leave
// behind: the new database while it is built, its journals, and the report
// until the rows it speaks of are committed. Kept as plain bytes, so that the
// signal handler can remove them.
std::array<std::array<char, 4096>, 6> g_leftovers{}; // the last: a folder the import made

void setLeftover(std::size_t slot, const QString &file)
{
    const QByteArray name = QFile::encodeName(file);
    auto &entry = g_leftovers[slot];
    entry.fill('\0');
    if (name.size() < qsizetype(entry.size()))
        std::copy(name.begin(), name.end(), entry.begin());
}

void removeLeftovers(int signal)
{
    for (std::size_t i = 0; i + 1 < g_leftovers.size(); ++i)
        if (g_leftovers[i][0] != '\0')
            ::unlink(g_leftovers[i].data());
    if (g_leftovers.back()[0] != '\0')
        ::rmdir(g_leftovers.back().data());
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void watchInterruptions()
{
    // A signal that the import was started to ignore (nohup) stays ignored.
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction current = {};
        if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
            std::signal(signal, removeLeftovers);
    }
}

} // namespace

QString Finding::line() const
{
    const QString place = row > 0 ? QStringLiteral("%1 baris %2").arg(table).arg(row) : table;
    return QStringLiteral("%1 %2: %3 -> %4")
        .arg(anomaly ? QStringLiteral("ANOMALI") : QStringLiteral("CATATAN"), place, what, where);
}

int Plan::anomalies() const
{
    return int(std::count_if(findings.begin(), findings.end(), [](const Finding &f) { return f.anomaly; }));
}

bool shape(QList<legacy::Table> tables, Source *source, QString *error)
{
    const QList<QStringList> columns = {schema::daftar().columnNames(), schema::nabubg().columnNames(), kPasswordColumns};
    QList<QVariantList> *targets[] = {&source->daftar, &source->nabubg, &source->tpassword};
    for (int t = 0; t < kTables.size(); ++t) {
        legacy::Table &table = tables[t];
        const QStringList &wanted = columns.at(t);
        QList<int> positions;
        QStringList problems;
        for (const QString &name : wanted) {
            int found = -1;
            for (int c = 0; c < table.columns.size(); ++c)
                if (table.columns[c].name.compare(name, Qt::CaseInsensitive) == 0)
                    found = c;
            if (found < 0) {
                problems << QStringLiteral("kolom %1 tidak ada").arg(name);
                continue;
            }
            int want = mdbstream::kTypeText;
            if (t == 1 && name == QLatin1String("TANGGAL"))
                want = mdbstream::kTypeDateTime;
            else if (t == 1
                     && (name == QLatin1String("debet") || name == QLatin1String("kredit")
                         || name == QLatin1String("saldo")))
                want = mdbstream::kTypeDouble;
            const int type = table.columns[found].type;
            const bool fits = type == want || (want == mdbstream::kTypeText && type == mdbstream::kTypeMemo);
            if (!fits)
                problems << QStringLiteral("kolom %1 bertipe %2, bukan %3").arg(name, typeName(type), typeName(want));
            positions << found;
        }
        for (const legacy::Column &column : table.columns)
            if (!wanted.contains(column.name, Qt::CaseInsensitive))
                problems << QStringLiteral("kolom %1 tidak dikenal").arg(column.name);
        if (!problems.isEmpty()) {
            *error = QStringLiteral("Tabel %1 di file lama tidak seperti yang diharapkan: %2. "
                                    "Tidak ada kolom yang boleh hilang atau dibuang diam-diam.")
                         .arg(table.name, problems.join(QStringLiteral("; ")));
            return false;
        }
        QList<QVariantList> &rows = *targets[t];
        rows = std::move(table.rows);
        bool inOrder = true;
        for (int c = 0; c < positions.size(); ++c)
            inOrder = inOrder && positions[c] == c;
        if (!inOrder) {
            for (QVariantList &row : rows) {
                QVariantList ordered;
                ordered.reserve(positions.size());
                for (int p : std::as_const(positions))
                    ordered << row.at(p);
                row = std::move(ordered);
            }
        }
    }
    return true;
}

Plan analyse(const Source &source, const Existing &existing)
{
    Plan plan;
    auto note = [&plan](bool anomaly, const QString &table, int row, const QString &what, const QString &where) {
        plan.findings.append({anomaly, table, row, what, where});
    };
    const QString daftar = QStringLiteral("daftar");
    const QString setAside = QStringLiteral("disisihkan ke tabel %1").arg(QLatin1String(kSetAsideTable));

    QHash<QString, int> firstRow; // account number -> its register row
    QSet<QString> accounts = existing.accounts;
    for (int i = 0; i < source.daftar.size(); ++i) {
        const QVariantList &row = source.daftar.at(i);
        const QString number = row.at(0).toString();
        QString reason;
        if (number.isEmpty())
            reason = QStringLiteral("nomor rekening kosong");
        else if (number.toUcs4().size() > 10)
            reason = QStringLiteral("nomor rekening %1 lebih dari 10 karakter").arg(quoted(number));
        else if (existing.accounts.contains(number))
            reason = QStringLiteral("nomor rekening %1 sudah ada di database tujuan").arg(quoted(number));
        else if (firstRow.contains(number))
            reason = QStringLiteral("nomor rekening %1 sudah dipakai oleh daftar baris %2 (%3)")
                         .arg(quoted(number))
                         .arg(firstRow.value(number) + 1)
                         .arg(quoted(source.daftar.at(firstRow.value(number)).at(1).toString()));
        if (!reason.isEmpty()) {
            plan.daftarSetAside.append({i, reason});
            note(true, daftar, i + 1, QStringLiteral("nasabah %1, %2").arg(quoted(row.at(1).toString()), reason),
                 setAside);
        } else {
            firstRow.insert(number, i);
            accounts.insert(number);
            plan.daftarKept.append(i);
        }
        const QString born = row.at(3).toString();
        if (!isBirthDate(born))
            note(false, daftar, i + 1,
                 born.isEmpty() ? QStringLiteral("tanggal lahir kosong")
                                : QStringLiteral("tanggal lahir %1 bukan dd/mm/yyyy").arg(quoted(born)),
                 reason.isEmpty() ? QStringLiteral("disimpan apa adanya") : setAside);
    }

    const QString nabubg = QStringLiteral("nabubg");
    QHash<QString, double> balance = existing.lastBalance;
    static const char *const amountNames[] = {"debet", "kredit", "saldo"};
    for (int i = 0; i < source.nabubg.size(); ++i) {
        const QVariantList &row = source.nabubg.at(i);
        const int n = i + 1;
        const QString number = row.at(kRek).toString();
        if (!accounts.contains(number))
            note(true, nabubg, n,
                 QStringLiteral("rekening %1 (%2) tidak ada di daftar nasabah")
                     .arg(quoted(number), row.at(kNama).toString()),
                 QLatin1String(kKeptAsIs));
        const QVariant date = row.at(kTanggal);
        if (date.isNull())
            note(true, nabubg, n, QStringLiteral("TANGGAL kosong"), QStringLiteral("tetap di nabubg, TANGGAL NULL"));
        else if (date.toString().size() > 10)
            note(false, nabubg, n, QStringLiteral("TANGGAL %1 memuat jam").arg(quoted(date.toString())),
                 QStringLiteral("disimpan apa adanya"));

        double amount[3];
        std::optional<qint64> cents[3];
        bool whole = true;
        for (int a = 0; a < 3; ++a) {
            const QVariant value = row.at(kDebet + a);
            amount[a] = value.isNull() ? 0.0 : value.toDouble();
            cents[a] = sen(amount[a]);
            if (value.isNull())
                note(true, nabubg, n, QStringLiteral("%1 kosong").arg(QLatin1String(amountNames[a])),
                     QStringLiteral("tetap di nabubg, %1 NULL").arg(QLatin1String(amountNames[a])));
            else if (!cents[a])
                note(true, nabubg, n,
                     QStringLiteral("%1 %2 bukan jumlah sen yang utuh (1/100 rupiah)")
                         .arg(QLatin1String(amountNames[a]), QString::number(amount[a], 'g', 17)),
                     QLatin1String(kKeptAsIs));
            whole = whole && cents[a].has_value();
        }
        const double previous = balance.value(number, 0.0);
        if (row.at(kSaldo).isNull())
            continue; // reported above; the next row goes on from the same balance
        const std::optional<qint64> previousSen = sen(previous);
        const bool chained = whole && previousSen ? *previousSen + *cents[1] - *cents[0] == *cents[2]
                                                  : previous + amount[1] - amount[0] == amount[2];
        if (!chained)
            note(true, nabubg, n,
                 QStringLiteral("saldo %1 tidak sama dengan saldo sebelumnya %2 + kredit %3 - debet %4 = %5")
                     .arg(amountText(amount[2]), amountText(previous), amountText(amount[1]),
                          amountText(amount[0]), amountText(previous + amount[1] - amount[0])),
                 QLatin1String(kKeptAsIs));
        balance.insert(number, amount[2]);
    }

    const QString tpassword = QStringLiteral("tpassword");
    QHash<QString, int> firstUser;
    for (int i = 0; i < source.tpassword.size(); ++i) {
        const QString user = source.tpassword.at(i).at(0).toString();
        const QString where = QStringLiteral("tetap di tpassword; login memakai baris yang pertama");
        if (user.isEmpty())
            note(true, tpassword, i + 1, QStringLiteral("nama user kosong"), QStringLiteral("tetap di tpassword"));
        else if (existing.users.contains(user))
            note(true, tpassword, i + 1, QStringLiteral("user %1 sudah ada di database tujuan").arg(quoted(user)),
                 where);
        else if (firstUser.contains(user))
            note(true, tpassword, i + 1,
                 QStringLiteral("user %1 sudah ada di tpassword baris %2")
                     .arg(quoted(user))
                     .arg(firstUser.value(user) + 1),
                 where);
        else
            firstUser.insert(user, i);
    }
    if (source.tpassword.isEmpty() && existing.users.isEmpty())
        note(true, tpassword, 0, QStringLiteral("tidak ada operator; tidak seorang pun bisa login"),
             QStringLiteral("buat database baru dengan simparo-initdb, lalu impor dengan --into-existing"));
    return plan;
}

// ---------------------------------------------------------------------------

namespace {

void removeDatabaseFiles(const QString &file)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(file + QLatin1String(suffix));
}

// The connection the import writes through, and the rows it writes: a SQLite
// file, or the database of a server's service.
class Writer
{
public:
    explicit Writer(QString file)
        : file_(std::move(file))
    { }
    ~Writer() { close(); }

    // A server connection, outside any transaction until begin().
    bool openServer(const QString &connectionText, QString *error)
    {
        if (!db::openConnection(connectionText, &name_, error))
            return false;
        opened_ = true;
        server_ = true;
        return true;
    }

    // Which of the program's tables the server's database already holds.
    bool presentTables(QStringList *present, QString *error)
    {
        QSqlDatabase database = connection();
        QSqlError failure;
        if (db::presentRelations(database, present, &failure))
            return true;
        *error = db::describeError(failure, database);
        return false;
    }

    // The server's transaction. Into an existing database the rows go while no other
    // write can change what the analysis saw; readers are not held up. The server's
    // notices (a side table that is already there) are not the operator's business.
    bool begin(bool existing, QString *error)
    {
        pending_ = exec(QStringLiteral("BEGIN ISOLATION LEVEL READ COMMITTED"), error);
        return pending_ && exec(QStringLiteral("SET LOCAL client_min_messages = warning"), error)
            && (!existing
                || exec(QStringLiteral("LOCK TABLE daftar, nabubg, tpassword IN SHARE ROW EXCLUSIVE MODE"), error));
    }

    // The program's schema, inside the transaction that writes the rows.
    bool createSchema(QString *error)
    {
        QSqlDatabase database = connection();
        return db::createSchema(database, error);
    }

    bool open(QString *error)
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        database.setDatabaseName(file_);
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!database.open()) {
            *error = db::describeError(database.lastError(), file_);
            return false;
        }
        opened_ = true;
        // A large ledger's index is built in one go; a larger cache spares re-reads.
        return exec(QStringLiteral("PRAGMA cache_size=-65536"), error)
            && exec(QStringLiteral("BEGIN IMMEDIATE"), error);
    }

    bool exec(const QString &sql, QString *error)
    {
        QSqlQuery query(connection());
        if (!query.exec(sql))
            return fail(query, error);
        return true;
    }

    bool loadExisting(Existing *existing, QString *error)
    {
        QSqlQuery query(connection());
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT norekening FROM daftar")))
            return fail(query, error);
        while (query.next())
            existing->accounts.insert(query.value(0).toString());
        const QString key = db::keyColumn(connection());
        if (!query.exec(QStringLiteral("SELECT norekening, saldo FROM nabubg WHERE %1 IN "
                                       "(SELECT max(%1) FROM nabubg GROUP BY norekening)")
                            .arg(key)))
            return fail(query, error);
        while (query.next())
            existing->lastBalance.insert(query.value(0).toString(), query.value(1).toDouble());
        if (!query.exec(QStringLiteral("SELECT \"user\" FROM tpassword")))
            return fail(query, error);
        while (query.next())
            existing->users.insert(query.value(0).toString());
        return true;
    }

    void showProgress(const Options &options, qint64 total)
    {
        progress_ = options.progress;
        total_ = total;
    }

    // Writes the rows (all of them, or those that `which` names) with one prepared statement.
    bool insert(const QString &sql, const QList<QVariantList> &rows, const QList<int> &which, QString *error)
    {
        QSqlQuery query(connection());
        if (!query.prepare(sql))
            return fail(query, error);
        const qsizetype count = which.isEmpty() ? rows.size() : which.size();
        for (qsizetype i = 0; i < count; ++i) {
            const QVariantList &row = rows.at(which.isEmpty() ? i : which.at(i));
            for (int c = 0; c < row.size(); ++c)
                query.bindValue(c, row.at(c));
            if (!query.exec())
                return fail(query, error);
            if (progress_ && ++done_ % 2000 == 0)
                progress_(QStringLiteral("Menulis"), done_, total_);
        }
        return true;
    }

    // Drops the indexes that their own statements made (all but the one behind
    // UNIQUE) and hands those statements back: building an index once over all
    // rows is much faster than keeping it up to date row by row.
    bool dropIndexes(QStringList *statements, QString *error)
    {
        QSqlQuery query(connection());
        if (!query.exec(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL")))
            return fail(query, error);
        QStringList names;
        while (query.next()) {
            names << query.value(0).toString();
            *statements << query.value(1).toString();
        }
        for (const QString &name : std::as_const(names))
            if (!exec(QStringLiteral("DROP INDEX \"%1\"").arg(name), error))
                return false;
        return true;
    }

    // A new database is checkpointed too, so that its main file stands alone when renamed.
    bool commit(bool standalone, QString *error)
    {
        if (!exec(QStringLiteral("COMMIT"), error))
            return false;
        pending_ = false;
        if (!standalone)
            return true;
        QSqlQuery query(connection());
        if (!query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)")) || !query.next()
            || query.value(0).toInt() != 0)
            return fail(query, error);
        return true;
    }

    void close()
    {
        if (!opened_)
            return;
        opened_ = false;
        {
            QSqlDatabase database = QSqlDatabase::database(name_, false);
            // A server would warn of a ROLLBACK outside a transaction.
            if (database.isOpen() && (!server_ || pending_))
                QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
            if (!server_)
                database.close();
        }
        if (server_)
            db::closeConnection(name_);
        else
            QSqlDatabase::removeDatabase(name_);
    }

private:
    QSqlDatabase connection() const { return QSqlDatabase::database(name_, false); }
    bool fail(const QSqlQuery &query, QString *error)
    {
        *error = server_ ? db::describeError(query.lastError(), connection())
                         : db::describeError(query.lastError(), file_);
        return false;
    }

    QString file_;
    QString name_ = QStringLiteral("simparo-import");
    bool opened_ = false;
    bool server_ = false;
    bool pending_ = false; // a server transaction not yet committed
    std::function<void(const QString &, qint64, qint64)> progress_;
    qint64 done_ = 0;
    qint64 total_ = 0;
};

QString reportFileFor(const QString &target)
{
    const QString base =
        target + QStringLiteral(".impor-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = base + QStringLiteral(".txt");
    for (int i = 2; QFileInfo::exists(name); ++i)
        name = base + QStringLiteral("-%1.txt").arg(i);
    return name;
}

QString buildReport(const Options &options, const QString &target, bool existing, const Source &source,
                    const Plan &plan)
{
    QStringList lines;
    lines << QStringLiteral("Impor data lama ke SIMPARO")
          << QStringLiteral("Sumber : %1").arg(QDir::toNativeSeparators(QFileInfo(options.source).absoluteFilePath()))
          << QStringLiteral("Tujuan : %1 (%2)")
                 .arg(QDir::toNativeSeparators(target),
                      existing ? QStringLiteral("ditambahkan ke database yang sudah ada")
                               : QStringLiteral("database baru"))
          << QStringLiteral("Waktu  : %1").arg(QDateTime::currentDateTime().toString(Qt::ISODate)) << QString()
          << QStringLiteral("daftar    : %1 baris terbaca, %2 dimasukkan, %3 disisihkan ke tabel %4")
                 .arg(source.daftar.size())
                 .arg(plan.daftarKept.size())
                 .arg(plan.daftarSetAside.size())
                 .arg(QLatin1String(kSetAsideTable))
          << QStringLiteral("nabubg    : %1 baris terbaca, %1 dimasukkan").arg(source.nabubg.size())
          << QStringLiteral("tpassword : %1 baris terbaca, %1 dimasukkan").arg(source.tpassword.size()) << QString();
    const int anomalies = plan.anomalies();
    lines << QStringLiteral("Anomali: %1, catatan: %2.").arg(anomalies).arg(plan.findings.size() - anomalies);
    if (plan.findings.isEmpty())
        lines << QStringLiteral("Semua baris dimasukkan apa adanya; tidak ada yang perlu diperiksa.");
    else
        lines << QStringLiteral("Nomor baris dihitung dari 1 menurut urutan simpan di file lama.");
    for (const Finding &finding : plan.findings)
        lines << finding.line();
    if (!source.tpassword.isEmpty()) {
        int clear = 0;
        for (const QVariantList &row : source.tpassword)
            clear += passwords::isHash(row.at(1).toString()) ? 0 : 1;
        lines << QString()
              << QStringLiteral("PENTING: %1 password operator dipindahkan apa adanya sebagai teks biasa dan tetap "
                                "bisa dipakai untuk login. Minta setiap operator segera menggantinya lewat menu "
                                "\"Ganti Password\".")
                     .arg(clear);
    }
    return lines.join(u'\n') + u'\n';
}

// Writes the kept register rows, the whole ledger, the operators and the rows set aside.
bool writeRows(Writer &writer, const Source &source, const Plan &plan, const Options &options, QString *error)
{
    const auto placeholders = [](qsizetype count) { return QStringList(count, QStringLiteral("?")).join(u','); };
    const QStringList daftar = schema::daftar().columnNames();
    const QStringList nabubg = schema::nabubg().columnNames();
    if (!plan.daftarKept.isEmpty()
        && !writer.insert(
            QStringLiteral("INSERT INTO daftar (%1) VALUES (%2)").arg(daftar.join(u','), placeholders(daftar.size())),
            source.daftar, plan.daftarKept, error))
        return false;
    if (!writer.insert(
            QStringLiteral("INSERT INTO nabubg (%1) VALUES (%2)").arg(nabubg.join(u','), placeholders(nabubg.size())),
            source.nabubg, {}, error)
        || !writer.insert(QStringLiteral("INSERT INTO tpassword (\"user\", \"password\") VALUES (?, ?)"),
                          source.tpassword, {}, error))
        return false;
    if (plan.daftarSetAside.isEmpty())
        return true;

    // Only register rows are ever set aside: the side table has their columns,
    // after where and why each row was set aside.
    const QStringList about = {QStringLiteral("waktu"), QStringLiteral("sumber"), QStringLiteral("tabel"),
                               QStringLiteral("baris"), QStringLiteral("alasan")};
    if (!writer.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (waktu TEXT NOT NULL, sumber TEXT NOT NULL, "
                                    "tabel TEXT NOT NULL, baris INTEGER NOT NULL, alasan TEXT NOT NULL, %2 TEXT)")
                         .arg(QLatin1String(kSetAsideTable), daftar.join(QStringLiteral(" TEXT, "))),
                     error))
        return false;
    QList<QVariantList> rows;
    const QVariant when = QDateTime::currentDateTime().toString(Qt::ISODate);
    const QVariant from = QDir::toNativeSeparators(QFileInfo(options.source).absoluteFilePath());
    for (const auto &[index, reason] : plan.daftarSetAside)
        rows << (QVariantList{when, from, QStringLiteral("daftar"), index + 1, reason} + source.daftar.at(index));
    const QStringList columns = about + daftar;
    return writer.insert(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                             .arg(QLatin1String(kSetAsideTable), columns.join(u','), placeholders(columns.size())),
                         rows, {}, error);
}

bool saveReport(const QString &file, const QString &text, QString *error)
{
    QFile out(file);
    if (out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        const bool written = out.write(text.toUtf8()) >= 0 && out.flush();
        out.close();
        if (written && out.error() == QFileDevice::NoError)
            return true;
        out.remove();
    }
    *error = QStringLiteral("Laporan %1 tidak bisa ditulis.").arg(QDir::toNativeSeparators(file));
    return false;
}

// Puts a finished new database, built under another name, at its place; never over a file.
bool putInPlace(const QString &building, const QString &target, QString *error)
{
    const QFileInfo journal(building + QStringLiteral("-wal"));
    if (journal.exists() && journal.size() > 0) {
        *error = QStringLiteral("Database baru tidak bisa diselesaikan (jurnal WAL tidak kosong).");
        return false;
    }
    if (!QFile::rename(building, target)) {
        *error = QStringLiteral("Database baru tidak bisa dipindahkan ke %1 (apakah sudah ada file dengan nama itu?).")
                     .arg(QDir::toNativeSeparators(target));
        return false;
    }
    removeDatabaseFiles(building);
    return true;
}

// Reads the three tables of the old file and puts their values in our order.
bool readSource(const Options &options, Source *source, QString *error)
{
    legacy::ReadResult read = legacy::readFile(
        options.reader, options.source, kTables, options.silenceTimeoutMs, [&options](const legacy::Progress &p) {
            if (options.progress)
                options.progress(QStringLiteral("Membaca %1").arg(p.table), p.rows, p.declaredRows);
        });
    if (!read.ok) {
        *error = read.error;
        return false;
    }
    return shape(std::move(read.tables), source, error);
}

// Into the database of a server's service. A database without the program's
// tables gets them in the same transaction as the rows, so that a failure leaves
// it as it was; the report is saved in the current folder.
Outcome runOnServer(const Options &options)
{
    Outcome outcome;
    auto failed = [&outcome](const QString &error) {
        outcome.exitCode = kFailed;
        outcome.error = error;
        return outcome;
    };
    const QString text = QStringLiteral("Provider=PostgreSQL;Data Source=%1").arg(options.server);
    QString error;
    if (!db::checkConnectionText(text, &error))
        return failed(QStringLiteral("Nama layanan tidak sah: %1.").arg(error));
    const QString target = db::describedLocation(text);
    Writer writer(target);
    QStringList present;
    if (!writer.openServer(text, &error) || !writer.presentTables(&present, &error))
        return failed(error);
    const bool existing = !present.isEmpty();
    if (existing && !options.intoExisting)
        return failed(QStringLiteral("Database di %1 sudah berisi %2. simparo-import tidak menyentuh database yang "
                                     "sudah ada; pakai --into-existing untuk menambahkan data lama ke dalamnya.")
                          .arg(target, present.join(QStringLiteral(", "))));
    if (existing && !db::verifyConnection(text, &error))
        return failed(error);

    Source source;
    if (!readSource(options, &source, &error) || !writer.begin(existing, &error))
        return failed(error);
    Existing before;
    if (existing && !writer.loadExisting(&before, &error))
        return failed(error);
    Plan plan = analyse(source, before);
    // The server's date column holds no time of day.
    for (Finding &finding : plan.findings)
        if (finding.table == QLatin1String("nabubg") && finding.what.endsWith(QLatin1String(" memuat jam")))
            finding.where = QStringLiteral("hanya tanggalnya yang disimpan");
    outcome.report = buildReport(options, target, existing, source, plan);
    if (options.strict && plan.anomalies() > 0) {
        outcome.exitCode = kRefused;
        outcome.error = QStringLiteral("--strict: ada %1 anomali, jadi tidak ada yang ditulis.").arg(plan.anomalies());
        return outcome;
    }

    bool ok = existing || writer.createSchema(&error);
    writer.showProgress(
        options, plan.daftarKept.size() + source.nabubg.size() + source.tpassword.size() + plan.daftarSetAside.size());
    ok = ok && writeRows(writer, source, plan, options, &error);
    // The report is on disk before the commit, and goes again if the commit fails.
    const QString name = reportFileFor(QDir::current().absoluteFilePath(options.server));
    const QString report =
        outcome.report + QStringLiteral("\nLaporan ini disimpan di %1\n").arg(QDir::toNativeSeparators(name));
    QString reportFile;
    if (ok && saveReport(name, report, &error)) {
        reportFile = name;
        setLeftover(4, reportFile);
        watchInterruptions();
    } else {
        ok = false;
    }
    ok = ok && writer.commit(false, &error);
    writer.close();
    g_leftovers = {};
    if (!ok) {
        if (!reportFile.isEmpty())
            QFile::remove(reportFile);
        outcome.report.clear();
        return failed(error);
    }
    outcome.exitCode = kSuccess;
    outcome.report = report;
    outcome.reportFile = reportFile;
    return outcome;
}

} // namespace

Outcome run(const Options &options)
{
    if (!options.server.isEmpty())
        return runOnServer(options);
    Outcome outcome;
    const QString target = QFileInfo(options.target.isEmpty() ? db::databaseFile() : options.target).absoluteFilePath();
    const QString shownTarget = QDir::toNativeSeparators(target);
    const bool existing = QFileInfo::exists(target);
    auto failed = [&outcome](const QString &error) {
        outcome.exitCode = kFailed;
        outcome.error = error;
        return outcome;
    };
    if (existing && !options.intoExisting)
        return failed(QStringLiteral("Database %1 sudah ada. simparo-import tidak menyentuh database yang sudah ada; "
                                     "pakai --into-existing untuk menambahkan data lama ke dalamnya, atau --to "
                                     "untuk membuat database di tempat lain.")
                          .arg(shownTarget));
    if (existing) {
        QString error;
        if (!db::verifyDatabase(target, &error))
            return failed(error);
    } else {
        for (const char *suffix : {"-wal", "-shm", "-journal"})
            if (QFileInfo::exists(target + QLatin1String(suffix)))
                return failed(QStringLiteral("File %1%2 tertinggal tanpa databasenya. Pindahkan file itu dulu, "
                                             "lalu ulangi.")
                                  .arg(shownTarget, QLatin1String(suffix)));
    }

    Source source;
    QString error;
    if (!readSource(options, &source, &error))
        return failed(error);

    // From here on every failure leaves the target as it was: a new database is
    // built under another name and renamed at the end; an existing one is written
    // in one transaction.
    const QString folder = QFileInfo(target).absolutePath();
    QString madeFrom; // the highest folder that this import makes, if any
    for (QString f = folder; !QFileInfo::exists(f) && f != QFileInfo(f).absolutePath(); f = QFileInfo(f).absolutePath())
        madeFrom = f;
    auto removeMadeFolders = [&] {
        for (QString f = folder; !madeFrom.isEmpty() && QDir().rmdir(f) && f != madeFrom;
             f = QFileInfo(f).absolutePath())
            ;
    };
    QString building = target;
    if (!existing) {
        if (!QDir().mkpath(folder))
            return failed(QStringLiteral("Folder %1 tidak bisa dibuat.").arg(QDir::toNativeSeparators(folder)));
        QTemporaryFile reserve(target + QStringLiteral(".sementara-XXXXXX"));
        if (!reserve.open()) {
            removeMadeFolders();
            return failed(QStringLiteral("Folder %1 tidak bisa ditulis.").arg(QDir::toNativeSeparators(folder)));
        }
        building = reserve.fileName();
        std::size_t slot = 0;
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            setLeftover(slot++, building + QLatin1String(suffix));
        if (!madeFrom.isEmpty())
            setLeftover(g_leftovers.size() - 1, folder);
        watchInterruptions();
    }
    QString reportFile;
    auto cleanUp = [&] {
        if (!existing) {
            removeDatabaseFiles(building);
            removeMadeFolders();
        }
        if (!reportFile.isEmpty())
            QFile::remove(reportFile);
    };

    Writer writer(building);
    Existing before;
    if (existing) {
        if (!writer.open(&error) || !writer.loadExisting(&before, &error))
            return failed(error);
    }
    const Plan plan = analyse(source, before);
    outcome.report = buildReport(options, target, existing, source, plan);
    if (options.strict && plan.anomalies() > 0) {
        writer.close();
        cleanUp();
        outcome.exitCode = kRefused;
        outcome.error = QStringLiteral("--strict: ada %1 anomali, jadi tidak ada yang ditulis.").arg(plan.anomalies());
        return outcome;
    }

    bool ok = true;
    QStringList indexes;
    if (!existing) {
        // The same schema as simparo-initdb makes, with the old operators instead of a first one.
        ok = db::createEmptyDatabase(building, &error) && writer.open(&error) && writer.dropIndexes(&indexes, &error);
    }
    writer.showProgress(
        options, plan.daftarKept.size() + source.nabubg.size() + source.tpassword.size() + plan.daftarSetAside.size());
    ok = ok && writeRows(writer, source, plan, options, &error);
    for (const QString &statement : std::as_const(indexes))
        ok = ok && writer.exec(statement, &error);
    // The report is on disk before the commit, and goes again if the commit fails.
    const QString name = reportFileFor(target);
    const QString text =
        outcome.report + QStringLiteral("\nLaporan ini disimpan di %1\n").arg(QDir::toNativeSeparators(name));
    if (ok && saveReport(name, text, &error)) {
        reportFile = name;
        setLeftover(4, reportFile);
        watchInterruptions();
    } else {
        ok = false;
    }
    ok = ok && writer.commit(!existing, &error);
    writer.close();
    ok = ok && (existing || putInPlace(building, target, &error));
    g_leftovers = {};
    if (!ok) {
        cleanUp();
        outcome.report.clear();
        return failed(error);
    }
    outcome.exitCode = kSuccess;
    outcome.report = text;
    outcome.reportFile = reportFile;
    return outcome;
}

} // namespace import
