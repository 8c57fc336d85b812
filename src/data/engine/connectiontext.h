#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The connection text and the setting file that may hold it.
//
// The connection text is the only setting of the program. Its built-in form
// names a file: the engine is SQLite, the file is the Data Source with the
// extension ".mdb" replaced by ".sqlite", and on systems other than Windows the
// drive root "C:\" stands for the user's home folder.
//
// A site that keeps its data on a server puts one connection text of its own in
// a small file (see settingFiles()): "Provider=PostgreSQL;Data Source=NAME", the
// Data Source naming a libpq service. Host, port, database, TLS and role come
// from the service file (pg_service.conf), the password from .pgpass; the
// connection text itself never holds a secret.
namespace db {

// The built-in connection text of every record source of every screen.
extern const char *const kConnectionText;
// The built-in connection text of the report data environments (connection CN of DE, CON1 of DMN).
extern const char *const kEnvironmentConnectionText;
// The Provider of a connection text that names a PostgreSQL service.
extern const char *const kServerProvider;

// The files that may hold the site's connection text, the first that exists
// winning: the user's own ($XDG_CONFIG_HOME/simparo/koneksi, by default
// ~/.config/simparo/koneksi), then the site's (/etc/simparo/koneksi). On
// Windows: the user's and the machine's application data folders.
QStringList settingFiles();
// The file the connection text comes from; empty when the built-in one is in force.
QString settingFile();
// The connection text of the screens' record sources, and of the report data
// environments: the one of the setting file, else the built-in one.
QString connectionText();
QString environmentConnectionText();
// Test seam: the site-wide file looked at instead of the system's.
void setSiteSettingFileForTesting(const QString &file);

// The setting file in force, as read.
struct Setting {
    QString file;    // empty: the built-in connection text
    QString text;    // its connection text (lines without comments, joined)
    QString problem; // the file could not be read
};
Setting currentSetting();
// The connection text of the setting in force, checked as the program checks it
// at start: nothing, with the operator's message in *error, when the setting
// file cannot be read or holds a text the program refuses.
std::optional<QString> checkedConnectionText(QString *error);
// The operator's message for a connection text that checkConnectionText() refused:
// it names the setting file when the text came from there.
QString connectionProblemText(const QString &connectionText, const QString &problem);

// The value of one key of a connection text ("Data Source"), keys compared without case.
QString connectionValue(const QString &connectionText, const QString &key);
// False, with the reason, when a connection text is not of a form this program
// knows (unknown provider, no Data Source, an unknown key, a password in it).
bool checkConnectionText(const QString &connectionText, QString *problem);

// The file a connection text names, mapped as described above.
QString fileFromConnectionText(const QString &connectionText);
// Where the data a connection text names lives, as messages name it: the file,
// or the PostgreSQL server and its service.
QString describedLocation(const QString &connectionText);

// The database file of this program: $HOME/SKRIP/asli.sqlite (C:\SKRIP\asli.sqlite on Windows).
QString databaseFile();

// The connection text that names a libpq service.
QString serviceConnectionText(const QString &service);
// Writes the user's own setting file (the first of settingFiles()) holding one
// connection text, for this user alone (new folders 0700, the file 0600), never
// over anything at its name, a symbolic link included. False, with the operator's
// message, when the text is one the program refuses or the file cannot be made;
// then nothing is left at its name. *file gets the file's name.
bool writeUserSetting(const QString &connectionText, QString *file, QString *error);

} // namespace db
