#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <memory>

// A fresh database for one test: HOME points into a temporary folder, so the
// program's own file ($HOME/SKRIP/asli.sqlite) is a new database made by the
// same code as simparo-initdb, with the operator admin / admin123.
//
// With SIMPARO_TEST_ENGINE=postgresql the same tests run on a server: the
// throwaway server of testserver.h is emptied and given the program's tables
// by the same code as simparo-initdb --server, and the user's setting file in
// the temporary HOME points the program's connection text at it.
class TestDatabase
{
public:
    // create=false leaves the folder (or the server's database) without the program's tables.
    explicit TestDatabase(bool create = true);
    ~TestDatabase();

    // True when the tests run on the server.
    static bool onServer();

    QString file() const;
    QString home() const { return dir_.path(); }
    // Where the program's messages say the data lives: the file, or the server and service.
    QString location() const;
    // The connection text the program uses.
    QString connectionText() const;

    // Runs one statement with bound values on a connection of the test's own; fails the test on error.
    // Statements name the row key rowid, as SQLite does; on the server it reads as the hidden key column.
    void exec(const QString &sql, const QVariantList &values = {});
    // The first column of the first row of a query.
    QVariant scalar(const QString &sql, const QVariantList &values = {});
    // All rows of a query, each row's columns joined with "|".
    QStringList rows(const QString &sql, const QVariantList &values = {});

    // Like exec(), but a refusal of the database is a result: false, with the database's words in *error.
    bool tryExec(const QString &sql, const QVariantList &values = {}, QString *error = nullptr);

    // Recreates the register as databases made before the account number was
    // enforced hold it: the same columns (and on the server the hidden key), no rule.
    void makeOlderRegister();

    // Runs one statement as the owner does, with the trail's rules lifted for it
    // (nabubg and jejak refuse UPDATE and DELETE; a file's jejak takes only the next
    // number; a server seals every jejak row inserted): to lay out a damaged or
    // tampered ledger. Fails the test on error.
    void execAsOwner(const QString &sql, const QVariantList &values = {});

    // Lifts the rules of a clerk's rows (amounts, dates, the balance chain, the keys)
    // until the test's end, as the owner's maintenance can: for tests of the record
    // sources on rows of any kind.
    void liftRules();

    // A customer as the register writes him: with his trail row (nasabah baru).
    void addCustomer(const QString &norekening, const QString &nama, const QString &pendidikan = QStringLiteral("SD"));
    // A ledger row as a posting writes it: with its posting row in the audit trail,
    // written by the owner with the rules of a clerk's rows lifted (any day, any amounts).
    // A saldo that is no number (an invalid value: NULL) is stored as it is.
    void addLedgerRow(const QString &norekening, const QString &nama, const QString &date, const QString &kode,
                      double debet, double kredit, const QVariant &saldo);
    void addOperator(const QString &user, const QString &password);
    // Damages the file behind the program's back, past its first two pages: cuts it
    // short there, or overwrites the rest with garbage.
    bool damage(bool truncate);

    // Makes the database refuse every INSERT or UPDATE (event) on a table with this
    // message, as a full disk would, until allowWrites() with the same name.
    void refuseWrites(const QString &name, const QString &event, const QString &table, const QString &message);
    void allowWrites(const QString &name, const QString &table);
    // Makes every COMMIT of a write fail after all its statements went through,
    // until called with false: on the server a deferred constraint trigger on jejak
    // raises at the commit; on a file another program reads it under the rollback
    // journal, so that no commit can take the file (the program's connections
    // opened after this wait for it only briefly). Call it before the screens open.
    void failCommits(bool fail);
    // Holds a lock that keeps every other writer out until the returned transaction is rolled back.
    void lockAgainstWriters();
    void releaseLock();

private:
    // Runs one INSERT ... RETURNING %1 (the key) and appends its trail row, in one write:
    // as the program's connections log in, or as the role the service names (the owner).
    void writeWithTrail(const QString &sql, const QVariantList &values, const QString &table, const QString &tindakan,
                        const QString &norekening, bool asService = false);
    QSqlDatabase connection();
    void closeOwnConnection();
    QTemporaryDir dir_;
    QByteArray savedHome_;
    QByteArray savedConfig_;
    QString connectionName_;
    QString trailConnection_; // a connection of the program's own, for writes with their trail row
    QString serviceConnection_; // the same, as the role the service names
};

// A program of the build (SIMPARO_TOOLS_DIR, else the test program's own folder).
QString tool(const QString &name);

// One run of a program of the build: its exit code (-1 when it crashed or did not
// end within a minute) and what it printed.
struct ToolRun
{
    int exitCode = -1;
    QString out, err;
};
// Runs it with HOME and the working folder at home (where the program's own database
// lies), NAME=value settings added to its environment and `input` on its standard input.
ToolRun runTool(const QString &name, const QStringList &arguments, const QString &home,
                const QStringList &environment = {}, const QByteArray &input = {});
