#include "screens.h"

#include "messages.h"

#include <QApplication>
#include <QEvent>
#include <QHash>
#include <QPushButton>

namespace screens {

namespace {
// Follows one window's activation. A message box or prompt of ours deactivates
// the window it opens over; the activation that follows its closing is not the
// operator's and runs no step.
class ActivationWatcher : public QObject
{
public:
    ActivationWatcher(QWidget *window, std::function<void()> step)
        : QObject(window), window_(window), step_(std::move(step))
    {
        window->installEventFilter(this);
        watchers().insert(this);
    }
    ~ActivationWatcher() override { watchers().remove(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != window_)
            return false;
        if (event->type() == QEvent::WindowDeactivate) {
            suppressNext_ = msg::openDialogs() > 0;
        } else if (event->type() == QEvent::WindowActivate) {
            // Another window of ours becoming active means the box closed elsewhere.
            for (ActivationWatcher *other : watchers())
                if (other != this)
                    other->suppressNext_ = false;
            if (suppressNext_) {
                suppressNext_ = false;
            } else if (step_) {
                step_();
            }
        }
        return false;
    }

private:
    static QSet<ActivationWatcher *> &watchers()
    {
        static QSet<ActivationWatcher *> all;
        return all;
    }
    QWidget *window_;
    std::function<void()> step_;
    bool suppressNext_ = false;
};
} // namespace

namespace detail {
void prepare(QWidget *screen)
{
    screen->setAttribute(Qt::WA_DeleteOnClose);
    // Enter on a button that has the focus presses it, as it does on the desktop;
    // every Enter chain of the screens ends on a button.
    const auto buttons = screen->findChildren<QPushButton *>();
    for (QPushButton *button : buttons)
        button->setAutoDefault(true);
    if (screen->parentWidget())
        screen->setWindowFlag(Qt::Window);
}

} // namespace detail

void present(QWidget *window)
{
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

void onActivation(QWidget *window, std::function<void()> step)
{
    new ActivationWatcher(window, std::move(step));
}

namespace {
std::function<void()> &home()
{
    static std::function<void()> show;
    return show;
}
} // namespace

void setHome(std::function<void()> show)
{
    home() = std::move(show);
}

void showHome()
{
    if (home())
        home()();
}

void endProgram()
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows)
        if (window->isVisible() || window->testAttribute(Qt::WA_DeleteOnClose))
            window->close();
    QCoreApplication::exit(0);
}

} // namespace screens
