#pragma once

// The parts of simparo-screenshots: the steps that work a window and save its
// picture, the made-up data, and the screens shot on it.
#include <QDate>
#include <QImage>
#include <QString>

class MainWindow;
class QWidget;

namespace shots {

// The day the pictures show as today, so that they change only when the screens do.
inline const QDate kToday(2024, 7, 15);

// A failure is told and counted, and the pictures go on.
void fail(const QString &what);
int failures();

// Lets the windows show, activate and paint.
void settle(int milliseconds = 60);
// The screen driver's steps, each given time to show what it set off.
void enter(QWidget *window, const char *field);
void press(QWidget *window, const char *button);
void trigger(QWidget *window, const char *action);

QImage picture(QWidget *window);
void save(const QImage &image, const QString &folder, const QString &name);
// The window's picture saved as NAME.png in the folder; a window not open is a failure.
void shoot(QWidget *window, const QString &folder, const QString &name);
// The main window with the menu of the menu bar entry opened over it.
QImage withMenuOpen(MainWindow *window, const char *menuName);

// No message box belongs in the pictures: one that opens is a failure, and is
// closed (watchModals(), run often), unless its objectName is allowed (a modal
// window that is itself shot).
void watchModals();
void allowModal(const QString &objectName, bool allowed);

// The made-up database, under the HOME set for the program.
bool fillDatabase(QString *error);

// The screens, worked and shot in turn; the supervisor's screens, with the
// operator who logged in a supervisor.
void takePictures(const QString &folder);
void takeSupervisorPictures(MainWindow *menu, const QString &folder);

} // namespace shots
