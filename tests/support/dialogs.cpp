#include "dialogs.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QApplication>
#include <QInputDialog>
#include <QTest>
#include <algorithm>
#include <utility>

namespace {
// The texts of a dialog's push buttons as they read (an access key's "&" left
// out), left to right.
QStringList buttonTexts(QWidget *dialog)
{
    QList<QAbstractButton *> buttons = dialog->findChildren<QAbstractButton *>();
    std::sort(buttons.begin(), buttons.end(), [](QAbstractButton *a, QAbstractButton *b) {
        return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
    });
    QStringList texts;
    for (QAbstractButton *button : std::as_const(buttons))
        if (button->isVisible())
            texts << QString(button->text()).remove(u'&');
    return texts;
}
} // namespace

QStringList shownTexts(QWidget *dialog)
{
    QStringList texts{dialog->windowTitle()};
    const auto add = [&texts](const QString &text) {
        if (!text.isEmpty())
            texts << QString(text).remove(u'&');
    };
    for (QWidget *widget : dialog->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(dialog))
            continue;
        add(widget->toolTip());
        if (auto *label = qobject_cast<QLabel *>(widget))
            add(label->text());
        else if (auto *button = qobject_cast<QAbstractButton *>(widget))
            add(button->text());
        else if (auto *group = qobject_cast<QGroupBox *>(widget))
            add(group->title());
        else if (auto *tabs = qobject_cast<QTabWidget *>(widget))
            for (int i = 0; i < tabs->count(); ++i)
                add(tabs->tabText(i));
    }
    return texts;
}

QStringList englishIn(const QStringList &texts)
{
    // Qt's words in its file, print and page dialogs and its standard buttons.
    static const QStringList english = {
        "Yes", "No", "Cancel", "Open", "Save", "Print", "Close", "Look in:", "File name:", "Files of type:",
        "Back", "Forward", "Parent Directory", "Create New Folder", "List View", "Detail View", "Directory:",
        "Properties", "Options >>", "Options <<", "Name:", "Location:", "Type:", "Output file:", "Print range",
        "Print all", "Pages from", "Copies", "Copies:", "Options", "Output Settings", "Color Mode", "Collate",
        "Reverse", "Page Setup", "Page size:", "Orientation", "Portrait", "Landscape", "Margins", "Paper"};
    QStringList found;
    for (const QString &text : texts)
        if (english.contains(text))
            found << text;
    return found;
}

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
        return DialogSeen{QStringLiteral("none"), QStringLiteral("<%1 dialogs>").arg(seen.size()), {}, {}, {}, {}, 0};
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
                         box->standardButtons(), buttonTexts(box), box->width()};
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
                         {}, buttonTexts(prompt), prompt->width()};
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
