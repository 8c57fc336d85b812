#pragma once

#include <QMessageBox>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <optional>

// Answers the program's message boxes and input prompts from a timer while they
// run modally, and records what each one showed.
struct DialogSeen {
    QString kind;  // "message" or "prompt"
    QString text;  // message text, or the prompt's label
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QStringList buttonTexts; // as the buttons read, in their order on screen
    int width = 0;           // of the dialog, in pixels
};

class DialogAnswerer : public QObject
{
    Q_OBJECT
public:
    DialogAnswerer();
    ~DialogAnswerer() override;

    // The next message box is answered with this button (OK when nothing is queued).
    void answerMessage(QMessageBox::StandardButton button);
    // The next prompt is answered with this text, or cancelled when nothing is given.
    void answerPrompt(const std::optional<QString> &text);
    // Runs once while the next message box is open, before it is answered (another
    // program writing while the operator reads the box).
    void whileNextMessageOpen(const std::function<void()> &action) { whileOpen_ = action; }

    QList<DialogSeen> seen;
    // The one dialog seen since the last clear(); fails the test when there was not exactly one.
    DialogSeen only() const;
    void clear() { seen.clear(); }
    int count() const { return int(seen.size()); }

private:
    void poll();
    QTimer timer_;
    QQueue<QMessageBox::StandardButton> messageAnswers_;
    QQueue<std::optional<QString>> promptAnswers_;
    std::function<void()> whileOpen_;
};

// Every text a dialog shows the operator (its title, labels, buttons, group
// titles, tabs and tool tips), an access key's "&" left out.
QStringList shownTexts(QWidget *dialog);
// Those of them that are Qt's own English words, left untranslated.
QStringList englishIn(const QStringList &texts);

// Shorthand for checks on a recorded message box.
#define EXPECT_MESSAGE(seenDialog, expectedText, expectedTitle, expectedIcon)                                         \
    do {                                                                                                               \
        const DialogSeen &d_ = (seenDialog);                                                                           \
        QCOMPARE(d_.text, QString(expectedText));                                                                      \
        QCOMPARE(d_.title, QString(expectedTitle));                                                                    \
        QCOMPARE(d_.icon, expectedIcon);                                                                               \
    } while (false)
