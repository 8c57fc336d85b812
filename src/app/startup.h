#pragma once

class QWidget;

// Registers the main window as the home window the screens go back to.
void registerHome();

// Starts the program. With no database at its place and no setting file, it opens
// the first-start window frmAWAL, which creates or brings over the database or
// points the program at a server, and then opens the login. Otherwise it checks
// the database and opens the login screen. When the database is missing or
// unusable, the setting file malformed, or the server cannot be reached or
// refuses the login, the operator is told which file, server or service and what
// to do, and false is returned so that the program ends cleanly.
bool startProgram();

// Checks the database the program's setting names and opens the login screen;
// false, with the operator told over the window, when it cannot be used.
bool showLogin(QWidget *over);
