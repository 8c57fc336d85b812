#pragma once

// Registers the main window as the home window the screens go back to.
void registerHome();

// Starts the program: checks the database and opens the login screen. When the
// database is missing or unusable, the setting file malformed, or the server
// cannot be reached or refuses the login, the operator is told which file, server
// or service and what to do, and false is returned so that the program ends cleanly.
bool startProgram();
