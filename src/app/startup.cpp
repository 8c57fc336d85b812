#include "startup.h"

#include "app/loginscreen.h"
#include "app/mainwindow.h"
#include "data/database.h"
#include "shell/messages.h"
#include "shell/screens.h"

void registerHome()
{
    screens::setHome([] { screens::show<MainWindow>(); });
}

bool startProgram()
{
    registerHome();
    QString error;
    if (!db::verifyConnection(db::connectionText(), &error)) {
        msg::perhatian(nullptr, error);
        return false;
    }
    screens::show<LoginScreen>();
    return true;
}
