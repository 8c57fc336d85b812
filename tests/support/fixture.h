#pragma once

// Closes every screen of the program that is still open and lets it be
// discarded, so that the next test starts on fresh screens.
void closeAllScreens();
