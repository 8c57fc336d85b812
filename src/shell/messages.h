#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

// Every message box and input prompt of the program goes through here, so each
// text, title, icon and button set is written in one place and the screens can
// tell an activation by the operator from a box of their own closing.
namespace msg {

// The program's name, the title of a box that has none of its own.
extern const char *const kAppTitle;
// The title of most refusals and failed searches.
extern const char *const kPerhatian;

enum class Icon { None, Error, Question, Information };

// Shows a modal message box over the parent (or the active window) and returns
// the button the operator pressed.
QMessageBox::StandardButton show(QWidget *parent, const QString &text, const QString &title, Icon icon,
                                 QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// A refusal, a failed search or a failure of the database: error icon, OK, title "Perhatian".
void perhatian(QWidget *parent, const QString &text);
// A box with no title of its own (the program's name) and no icon.
void plain(QWidget *parent, const QString &text);
// A question with Yes and No; true for Yes.
bool askYesNo(QWidget *parent, const QString &text, const QString &title);

// An input prompt: text, title, an empty field, OK and Cancel. Returns the typed
// text, or empty text when cancelled.
QString prompt(QWidget *parent, const QString &text, const QString &title);

// Number of message boxes and prompts of ours open right now.
int openDialogs();

} // namespace msg
