// The steps of simparo-screenshots that work a window and save its picture.
#include "screenshots.h"

#include "app/mainwindow.h"
#include "screendriver.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <cstdio>

namespace shots {

namespace {
int g_failures = 0;
QSet<QString> g_allowedModals;
} // namespace

void fail(const QString &what)
{
    std::fprintf(stderr, "simparo-screenshots: %s\n", qPrintable(what));
    ++g_failures;
}

int failures()
{
    return g_failures;
}

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

void enter(QWidget *window, const char *field)
{
    ScreenDriver::enter(window, field);
    settle();
}

void press(QWidget *window, const char *button)
{
    ScreenDriver::button(window, button)->click();
    settle();
}

void trigger(QWidget *window, const char *action)
{
    ScreenDriver::trigger(window, action);
    settle();
}

QImage picture(QWidget *window)
{
    return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

void save(const QImage &image, const QString &folder, const QString &name)
{
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    // Quality 0 is the PNG writer's strongest compression.
    if (image.isNull() || !image.save(path, "PNG", 0))
        fail(QStringLiteral("cannot write %1").arg(path));
    else
        std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
}

void shoot(QWidget *window, const QString &folder, const QString &name)
{
    if (!window) {
        fail(QStringLiteral("%1 is not open").arg(name));
        return;
    }
    settle();
    save(picture(window), folder, name);
}

void watchModals()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || g_allowedModals.contains(modal->objectName()))
        return;
    auto *box = qobject_cast<QMessageBox *>(modal);
    fail(QStringLiteral("unexpected message: %1").arg(box ? box->text() : modal->windowTitle()));
    modal->close();
}

void allowModal(const QString &objectName, bool allowed)
{
    if (allowed)
        g_allowedModals.insert(objectName);
    else
        g_allowedModals.remove(objectName);
}

QImage withMenuOpen(MainWindow *window, const char *menuName)
{
    auto *bar = window->findChild<QMenuBar *>(QStringLiteral("menubar"));
    auto *menu = window->findChild<QMenu *>(QLatin1String(menuName));
    QImage image = picture(window);
    if (!bar || !menu) {
        fail(QStringLiteral("no menu %1").arg(QLatin1String(menuName)));
        return image;
    }
    bar->setActiveAction(menu->menuAction());
    settle(150);
    image = picture(window);
    if (menu->isVisible()) {
        QPainter painter(&image);
        painter.drawImage(window->mapFromGlobal(menu->mapToGlobal(QPoint(0, 0))), picture(menu));
    } else {
        fail(QStringLiteral("the menu %1 did not open").arg(QLatin1String(menuName)));
    }
    menu->hide();
    bar->setActiveAction(nullptr);
    settle();
    return image;
}

} // namespace shots
