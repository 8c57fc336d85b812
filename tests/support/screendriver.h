#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QWidget>
#include <functional>
#include <source_location>

// Works the program's windows as the operator does: finds controls by their
// objectName, types into fields, presses Enter, clicks buttons, chooses from
// lists and triggers menu entries. It serves the tests, simparo-bench and
// simparo-screenshots alike.
//
// A control or window that is not there fails loudly, naming it and the line that
// asked for it: inside a test function as a failure of that test, elsewhere as the
// failure handler decides (by default the program ends with the message). The
// caller is then given a hidden stand-in of the kind asked for, so nothing crashes.
//
// Every helper takes the window it works on; the same helpers without a window work
// on the driver's own window (given to the constructor or to drive()).
class ScreenDriver
{
public:
    using Where = std::source_location;

    ScreenDriver() = default;
    explicit ScreenDriver(QWidget *window) : driven_(window) {}

    // Replaces the default reaction to a missing control; gets the whole message.
    static void setFailureHandler(std::function<void(const QString &)> handler);

    template <class T>
    static T *child(QWidget *window, const char *name, const Where &where = Where::current())
    {
        if (T *found = window ? window->findChild<T *>(QLatin1String(name)) : nullptr)
            return found;
        missing(window, T::staticMetaObject.className(), name, where);
        return new T(standInParent());
    }
    static QLineEdit *field(QWidget *window, const char *name, const Where &where = Where::current());
    static QPushButton *button(QWidget *window, const char *name, const Where &where = Where::current());
    static QWidget *focused();
    // Replaces the field's text as the operator does: all of it selected and typed
    // over, or deleted when the text is empty.
    static void type(QWidget *window, const char *name, const QString &text, const Where &where = Where::current());
    // Enter in a control.
    static void enter(QWidget *window, const char *name, const Where &where = Where::current());
    // A mouse click on a button.
    static void click(QWidget *window, const char *name, const Where &where = Where::current());
    // Chooses an item of a list from its drop-down with the mouse.
    static void choose(QWidget *window, const char *name, int index, const Where &where = Where::current());
    // A menu entry (or any action) of the window.
    static void trigger(QWidget *window, const char *action, const Where &where = Where::current());
    // The window, once it is shown on the screen.
    template <class T>
    static T *shown(T *window, const Where &where = Where::current())
    {
        waitUntilShown(window, T::staticMetaObject.className(), where);
        return window;
    }

    template <class T>
    T *child(const char *name, const Where &where = Where::current()) const
    {
        return child<T>(driven_, name, where);
    }
    QLineEdit *field(const char *name, const Where &where = Where::current()) const
    {
        return field(driven_, name, where);
    }
    QPushButton *button(const char *name, const Where &where = Where::current()) const
    {
        return button(driven_, name, where);
    }
    void type(const char *name, const QString &text, const Where &where = Where::current()) const
    {
        type(driven_, name, text, where);
    }
    void enter(const char *name, const Where &where = Where::current()) const { enter(driven_, name, where); }
    void click(const char *name, const Where &where = Where::current()) const { click(driven_, name, where); }
    void choose(const char *name, int index, const Where &where = Where::current()) const
    {
        choose(driven_, name, index, where);
    }

protected:
    // The window, once shown, becomes the one the helpers without a window work on.
    template <class T>
    T *drive(T *window, const Where &where = Where::current())
    {
        driven_ = shown(window, where);
        return window;
    }

private:
    static void missing(QWidget *window, const char *kind, const char *name, const Where &where);
    static void waitUntilShown(QWidget *window, const char *kind, const Where &where);
    static QWidget *standInParent();

    QPointer<QWidget> driven_;
};
