#include "data/base/session.h"

#include <QCoreApplication>
#include <QSysInfo>
#include <pwd.h>
#include <unistd.h>

namespace session {

namespace {
QString &current()
{
    static QString name;
    return name;
}

// The system user who runs the program, looked up once.
QString systemUser()
{
    static const QString name = [] {
        if (const passwd *entry = ::getpwuid(::geteuid()); entry && entry->pw_name)
            return QString::fromLocal8Bit(entry->pw_name);
        return qEnvironmentVariable("USER", QStringLiteral("?"));
    }();
    return name;
}
} // namespace

void setOperator(const QString &name)
{
    current() = name;
}

QString operatorName()
{
    if (!current().isEmpty())
        return current();
    const QString program = QCoreApplication::applicationName();
    return toolOperator(program.isEmpty() ? QStringLiteral("simparo") : program);
}

QString toolOperator(const QString &tool)
{
    return QStringLiteral("%1 (%2)").arg(tool, systemUser());
}

QString counterName()
{
    static const QString name = QSysInfo::machineHostName();
    return name;
}

} // namespace session
