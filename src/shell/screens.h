#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <type_traits>

// The screen registry. Every screen exists at most once: showing one that is not
// open creates it with its fields as designed and its record sources freshly
// opened; showing one that is open brings it to the front unchanged; closing it
// discards it with its record sources.
namespace screens {

namespace detail {
template <class T>
QPointer<T> &slot()
{
    static QPointer<T> instance;
    return instance;
}
void prepare(QWidget *screen);
} // namespace detail

// Shows a window not modal, brings it to the front and makes it active.
void present(QWidget *window);

// The open instance of a screen, or nothing.
template <class T>
T *find()
{
    return detail::slot<T>().data();
}

// The screen, created (and loaded, not shown) when it is not open. A screen made
// with an owner stays in front of its owner and closes with it.
template <class T>
T *load(QWidget *owner = nullptr)
{
    QPointer<T> &instance = detail::slot<T>();
    if (!instance) {
        if constexpr (std::is_constructible_v<T, QWidget *>)
            instance = owner ? new T(owner) : new T();
        else
            instance = new T();
        detail::prepare(instance);
    }
    return instance.data();
}

// Shows the screen, not modal, and brings it to the front.
template <class T>
T *show(QWidget *owner = nullptr)
{
    T *screen = load<T>(owner);
    present(screen);
    return screen;
}

// Runs the step each time the window becomes the program's active window: when
// first shown, when shown again, and when the operator comes back to it from
// another window of the program; not when a message box or prompt closes.
void onActivation(QWidget *window, std::function<void()> step);

// The program's home window, the one a screen goes back to when it closes. The
// program registers how to show it at start-up; screens only ask for it.
void setHome(std::function<void()> show);
// Shows the home window, creating it if it is not open (nothing when none is registered).
void showHome();

// Ends the program at once, closing every window.
void endProgram();

} // namespace screens
