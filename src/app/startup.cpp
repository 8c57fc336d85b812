#include "startup.h"

#include "app/loginscreen.h"
#include "app/messages.h"
#include "app/screens.h"
#include "data/database.h"

bool startProgram()
{
    QString error;
    if (!db::verifyDatabase(db::databaseFile(), &error)) {
        msg::databaseError(nullptr, error);
        return false;
    }
    screens::show<LoginScreen>();
    return true;
}
