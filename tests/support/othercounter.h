#pragma once

#include <QProcess>
#include <QString>

// A clerk at another counter: a program of its own (simparo-testcounter) that
// posts one transaction on the test's database through the same check and write
// as "SAVE", while the test works the screens or holds a write of its own.
class OtherCounter
{
public:
    // Starts the posting ("01" deposit, "02" withdrawal; the amount as "25000").
    void start(const QString &account, const QString &code, const QString &amount);
    // Starts a print of the account's passbook ("ok PRINTED LEFT" at its end).
    void startPassbook(const QString &account);
    // Waits until it is connected and about to post.
    bool waitUntilReady();
    bool waitForFinished(int milliseconds) { return process_.waitForFinished(milliseconds); }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // Waits for its end: "ok SALDO", "ditolak MESSAGE" or "gagal MESSAGE".
    QString result();

    // Posts and waits for the end.
    static QString post(const QString &account, const QString &code, const QString &amount);

private:
    QProcess process_;
};
