#include "keys.h"

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
} // namespace

void onEnter(QWidget *field, std::function<void()> handler)
{
    new EnterFilter(field, std::move(handler));
}
