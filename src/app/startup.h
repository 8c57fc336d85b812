#pragma once

// Registers the main window as the home window the screens go back to.
void registerHome();

// Starts the program: checks the database and opens the login screen. When the
// database is missing or unusable the operator is told which file and what to do,
// and false is returned so that the program ends cleanly.
bool startProgram();
