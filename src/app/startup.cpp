#include "startup.h"

#include "app/firststart.h"
#include "app/loginscreen.h"
#include "app/mainwindow.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "shell/messages.h"
#include "shell/screens.h"

void registerHome()
{
    screens::setHome([] { screens::show<MainWindow>(); });
}

bool showLogin(QWidget *over)
{
    QString error;
    if (!db::verifyConnection(db::connectionText(), &error)) {
        msg::perhatian(over, error);
        return false;
    }
    screens::show<LoginScreen>();
    return true;
}

bool startProgram()
{
    registerHome();
    if (FirstStartWindow::wanted()) {
        screens::show<FirstStartWindow>();
        return true;
    }
    return showLogin(nullptr);
}
