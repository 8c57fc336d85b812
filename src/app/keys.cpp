#include "keys.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace {
class EnterFilter : public QObject
{
public:
    EnterFilter(QWidget *field, std::function<void()> handler)
        : QObject(field), handler_(std::move(handler))
    {
        field->installEventFilter(this);
    }

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Return && key != Qt::Key_Enter)
            return false;
        if (handler_)
            handler_();
        return true;
    }

private:
    std::function<void()> handler_;
};

class AnyKeyFilter : public QObject
{
public:
    AnyKeyFilter(QWidget *field, std::function<void()> handler)
        : QObject(field), field_(field), handler_(std::move(handler))
    {
        field->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || busy_)
            return false;
        // Let the field take the key first, then run the handler.
        busy_ = true;
        field_->removeEventFilter(this);
        const bool accepted = QCoreApplication::sendEvent(watched, event);
        field_->installEventFilter(this);
        busy_ = false;
        if (handler_)
            handler_();
        Q_UNUSED(accepted);
        return true;
    }

private:
    QWidget *field_;
    std::function<void()> handler_;
    bool busy_ = false;
};
} // namespace

void onEnter(QWidget *field, std::function<void()> handler)
{
    new EnterFilter(field, std::move(handler));
}

void afterEveryKey(QWidget *field, std::function<void()> handler)
{
    new AnyKeyFilter(field, std::move(handler));
}
