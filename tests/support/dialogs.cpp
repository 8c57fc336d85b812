#include "dialogs.h"

#include <QAbstractButton>
#include <QApplication>
#include <QInputDialog>
#include <QTest>
#include <utility>

DialogAnswerer::DialogAnswerer()
{
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, &DialogAnswerer::poll);
    timer_.start();
}

DialogAnswerer::~DialogAnswerer() = default;

void DialogAnswerer::answerMessage(QMessageBox::StandardButton button)
{
    messageAnswers_.enqueue(button);
}

void DialogAnswerer::answerPrompt(const std::optional<QString> &text)
{
    promptAnswers_.enqueue(text);
}

DialogSeen DialogAnswerer::only() const
{
    if (seen.size() != 1) {
        QStringList texts;
        for (const DialogSeen &d : seen)
            texts << d.text;
        QTest::qFail(qPrintable(QStringLiteral("expected exactly one dialog, saw %1: %2")
                                    .arg(seen.size())
                                    .arg(texts.join(QStringLiteral(" | ")))),
                     __FILE__, __LINE__);
        return DialogSeen{QStringLiteral("none"), QStringLiteral("<%1 dialogs>").arg(seen.size()), {}, {}, {}};
    }
    return seen.first();
}

void DialogAnswerer::poll()
{
    const auto widgets = QApplication::topLevelWidgets();
    for (QWidget *widget : widgets) {
        if (!widget->isVisible())
            continue;
        if (auto *box = qobject_cast<QMessageBox *>(widget)) {
            DialogSeen d{QStringLiteral("message"), box->text(), box->windowTitle(), box->icon(),
                         box->standardButtons()};
            seen.append(d);
            if (whileOpen_)
                std::exchange(whileOpen_, nullptr)();
            const QMessageBox::StandardButton answer =
                messageAnswers_.isEmpty() ? QMessageBox::Ok : messageAnswers_.dequeue();
            QAbstractButton *button = box->button(answer);
            if (!button)
                button = box->buttons().value(0);
            if (button)
                button->click();
            return;
        }
        if (auto *prompt = qobject_cast<QInputDialog *>(widget)) {
            DialogSeen d{QStringLiteral("prompt"), prompt->labelText(), prompt->windowTitle(), QMessageBox::NoIcon,
                         {}};
            seen.append(d);
            const std::optional<QString> answer =
                promptAnswers_.isEmpty() ? std::nullopt : promptAnswers_.dequeue();
            if (answer) {
                prompt->setTextValue(*answer);
                prompt->accept();
            } else {
                prompt->reject();
            }
            return;
        }
    }
}
