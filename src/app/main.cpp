#include "app/startup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SIMPARO"));
    if (!startProgram())
        return 1;
    return app.exec();
}
