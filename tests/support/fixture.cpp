#include "fixture.h"

#include "app/startup.h"

#include <QApplication>
#include <QWidget>

void closeAllScreens()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->testAttribute(Qt::WA_DeleteOnClose))
            window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Screens go home to the main window, as they do in the program.
static void registerProgramHome()
{
    registerHome();
}
Q_COREAPP_STARTUP_FUNCTION(registerProgramHome)
