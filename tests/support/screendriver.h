#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <functional>
#include <source_location>

// Works the program's windows as the operator does, for the tests, simparo-bench
// and simparo-screenshots: finds controls by objectName, types into fields,
// presses Enter, clicks buttons, chooses from lists and triggers menu entries.
// Keys go where a keyboard sends them: the control is focused, and every key goes
// to the application's focus widget, never straight to a widget inside it.
// Each helper takes the window it works on; the same helpers without a window
// work on the driver's own window (the constructor's, or the one given to drive()).
//
// A control or window that is not there fails loudly with its name and the line
// that asked for it: inside a test function as a failure of that test, elsewhere
// as the failure handler decides (by default the program ends with the message).
// The caller then gets a hidden stand-in of the kind asked for, so nothing crashes.
class ScreenDriver
{
public:
    using Where = std::source_location;

    ScreenDriver() = default;
    explicit ScreenDriver(QWidget *window) : driven_(window) {}

    // Replaces the default reaction to a missing control; gets the whole message.
    static void setFailureHandler(std::function<void(const QString &)> handler);

    template <class T>
    static T *child(QWidget *window, const char *name, const Where &at = Where::current())
    {
        if (T *found = window ? window->findChild<T *>(QLatin1String(name)) : nullptr)
            return found;
        missing(window, T::staticMetaObject.className(), name, at);
        return new T(standInParent());
    }
    static QLineEdit *field(QWidget *window, const char *name, const Where &at = Where::current());
    static QPushButton *button(QWidget *window, const char *name, const Where &at = Where::current());
    static QWidget *focused();
    // Replaces the text as the operator does: all of it selected and typed over, or
    // deleted. A field, or a list that takes typing.
    static void type(QWidget *window, const char *name, const QString &text, const Where &at = Where::current());
    static void enter(QWidget *window, const char *name, const Where &at = Where::current());
    // One key pressed in the control.
    static void key(QWidget *window, const char *name, Qt::Key key, const Where &at = Where::current());
    // A mouse click.
    static void click(QWidget *window, const char *name, const Where &at = Where::current());
    // Chooses an item of a list from its drop-down, with the mouse.
    static void choose(QWidget *window, const char *name, int index, const Where &at = Where::current());
    static void trigger(QWidget *window, const char *action, const Where &at = Where::current());
    // The window, once it is shown on the screen.
    template <class T>
    static T *shown(T *window, const Where &at = Where::current())
    {
        waitUntilShown(window, T::staticMetaObject.className(), at);
        return window;
    }

    template <class T>
    T *child(const char *name, const Where &at = Where::current()) const { return child<T>(driven_, name, at); }
    QLineEdit *field(const char *name, const Where &at = Where::current()) const
    {
        return field(driven_, name, at);
    }
    QPushButton *button(const char *name, const Where &at = Where::current()) const
    {
        return button(driven_, name, at);
    }
    void type(const char *name, const QString &text, const Where &at = Where::current()) const
    {
        type(driven_, name, text, at);
    }
    void enter(const char *name, const Where &at = Where::current()) const { enter(driven_, name, at); }
    void key(const char *name, Qt::Key pressed, const Where &at = Where::current()) const
    {
        key(driven_, name, pressed, at);
    }
    void click(const char *name, const Where &at = Where::current()) const { click(driven_, name, at); }
    void choose(const char *name, int index, const Where &at = Where::current()) const
    {
        choose(driven_, name, index, at);
    }

protected:
    // The window, once shown and active, becomes the one the helpers without a window work on.
    template <class T>
    T *drive(T *window, const Where &at = Where::current())
    {
        waitUntilShown(window, T::staticMetaObject.className(), at, true);
        driven_ = window;
        return window;
    }

private:
    static void missing(QWidget *window, const char *kind, const char *name, const Where &at);
    static QWidget *focusOn(QWidget *control, const char *name, const Where &at);
    static void waitUntilShown(QWidget *window, const char *kind, const Where &at, bool active = false);
    static QWidget *standInParent();

    QPointer<QWidget> driven_;
};
