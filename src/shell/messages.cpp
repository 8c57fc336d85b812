#include "messages.h"

#include <QApplication>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QPointer>

namespace msg {

const char *const kAppTitle = "SIMPARO";
const char *const kPerhatian = "Perhatian";

namespace {
int g_open = 0;

struct DialogScope {
    DialogScope() { ++g_open; }
    ~DialogScope() { --g_open; }
};

QWidget *owner(QWidget *parent)
{
    if (parent)
        return parent->window();
    return QApplication::activeWindow();
}

// The window a box opened over is active again when the box closes, so the
// focus the screen then sets is where the operator types next.
void giveBack(const QPointer<QWidget> &window)
{
    if (window && window->isVisible()) {
        window->activateWindow();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}
} // namespace

int openDialogs()
{
    return g_open;
}

QMessageBox::StandardButton show(QWidget *parent, const QString &text, const QString &title, Icon icon,
                                 QMessageBox::StandardButtons buttons)
{
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    switch (icon) {
    case Icon::None: boxIcon = QMessageBox::NoIcon; break;
    case Icon::Error: boxIcon = QMessageBox::Critical; break;
    case Icon::Question: boxIcon = QMessageBox::Question; break;
    case Icon::Information: boxIcon = QMessageBox::Information; break;
    }
    DialogScope scope;
    QMessageBox box(boxIcon, title.isEmpty() ? QString::fromLatin1(kAppTitle) : title, text, buttons, owner(parent));
    box.setObjectName(QStringLiteral("msgbox"));
    box.setWindowModality(Qt::ApplicationModal);
    const QPointer<QWidget> back = box.parentWidget();
    const int result = box.exec();
    giveBack(back);
    return static_cast<QMessageBox::StandardButton>(result);
}

void perhatian(QWidget *parent, const QString &text)
{
    show(parent, text, QString::fromLatin1(kPerhatian), Icon::Error);
}

void plain(QWidget *parent, const QString &text)
{
    show(parent, text, QString::fromLatin1(kAppTitle), Icon::None);
}

bool askYesNo(QWidget *parent, const QString &text, const QString &title)
{
    return show(parent, text, title, Icon::Question, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

QString prompt(QWidget *parent, const QString &text, const QString &title)
{
    DialogScope scope;
    QInputDialog dialog(owner(parent));
    dialog.setObjectName(QStringLiteral("prompt"));
    dialog.setWindowTitle(title);
    dialog.setLabelText(text);
    dialog.setTextValue(QString());
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setWindowModality(Qt::ApplicationModal);
    // Wide enough that the title bar shows the whole title beside its buttons
    // (a title bar's type is often bold and larger than the dialog's).
    QFont titleFont = dialog.font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    // The dialog's layout sets its size from its contents: the field is made that wide.
    if (auto *field = dialog.findChild<QLineEdit *>())
        field->setMinimumWidth(QFontMetrics(titleFont).horizontalAdvance(title) + 140);
    const QPointer<QWidget> back = dialog.parentWidget();
    const bool accepted = dialog.exec() == QDialog::Accepted;
    giveBack(back);
    return accepted ? dialog.textValue() : QString();
}

} // namespace msg
