#pragma once

#include <QString>

// Who works the program, for as long as it runs. The login screen names the
// operator once his password is confirmed and "OK" opens the main window; every
// row of the audit trail written afterwards carries that name. The tools name
// themselves and the system user who runs them ("simparo-initdb (budi)").
namespace session {

void setOperator(const QString &name);
// The operator who logged in; before any login, the program and the system user
// who runs it, as a tool names itself.
QString operatorName();
// "TOOL (user)": a tool's name and the system user who runs it.
QString toolOperator(const QString &tool);
// The counter: this machine's host name.
QString counterName();

} // namespace session
