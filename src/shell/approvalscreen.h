#pragma once

#include "ui_approvalscreen.h"

#include "data/operators/supervision.h"

#include <QDialog>
#include <functional>
#include <memory>

// The supervisor's approval frmPENYELIA: a small window, modal over the screen
// that asks, saying what is to be approved. The supervisor types his own name and
// password at the clerk's counter; Enter moves from the name to the password to
// OK. "OK" checks him (supervision::Approver) and closes with the approval;
// "Batal" closes without one, and the asking screen keeps what was typed.
class ApprovalScreen : public QDialog
{
    Q_OBJECT
public:
    ApprovalScreen(const supervision::Request &request, QWidget *asking);
    ~ApprovalScreen() override;

    // Asks for the approval over the asking screen, without waiting: `approved`
    // runs with it once given; nothing runs when the clerk cancels.
    static ApprovalScreen *ask(QWidget *asking, const supervision::Request &request,
                               std::function<void(const supervision::Approval &)> approved);
    // What the screen says is to be approved.
    static QString describe(const supervision::Request &request);

private:
    void confirm();

    Ui::frmPENYELIA ui;
    supervision::Request request_;
    std::unique_ptr<supervision::Approver> approver_;
    supervision::Approval approval_;
    bool checking_ = false;
};
