// The import as one flow over its target (a new file, an existing file, or the
// database of a server's service): the data layer's db::Fill makes the target,
// and undoes it on any failure; the rows go into it as the reader streams them.
#include "importer_p.h"

#include "data/trail/audit.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/operators/operators.h"
#include "data/base/passwords.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <array>
#include <csignal>
#include <memory>
#include <unistd.h>

namespace import {

namespace {

const QStringList kTables = {QStringLiteral("daftar"), QStringLiteral("nabubg"), QStringLiteral("tpassword")};

// Files that an interrupted import (Ctrl+C, a closed terminal) must not leave
// behind: the new database while it is built, its private folder, the folders
// made for it, and the report until the rows it speaks of are committed. Kept as
// plain bytes, so that the signal handler can remove them.
std::array<std::array<char, 4096>, 12> g_leftovers{};

void setLeftovers(const QStringList &names)
{
    g_leftovers = {};
    for (std::size_t i = 0; i < g_leftovers.size() && i < std::size_t(names.size()); ++i) {
        const QByteArray name = QFile::encodeName(names.at(qsizetype(i)));
        if (name.size() < qsizetype(g_leftovers[i].size()))
            std::copy(name.begin(), name.end(), g_leftovers[i].begin());
    }
}

void removeLeftovers(int signal)
{
    // Files, then the folders that held them, in order: each entry is one or the other.
    for (const auto &entry : g_leftovers)
        if (entry[0] != '\0' && ::unlink(entry.data()) != 0)
            ::rmdir(entry.data());
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

// What the target already holds, for the analysis.
bool loadExisting(QSqlDatabase database, Existing *existing, QString *error)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    const QString key = db::keyColumn(database);
    const QStringList statements = {
        QStringLiteral("SELECT norekening, nama FROM daftar"),
        QStringLiteral("SELECT norekening, saldo FROM nabubg WHERE %1 IN (SELECT max(%1) FROM nabubg GROUP BY norekening)")
            .arg(key),
        QStringLiteral("SELECT \"user\" FROM tpassword"),
    };
    for (int s = 0; s < statements.size(); ++s) {
        if (!query.exec(statements[s])) {
            *error = db::describeError(query.lastError(), database);
            return false;
        }
        while (query.next()) {
            const QString first = query.value(0).toString();
            if (s == 0 && !existing->accounts.contains(first))
                existing->accounts.insert(first, query.value(1).toString());
            else if (s == 1)
                existing->lastBalance.insert(first, query.value(1).toDouble());
            else if (s == 2)
                existing->users.insert(first);
        }
    }
    return true;
}

// Writes each row as it comes, with one prepared statement per table.
class Writer
{
public:
    Writer(QSqlDatabase database, const QString &source)
        : database_(std::move(database))
        , when_(QDateTime::currentDateTime().toString(Qt::ISODate))
        , from_(source)
    { }

    bool write(int table, const QVariantList &row, QString *error)
    {
        if (table != kTpassword)
            return insert(table, row, error);
        // An old file's operators, with their clear-text passwords: kept only as
        // hashes in a file, as roles of their own on a server.
        const QString password = row.at(1).toString();
        const ::Outcome made = operators::insert(database_, row.at(0).toString(), password);
        if (!made.isOk()) {
            *error = made.message();
            return false;
        }
        hashed_ += !passwords::isHash(password);
        return true;
    }

    // A register row the schema does not allow, into the side table: where it was
    // and why, then all its values.
    bool setAside(qint64 rowNumber, const QString &reason, const QVariantList &row, QString *error)
    {
        if (!sideTableReady_) {
            QStringList tables, views;
            QSqlError failure;
            if (!db::dialect(database_).relationNames(database_, &tables, &views, &failure)) {
                *error = db::describeError(failure, database_);
                return false;
            }
            QSqlQuery query(database_);
            if (!tables.contains(QLatin1String(kSetAsideTable))
                && !query.exec(schema::setAsideStatement())) {
                *error = db::describeError(query.lastError(), database_);
                return false;
            }
            sideTableReady_ = true;
        }
        return insert(3, QVariantList{when_, from_, kTables[kDaftar], rowNumber, reason} + row, error);
    }

