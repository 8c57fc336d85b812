#pragma once

#include "dialogs.h"
#include "screendriver.h"
#include "testdb.h"

#include <QLocale>
#include <QObject>
#include <memory>

// Closes every screen of the program that is still open and lets it be
// discarded, so that the next test starts on fresh screens.
void closeAllScreens();

class QTableView;
// The heading of the first column of the grid too narrow for its heading or a
// value in sight; empty when every value shows whole.
QString cutColumn(QTableView *grid);

// The operator the tests work as: the first operator of every test database.
inline constexpr char kTestOperator[] = "admin";
inline constexpr char kTestPassword[] = "admin123";

// The base of the test programs. Each test starts on a fresh database (testdb.h)
// with the program's dialogs answered (dialogs.h), and ends with every report and
// screen closed, the default locale and the data layer's test settings as they
// were, and its database gone. The screens work for the test operator (kTestOperator),
// as after a login. The screen driver's helpers without a window work
// on the window given to drive().
class Fixture : public QObject, public ScreenDriver
{
    Q_OBJECT

protected:
    std::unique_ptr<TestDatabase> database;
    std::unique_ptr<DialogAnswerer> dialogs;

    // Every report and screen closed (cleanup() does it too).
    static void closeScreens();
    // One posting made on the transaction screen as the operator makes it: the
    // account looked up, a deposit or a withdrawal chosen, the amount typed, "SAVE".
    void postAtCounter(const QString &account, bool deposit, const QString &amount);

protected slots:
    void init();
    void cleanup();

private:
    QLocale savedLocale_;
};
