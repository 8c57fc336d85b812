#pragma once

#include "ui_firststart.h"

#include <QPointer>
#include <QProcess>
#include <QWidget>

class QFileDialog;

// The first start, window frmAWAL: the program found no database at its place and
// no setting that points it elsewhere. The operator chooses how to begin:
// - a new database with its first operator (name, and the password twice);
// - the data of the old program's asli.mdb, brought over by simparo-import, run
//   as a child process whose progress and report the window shows: the window
//   stays responsive, and a reader that crashes on a damaged file cannot take it
//   down. A second "Lanjut" after the report goes on to the login;
// - a database on a server, named by its libpq service: "Uji" opens it as the
//   program does and tells what it holds; "Lanjut" tests it too and writes the
//   user's setting file naming it.
// On success the login opens. A failure is told, what was typed stays, and no
// half-made file is left; nothing is ever written over what is there. "Batal"
// ends the program without writing anything (an import under way is stopped,
// and leaves nothing behind).
class FirstStartWindow : public QWidget
{
    Q_OBJECT
public:
    explicit FirstStartWindow(QWidget *parent = nullptr);
    ~FirstStartWindow() override;

    // True when the program should start here: no database file at its place and
    // no setting file (a damaged or foreign file, and any setting, go the usual way).
    static bool wanted();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void chosen();
    void proceed();
    void createNew();
    void startImport();
    void readProgress();
    void importEnded(int exitCode, QProcess::ExitStatus status);
    void useServer();
    // Tests the service typed, and tells what failed or what it holds (its success
    // only when tellSuccess): true when it holds the program's tables.
    bool serviceReady(bool tellSuccess);
    void stopImport();
    void openLogin();

    Ui::frmAWAL ui;
    QPointer<QProcess> import_;
    QPointer<QFileDialog> chooser_;
    QByteArray progressBuffer_;
    QString importErrors_;
    bool imported_ = false;
};
