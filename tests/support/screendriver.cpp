#include "screendriver.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

std::function<void(const QString &)> &failureHandler()
{
    static std::function<void(const QString &)> handler;
    return handler;
}

void fail(const QString &what, const ScreenDriver::Where &where)
{
    if (failureHandler()) {
        failureHandler()(QStringLiteral("%1:%2: %3").arg(QLatin1String(where.file_name())).arg(where.line()).arg(what));
    } else if (QTest::currentTestFunction()) {
        QTest::qFail(qPrintable(what), where.file_name(), int(where.line()));
    } else {
        qFatal("%s:%u: %s", where.file_name(), unsigned(where.line()), qPrintable(what));
    }
}

QString nameOf(QWidget *window)
{
    return window ? window->objectName() : QStringLiteral("(no window)");
}

} // namespace

void ScreenDriver::setFailureHandler(std::function<void(const QString &)> handler)
{
    failureHandler() = std::move(handler);
}

void ScreenDriver::missing(QWidget *window, const char *kind, const char *name, const Where &where)
{
    fail(QStringLiteral("no %1 named %2 in %3").arg(QLatin1String(kind), QLatin1String(name), nameOf(window)), where);
}

void ScreenDriver::waitUntilShown(QWidget *window, const char *kind, const Where &where)
{
    if (!window)
        fail(QStringLiteral("no %1 is open").arg(QLatin1String(kind)), where);
    else if (!QTest::qWaitForWindowExposed(window))
        fail(QStringLiteral("%1 was not shown").arg(nameOf(window)), where);
}

// Stand-ins for missing controls live, hidden, under one widget of their own.
QWidget *ScreenDriver::standInParent()
{
    static QPointer<QWidget> parent;
    if (!parent) {
        parent = new QWidget;
        parent->setObjectName(QStringLiteral("screendriver-stand-ins"));
        qAddPostRoutine([] { delete parent.data(); });
    }
    return parent;
}

QLineEdit *ScreenDriver::field(QWidget *window, const char *name, const Where &where)
{
    return child<QLineEdit>(window, name, where);
}

QPushButton *ScreenDriver::button(QWidget *window, const char *name, const Where &where)
{
    return child<QPushButton>(window, name, where);
}

QWidget *ScreenDriver::focused()
{
    return QApplication::focusWidget();
}

void ScreenDriver::type(QWidget *window, const char *name, const QString &text, const Where &where)
{
    QLineEdit *edit = field(window, name, where);
    edit->setFocus();
    edit->selectAll();
    if (text.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    else
        QTest::keyClicks(edit, text);
}

void ScreenDriver::enter(QWidget *window, const char *name, const Where &where)
{
    QTest::keyClick(child<QWidget>(window, name, where), Qt::Key_Return);
}

void ScreenDriver::click(QWidget *window, const char *name, const Where &where)
{
    QTest::mouseClick(button(window, name, where), Qt::LeftButton);
}

void ScreenDriver::choose(QWidget *window, const char *name, int index, const Where &where)
{
    QComboBox *list = child<QComboBox>(window, name, where);
    list->setFocus();
    list->showPopup();
    QAbstractItemView *view = list->view();
    if (!QTest::qWaitFor([view] { return view->isVisible(); })) {
        fail(QStringLiteral("the list %1 did not open").arg(QLatin1String(name)), where);
        return;
    }
    const QRect item = view->visualRect(view->model()->index(index, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    if (!QTest::qWaitFor([view] { return !view->isVisible(); }) || list->currentIndex() != index)
        fail(QStringLiteral("item %1 of the list %2 was not chosen").arg(index).arg(QLatin1String(name)), where);
}

void ScreenDriver::trigger(QWidget *window, const char *action, const Where &where)
{
    child<QAction>(window, action, where)->trigger();
}
