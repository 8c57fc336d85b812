#pragma once

#include "bench.h"
#include "screendriver.h"
#include "shell/screens.h"

#include <QString>

class MainWindow;
class TransactionScreen;

// What the end-to-end cases of simparo-bench share: the screen driver's steps,
// each followed by what it set off, and one run over the screens in its steps
// (bench_e2e.cpp, and the transaction screen's in bench_e2e_transaction.cpp).
namespace e2e {

// Lets every pending event run, so that what was shown has also been drawn.
void settle();
// The screen driver's steps, each followed by what it set off.
void enter(QWidget *window, const char *name);
void click(QWidget *window, const char *name);
void trigger(MainWindow *menu, const char *action);

template <class T>
T *shown()
{
    return ScreenDriver::shown(screens::find<T>());
}

inline QString accountOf(int i)
{
    return bench::accountNumber(i);
}

// One run over every screen on the database under HOME, step by step, each step's
// figures printed as it ends.
struct Run {
    int runs;
    int customers;
    bool openingsOnly;
    QString label;
    MainWindow *menu = nullptr;
    int next = 0;    // spreads the lookups over the accounts
    int deposit = 0; // spreads the deposits (and the raw inserts after them)

    // Login to the main window.
    void login();
    // The transaction screen opened afresh, its whole-ledger grid, and its lookups;
    // then the screen left open.
    TransactionScreen *transactionScreen();
    // Deposits through the screen; the moments their "SAVE"s began.
    QVector<qint64> deposits(TransactionScreen *transaction);
    // The floor under "SAVE": raw durable inserts, at the pace the deposits were made.
    void rawInserts(const QVector<qint64> &began);
    void ledgerView(TransactionScreen *transaction);
    void customerRegister();
    void reportScreens();
    // Everything open at once: the peak memory.
    void everythingOpen();

    // Closes the screen of that kind when it is open, and opens it afresh from the menu.
    template <class T>
    T *reopen(const char *action)
    {
        if (auto *open = screens::find<T>())
            open->close();
        settle();
        trigger(menu, action);
        T *screen = shown<T>();
        settle();
        return screen;
    }
    // Account lookups on a screen: a number typed, then Enter until what it shows is there.
    void timeLookups(QWidget *screen, const QString &name);
};

} // namespace e2e
