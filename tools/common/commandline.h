#pragma once

#include <QString>

// What the command-line tools share: Qt's command-line parser in Indonesian, and
// the places of the files that are installed with them.
namespace cli {

// From here on Qt's command-line parser speaks Indonesian: the help's
// "Pemakaian:", "Opsi:" and "Argumen:" lines, the texts of its own
// -h/--help/--help-all/-v/--version options and its messages about a wrong
// command line. Call it after the application object is made and before the
// help or version option is added: the parser takes their texts then.
void useIndonesian();

// A helper program of SIMPARO's own, in its private folder beside the tools:
// /usr/libexec/simparo/NAME for the tools in /usr/bin.
QString privateProgram(const QString &name);

// An installed page for the IT person: /usr/share/doc/simparo/admin/NAME for the
// tools in /usr/bin.
QString adminPage(const QString &name);

// A word as a shell takes it back as written: kept as it is when it holds only
// letters, digits and "_./:@%+=,-", else between single quotes.
QString shellWord(const QString &word);

} // namespace cli
