#include "screendriver.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QTest>

namespace {

std::function<void(const QString &)> g_failureHandler;

void fail(const QString &what, const ScreenDriver::Where &at)
{
    if (g_failureHandler)
        g_failureHandler(QStringLiteral("%1:%2: %3").arg(QLatin1String(at.file_name())).arg(at.line()).arg(what));
    else if (QTest::currentTestFunction())
        QTest::qFail(qPrintable(what), at.file_name(), int(at.line()));
    else
        qFatal("%s:%u: %s", at.file_name(), unsigned(at.line()), qPrintable(what));
}

QString nameOf(QWidget *window)
{
    return window ? window->objectName() : QStringLiteral("(no window)");
}

} // namespace

void ScreenDriver::setFailureHandler(std::function<void(const QString &)> handler)
{
    g_failureHandler = std::move(handler);
}

void ScreenDriver::missing(QWidget *window, const char *kind, const char *name, const Where &at)
{
    fail(QStringLiteral("no %1 named %2 in %3").arg(QLatin1String(kind), QLatin1String(name), nameOf(window)), at);
}

void ScreenDriver::waitUntilShown(QWidget *window, const char *kind, const Where &at, bool active)
{
    if (!window)
        fail(QStringLiteral("no %1 is open").arg(QLatin1String(kind)), at);
    else if (!QTest::qWaitForWindowExposed(window) || (active && !QTest::qWaitForWindowActive(window)))
        fail(QStringLiteral("%1 was not shown%2").arg(nameOf(window), active ? QStringLiteral(" active") : QString()), at);
}

// Stand-ins for missing controls live, hidden, under one widget of their own.
QWidget *ScreenDriver::standInParent()
{
    static QPointer<QWidget> parent;
    if (!parent) {
        parent = new QWidget;
        qAddPostRoutine([] { delete parent.data(); });
    }
    return parent;
}

QLineEdit *ScreenDriver::field(QWidget *window, const char *name, const Where &at)
{
    return child<QLineEdit>(window, name, at);
}

QPushButton *ScreenDriver::button(QWidget *window, const char *name, const Where &at)
{
    return child<QPushButton>(window, name, at);
}

QWidget *ScreenDriver::focused()
{
    return QApplication::focusWidget();
}

// The widget the keyboard types into once the control has the focus, as a
// keyboard does: the application's focus widget (a list that takes typing holds
// the focus for its text part).
QWidget *ScreenDriver::focusOn(QWidget *control, const char *name, const Where &at)
{
    // The clerk first brings the control's window to the front (another window,
    // a report's, may have opened over it); the window system answers when it will.
    QWidget *window = control->window();
    if (!window->isActiveWindow()) {
        window->activateWindow();
        // A window that stays in the back is told below, as the focus it did not take.
        [[maybe_unused]] const bool active = QTest::qWaitForWindowActive(window, 2000);
    }
    control->setFocus(Qt::OtherFocusReason);
    QWidget *focus = QApplication::focusWidget();
    QWidget *proxy = control;
    while (proxy->focusProxy())
        proxy = proxy->focusProxy();
    if (!focus || (focus != proxy && !control->isAncestorOf(focus))) {
        fail(QStringLiteral("%1 did not take the focus (is its window active?)").arg(QLatin1String(name)), at);
        return nullptr;
    }
    return focus;
}

void ScreenDriver::type(QWidget *window, const char *name, const QString &text, const Where &at)
{
    QWidget *control = child<QWidget>(window, name, at);
    QLineEdit *edit = qobject_cast<QLineEdit *>(control);
    if (auto *list = qobject_cast<QComboBox *>(control))
        edit = list->lineEdit();
    if (!edit) {
        fail(QStringLiteral("%1 takes no typing").arg(QLatin1String(name)), at);
        return;
    }
    QWidget *focus = focusOn(control, name, at);
    if (!focus)
        return;
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(focus, Qt::Key_Backspace);
    else
        QTest::keyClicks(focus, text);
}

void ScreenDriver::enter(QWidget *window, const char *name, const Where &at)
{
    if (QWidget *focus = focusOn(child<QWidget>(window, name, at), name, at))
        QTest::keyClick(focus, Qt::Key_Return);
}

void ScreenDriver::key(QWidget *window, const char *name, Qt::Key key, const Where &at)
{
    if (QWidget *focus = focusOn(child<QWidget>(window, name, at), name, at))
        QTest::keyClick(focus, key);
}

void ScreenDriver::click(QWidget *window, const char *name, const Where &at)
{
    QTest::mouseClick(button(window, name, at), Qt::LeftButton);
}

void ScreenDriver::choose(QWidget *window, const char *name, int index, const Where &at)
{
    QComboBox *list = child<QComboBox>(window, name, at);
    list->setFocus();
    list->showPopup();
    QAbstractItemView *view = list->view();
    const bool opened = QTest::qWaitFor([view] { return view->isVisible(); });
    if (opened)
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(index, 0)).center());
    if (!opened || !QTest::qWaitFor([view] { return !view->isVisible(); }) || list->currentIndex() != index)
        fail(QStringLiteral("item %1 of the list %2 was not chosen").arg(index).arg(QLatin1String(name)), at);
}

void ScreenDriver::trigger(QWidget *window, const char *action, const Where &at)
{
    child<QAction>(window, action, at)->trigger();
}
