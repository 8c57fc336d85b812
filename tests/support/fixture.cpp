#include "fixture.h"

#include "app/qttexts.h"
#include "app/startup.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "data/operators/operators.h"
#include "data/records/recordwriter.h"
#include "data/base/session.h"
#include "reports/reports.h"
#include "savings/transactionscreen.h"
#include "shell/screens.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QWidget>

QString cutColumn(QTableView *grid)
{
    for (int column = 0; column < grid->model()->columnCount(); ++column) {
        const int wanted = std::max(static_cast<const QAbstractItemView *>(grid)->sizeHintForColumn(column),
                                    grid->horizontalHeader()->sectionSizeHint(column));
        if (grid->columnWidth(column) < wanted)
            return grid->model()->headerData(column, Qt::Horizontal).toString();
    }
    return {};
}

void closeAllScreens()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->testAttribute(Qt::WA_DeleteOnClose))
            window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void Fixture::closeScreens()
{
    reports::closeReports();
    closeAllScreens();
}

void Fixture::postAtCounter(const QString &account, bool deposit, const QString &amount)
{
    const char *field = deposit ? "txtKREDIT" : "txtDEBET";
    drive(screens::show<TransactionScreen>());
    type("txtREKENING", account);
    enter("txtREKENING");
    choose("cbo_TRANSAKSI", deposit ? 0 : 1);
    type(field, amount);
    enter(field);
    click("cmdSIMPAN");
}

void Fixture::init()
{
    // Qt's own texts in Indonesian, as the program has them from its start.
    if (!useIndonesianQtTexts())
        qFatal("Qt's texts in Indonesian (translations/simparo_qt_id.qm) are not beside the test program");
    // Screens opened without the login work for the operator of the first login.
    session::setOperator(QString::fromLatin1(kTestOperator));
    savedLocale_ = QLocale();
    database = std::make_unique<TestDatabase>();
    // On a server the program's connections log in as that operator's role.
    if (TestDatabase::onServer()) {
        QString error;
        if (!operators::logIn(database->connectionText(), QString::fromLatin1(kTestOperator),
                              QString::fromLatin1(kTestPassword), &error))
            qFatal("the test operator cannot log in: %s", qPrintable(error));
    }
    dialogs = std::make_unique<DialogAnswerer>();
}

void Fixture::cleanup()
{
    closeScreens();
    QLocale::setDefault(savedLocale_);
    db::setReadOnlyForTesting(false);
    db::setBusyTimeoutForTesting(5000);
    db::setWriteAheadLogForTesting(true);
    operators::setFirstWaitForTesting(std::chrono::milliseconds(1000));
    recordwrite::setAfterCheckForTesting({});
    if (database)
        operators::logOut(database->connectionText());
    dialogs.reset();
    database.reset();
}

// Screens go home to the main window, as they do in the program.
static void registerProgramHome()
{
    registerHome();
}
Q_COREAPP_STARTUP_FUNCTION(registerProgramHome)
