#include "app/loginscreen.h"
#include "app/messages.h"
#include "app/screens.h"
#include "data/database.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("SIMPARO"));
    QApplication::setApplicationDisplayName(QString());

    // The operator hears at once when the database is missing or incomplete.
    QString error;
    if (!db::verifyDatabase(db::databaseFile(), &error)) {
        msg::databaseError(nullptr, error);
        return 1;
    }
    screens::show<LoginScreen>();
    return app.exec();
}