    qint64 hashed() const { return hashed_; }

private:
    bool insert(int table, const QVariantList &row, QString *error)
    {
        std::unique_ptr<QSqlQuery> &query = statements_[std::size_t(table)];
        if (!query) {
            const QList<QPair<QString, QStringList>> targets = {
                {QStringLiteral("daftar"), schema::daftar().columnNames()},
                {QStringLiteral("nabubg"), schema::nabubg().columnNames()},
                {QStringLiteral("tpassword"), {QStringLiteral("\"user\""), QStringLiteral("\"password\"")}},
                {QLatin1String(kSetAsideTable), schema::setAsideColumns()},
            };
            const auto &[name, columns] = targets.at(table);
            query = std::make_unique<QSqlQuery>(database_);
            if (!query->prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                    .arg(name, columns.join(u','),
                                         QStringList(columns.size(), QStringLiteral("?")).join(u',')))) {
                *error = db::describeError(query->lastError(), database_);
                return false;
            }
        }
        for (int c = 0; c < row.size(); ++c)
            query->bindValue(c, row.at(c));
        if (!query->exec()) {
            *error = db::describeError(query->lastError(), database_);
            return false;
        }
        return true;
    }

    QSqlDatabase database_;
    const QString when_, from_;
    std::array<std::unique_ptr<QSqlQuery>, 4> statements_;
    bool sideTableReady_ = false;
    qint64 hashed_ = 0;
};

// Takes the old tables from the reader: checks each table's columns, puts each
// row in our column order, and hands it to the analysis and then the writer.
class Rows final : public legacy::Sink
{
public:
    Rows(Analysis *analysis, Writer *writer)
        : analysis_(analysis)
        , writer_(writer)
    { }

    bool table(int index, const legacy::Table &table, QString *error) override
    {
        if (!shape(index, table, &positions_, error))
            return false;
        inOrder_ = true;
        for (int c = 0; c < positions_.size(); ++c)
            inOrder_ = inOrder_ && positions_[c] == c;
        return true;
    }

    bool row(int index, QVariantList &values, QString *error) override
    {
        if (!inOrder_) {
            QVariantList ordered;
            ordered.reserve(positions_.size());
            for (int p : std::as_const(positions_))
                ordered << values.at(p);
            values = std::move(ordered);
        }
        switch (index) {
        case kDaftar: {
            QString reason;
            return analysis_->customer(values, &reason) ? writer_->write(kDaftar, values, error)
                                                        : writer_->setAside(analysis_->customers(), reason, values, error);
        }
        case kNabubg:
            analysis_->posting(values);
            return writer_->write(kNabubg, values, error);
        default:
            analysis_->user(values);
            return writer_->write(kTpassword, values, error);
        }
    }

private:
    Analysis *analysis_;
    Writer *writer_;
    QList<int> positions_;
    bool inOrder_ = true;
};

} // namespace

// The highest key of the ledger (nothing for an empty one): the import's rows come after it.
static bool tableTop(QSqlDatabase database, const QString &table, std::optional<qint64> *top, QString *error)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT max(%1) FROM %2").arg(db::keyColumn(database), table)) || !query.next()) {
        *error = db::describeError(query.lastError(), database);
        return false;
    }
    *top = query.value(0).isNull() ? std::nullopt : std::optional<qint64>(query.value(0).toLongLong());
    return true;
}

// What an import into a database that holds the program's tables is told, without --into-existing.
static QString existingRefusal(bool toFile, const QString &target, const QStringList &present)
{
    return toFile ? QStringLiteral("Database %1 sudah ada. simparo-import tidak menyentuh database yang "
                                   "sudah ada; pakai --into-existing untuk menambahkan data lama ke "
                                   "dalamnya, atau --to untuk membuat database di tempat lain.")
                        .arg(legacy::printable(QDir::toNativeSeparators(target)))
                  : QStringLiteral("Database di %1 sudah berisi %2. simparo-import tidak menyentuh database "
                                   "yang sudah ada; pakai --into-existing untuk menambahkan data lama ke "
                                   "dalamnya.")
                        .arg(target, present.join(QStringLiteral(", ")));
}

