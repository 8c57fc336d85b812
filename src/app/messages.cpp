#include "messages.h"

#include <QApplication>
#include <QInputDialog>
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
    const int result = box.exec();
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

void databaseError(QWidget *parent, const QString &text)
{
    show(parent, text, QString::fromLatin1(kPerhatian), Icon::Error);
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
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

} // namespace msg
