#pragma once

// Qt ships no Indonesian translation of its own texts: the program brings one,
// simparo_qt_id.qm (made from translations/simparo_qt_id.ts at build time), so
// that Qt's dialogs (the file chooser, the print dialog and its page setup, the
// print preview) and the message boxes' standard buttons ("Ya", "Tidak", "OK",
// "Batal") read in Indonesian like the rest of the program.
//
// Installs it for the application (once; later calls do nothing). It is looked
// for beside the program (the build folder's translations/) and where the package
// installs it (/usr/share/simparo/translations for the program in /usr/bin).
// False when it is found nowhere: Qt's texts then stay in English.
bool useIndonesianQtTexts();