// The import's one row of the audit trail covers the ledger rows it brought
// (their key range, count and digest) and names the breaks of their balance
// chains, which are known from then on; the customers it brought the same way.
static bool recordImport(QSqlDatabase database, const std::optional<qint64> &topBefore,
                         const std::optional<qint64> &registerBefore, const QString &sourceName, QString *error)
{
    std::optional<qint64> topAfter, registerAfter;
    if (!tableTop(database, QStringLiteral("nabubg"), &topAfter, error)
        || !tableTop(database, QStringLiteral("daftar"), &registerAfter, error))
        return false;
    const qint64 first = topBefore.value_or(0) + 1;
    const qint64 last = topAfter.value_or(0);
    const ::Outcome recorded = audit::appendImport(
        database, first, last, QStringLiteral("sumber=%1").arg(legacy::printable(sourceName)),
        registerBefore.value_or(0) + 1, registerAfter.value_or(0));
    if (!recorded.isOk())
        *error = recorded.message();
    return recorded.isOk();
}

Outcome run(const Options &options)
{
    Outcome outcome;
    auto failed = [&outcome](const QString &error) {
        outcome.exitCode = kFailed;
        outcome.error = error;
        return outcome;
    };
    // The target the operator named: a file (--to, or the program's own), or a service (--server).
    const bool toFile = options.server.isEmpty();
    const QString file = QFileInfo(options.target.isEmpty() ? db::databaseFile() : options.target).absoluteFilePath();
    std::unique_ptr<db::Fill> fill = toFile ? db::Fill::intoFile(file) : db::Fill::intoService(options.server);
    const QString target = fill->location();
    // The report lies beside a file; for a server, in the current folder.
    const QString reportBase = toFile ? file : QDir::current().absoluteFilePath(options.server);

    bool existing = false;
    QStringList present;
    QString error;
    if (!fill->inspect(&existing, &present, &error))
        return failed(error);
    if (existing && !options.intoExisting)
        return failed(existingRefusal(toFile, target, present));
    const QFileInfo source(options.source);
    if (!source.isFile() || !source.isReadable())
        return failed(QStringLiteral("File %1 tidak ditemukan atau tidak bisa dibaca.")
                          .arg(legacy::printable(QDir::toNativeSeparators(source.absoluteFilePath()))));

    // From here on every failure leaves the target as it was (the Fill undoes what was done).
    if (!fill->begin(&error))
        return failed(error);
    struct Forget
    {
        ~Forget() { setLeftovers({}); }
    } forget;
    setLeftovers(fill->leftovers());
    watchInterruptions();
    Existing before;
    if (existing && !loadExisting(fill->database(), &before, &error))
        return failed(error);
    std::optional<qint64> topBefore, registerBefore;
    if (!tableTop(fill->database(), QStringLiteral("nabubg"), &topBefore, &error)
        || !tableTop(fill->database(), QStringLiteral("daftar"), &registerBefore, &error))
        return failed(error);
    Analysis analysis(std::move(before), db::dialect(fill->database()).keepsTimeOfDay());
    legacy::ReadResult read;
    qint64 hashed = 0;
    {
        // Its statements end before the Fill ends the connection.
        Writer writer(fill->database(), QDir::toNativeSeparators(source.absoluteFilePath()));
        Rows rows(&analysis, &writer);
        read = legacy::readFile(options.reader, options.source, kTables,
                                legacy::limitsFor(source.size(), options.silenceTimeoutMs), &rows,
                                [&options](const legacy::Progress &p) {
                                    if (options.progress)
                                        options.progress(QStringLiteral("Membaca %1").arg(p.table), p.rows,
                                                         p.declaredRows);
                                });
        hashed = writer.hashed();
    }
    if (!read.ok)
        return failed(read.error);
    analysis.finish();
    outcome.report = buildReport(options, target, existing, analysis, hashed);
    if (options.strict && analysis.anomalies() > 0) {
        fill->discard();
        outcome.exitCode = kRefused;
        outcome.error = QStringLiteral("--strict: ada %1 anomali, jadi tidak ada yang ditulis.").arg(analysis.anomalies());
        return outcome;
    }

    if (!recordImport(fill->database(), topBefore, registerBefore, source.fileName(), &error))
        return failed(error);

    // The report is on disk before the commit, and goes again if the commit fails.
    QString reportFile;
    if (!saveReport(reportBase, &outcome.report, &reportFile, &error)) {
        outcome.report.clear();
        return failed(error);
    }
    setLeftovers(QStringList{reportFile} + fill->leftovers());
    const bool finished = fill->finish(&error);
    fill.reset();
    if (!finished) {
        QFile::remove(reportFile);
        outcome.report.clear();
        return failed(error);
    }
    outcome.exitCode = kSuccess;
    outcome.reportFile = reportFile;
    return outcome;
}

} // namespace import
