#include "fixture.h"

#include <QApplication>
#include <QWidget>

void closeAllScreens()
{
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->testAttribute(Qt::WA_DeleteOnClose))
            window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
