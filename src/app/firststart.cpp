#include "firststart.h"

#include "app/startup.h"
#include "data/engine/catalog.h"
#include "data/engine/connectiontext.h"
#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/newdb/newdatabase.h"
#include "data/base/outcome.h"
#include "data/engine/pool.h"
#include "data/base/schema.h"
#include "shell/keys.h"
#include "shell/messages.h"
#include "shell/screens.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <sys/stat.h>

namespace {

QString shown(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// simparo-import lies beside the program, in the build folder as in /usr/bin.
QString importProgram()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/simparo-import");
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("simparo-import"));
}

bool somethingAt(const QString &path)
{
    struct stat info = {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 || errno != ENOENT;
}

// The wait cursor while the window waits for the database or the server.
struct Waiting {
    Waiting() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~Waiting() { QApplication::restoreOverrideCursor(); }
};

} // namespace

FirstStartWindow::FirstStartWindow(QWidget *parent)
    : QWidget(parent)
{
    ui.setupUi(this);
    ui.lblTEMPAT->setText(QStringLiteral("Belum ada database SIMPARO di %1, dan belum ada pengaturan server (%2). "
                                         "Pilih cara memulai:")
                              .arg(shown(db::databaseFile()), shown(db::settingFiles().constFirst())));
    for (QRadioButton *option : {ui.optBARU, ui.optIMPOR, ui.optSERVER})
        connect(option, &QRadioButton::toggled, this, [this] { chosen(); });
    onEnter(ui.txtUSER, [this] { ui.txtPASS->setFocus(); });
    onEnter(ui.txtPASS, [this] { ui.txtPASS2->setFocus(); });
    onEnter(ui.txtPASS2, [this] { ui.cmdLANJUT->setFocus(); });
    onEnter(ui.txtFILE, [this] { ui.cmdLANJUT->setFocus(); });
    onEnter(ui.txtLAYANAN, [this] { ui.cmdUJI->setFocus(); });
    connect(ui.cmdPILIH, &QPushButton::clicked, this, [this] {
        if (chooser_) {
            chooser_->raise();
            return;
        }
        const QFileInfo typed(ui.txtFILE->text().trimmed());
        chooser_ = new QFileDialog(this, QStringLiteral("Pilih file asli.mdb"),
                                   typed.exists() ? typed.absolutePath() : QDir::homePath(),
                                   QStringLiteral("File Access (*.mdb *.MDB);;Semua file (*)"));
        chooser_->setObjectName(QStringLiteral("dlgPILIH"));
        chooser_->setOption(QFileDialog::DontUseNativeDialog);
        chooser_->setFileMode(QFileDialog::ExistingFile);
        chooser_->setAttribute(Qt::WA_DeleteOnClose);
        connect(chooser_, &QFileDialog::fileSelected, this, [this](const QString &file) {
            ui.txtFILE->setText(shown(file));
            ui.cmdLANJUT->setFocus();
        });
        chooser_->open();
    });
    connect(ui.cmdUJI, &QPushButton::clicked, this, [this] { serviceReady(true); });
    connect(ui.cmdLANJUT, &QPushButton::clicked, this, &FirstStartWindow::proceed);
    connect(ui.cmdBATAL, &QPushButton::clicked, this, [this] {
        stopImport();
        screens::endProgram();
    });
    chosen();
    // The operator types at once into the first field of the way chosen.
    ui.txtUSER->setFocus();
}

FirstStartWindow::~FirstStartWindow()
{
    stopImport();
}

bool FirstStartWindow::wanted()
{
    return db::settingFile().isEmpty() && !somethingAt(db::databaseFile());
}

void FirstStartWindow::closeEvent(QCloseEvent *event)
{
    stopImport();
    event->accept();
}

// Only the fields of the chosen way are open; none while an import runs, and
// after an import only its report and "Lanjut".
void FirstStartWindow::chosen()
{
    const bool busy = import_ && import_->state() != QProcess::NotRunning;
    const bool open = !busy && !imported_;
    for (QRadioButton *option : {ui.optBARU, ui.optIMPOR, ui.optSERVER})
        option->setEnabled(open);
    const bool baru = open && ui.optBARU->isChecked();
    for (QWidget *widget : {static_cast<QWidget *>(ui.lblUSER), static_cast<QWidget *>(ui.txtUSER),
                            static_cast<QWidget *>(ui.lblPASS), static_cast<QWidget *>(ui.txtPASS),
                            static_cast<QWidget *>(ui.lblPASS2), static_cast<QWidget *>(ui.txtPASS2)})
        widget->setEnabled(baru);
    const bool impor = open && ui.optIMPOR->isChecked();
    for (QWidget *widget : {static_cast<QWidget *>(ui.lblFILE), static_cast<QWidget *>(ui.txtFILE),
                            static_cast<QWidget *>(ui.cmdPILIH)})
        widget->setEnabled(impor);
    // The import's progress and report stay readable while it runs and after it.
    const bool report = ui.optIMPOR->isChecked();
    for (QWidget *widget : {static_cast<QWidget *>(ui.prgIMPOR), static_cast<QWidget *>(ui.lblLAPORAN),
                            static_cast<QWidget *>(ui.txtLAPORAN)})
        widget->setEnabled(report);
    const bool server = open && ui.optSERVER->isChecked();
    for (QWidget *widget : {static_cast<QWidget *>(ui.lblLAYANAN), static_cast<QWidget *>(ui.txtLAYANAN),
                            static_cast<QWidget *>(ui.cmdUJI)})
        widget->setEnabled(server);
    ui.cmdLANJUT->setEnabled(!busy);
}

void FirstStartWindow::proceed()
{
    if (imported_)
        openLogin();
    else if (ui.optBARU->isChecked())
        createNew();
    else if (ui.optIMPOR->isChecked())
        startImport();
    else
        useServer();
}

void FirstStartWindow::createNew()
{
    const QString user = ui.txtUSER->text();
    const QString password = ui.txtPASS->text();
    if (user.trimmed().isEmpty()) {
        msg::perhatian(this, QStringLiteral("NAMA OPERATOR BELUM DIISI"));
        ui.txtUSER->setFocus();
        return;
    }
    if (password.isEmpty()) {
        msg::perhatian(this, QStringLiteral("PASSWORD BELUM DIISI"));
        ui.txtPASS->setFocus();
        return;
    }
    if (ui.txtPASS2->text() != password) {
        // Neither can be seen, so both are typed again.
        msg::perhatian(this, QStringLiteral("PASSWORD TIDAK SAMA"));
        ui.txtPASS->clear();
        ui.txtPASS2->clear();
        ui.txtPASS->setFocus();
        return;
    }
    const QString file = db::databaseFile();
    if (somethingAt(file)) {
        msg::perhatian(this, QStringLiteral("SUDAH ADA FILE DI %1; FILE ITU TIDAK DITIMPA.").arg(shown(file)));
        return;
    }
    QString error;
    bool made = false;
    {
        Waiting waiting;
        made = db::createDatabase(file, user, password, &error);
    }
    if (!made) {
        msg::perhatian(this, QStringLiteral("DATABASE TIDAK DIBUAT.\n%1").arg(error));
        return;
    }
    openLogin();
}

void FirstStartWindow::startImport()
{
    const QString source = ui.txtFILE->text().trimmed();
    if (source.isEmpty()) {
        msg::perhatian(this, QStringLiteral("FILE ASLI.MDB BELUM DIPILIH"));
        ui.txtFILE->setFocus();
        return;
    }
    const QFileInfo info(source);
    if (!info.isFile() || !info.isReadable()) {
        msg::perhatian(this, QStringLiteral("FILE %1 TIDAK ADA ATAU TIDAK BISA DIBACA").arg(shown(info.absoluteFilePath())));
        ui.txtFILE->setFocus();
        return;
    }
    const QString file = db::databaseFile();
    if (somethingAt(file)) {
        msg::perhatian(this, QStringLiteral("SUDAH ADA FILE DI %1; FILE ITU TIDAK DITIMPA.").arg(shown(file)));
        return;
    }
    const QString program = importProgram();
    if (program.isEmpty()) {
        msg::perhatian(this, QStringLiteral("PROGRAM simparo-import TIDAK DITEMUKAN (di %1 atau di PATH).")
                                 .arg(shown(QCoreApplication::applicationDirPath())));
        return;
    }
    ui.txtLAPORAN->clear();
    ui.lblSTATUS->setText(QStringLiteral("Mengambil data dari %1 ...").arg(shown(info.absoluteFilePath())));
    ui.prgIMPOR->setRange(0, 0);
    progressBuffer_.clear();
    importErrors_.clear();
    import_ = new QProcess(this);
    import_->setWorkingDirectory(QDir::homePath());
    connect(import_, &QProcess::readyReadStandardError, this, &FirstStartWindow::readProgress);
    connect(import_, &QProcess::finished, this, &FirstStartWindow::importEnded);
    connect(import_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        msg::perhatian(this, QStringLiteral("PROGRAM IMPOR TIDAK BISA DIJALANKAN.\n%1").arg(import_->errorString()));
        import_->deleteLater();
        import_ = nullptr;
        ui.prgIMPOR->setRange(0, 100);
        ui.prgIMPOR->setValue(0);
        ui.lblSTATUS->clear();
        chosen();
    });
    // "--" ends the options: the file's name is taken as it is.
    import_->start(program, {QStringLiteral("--progress-lines"), QStringLiteral("--"), info.absoluteFilePath()});
    chosen();
    ui.cmdBATAL->setFocus();
}

// The import's standard error: its progress lines, and what it has to say when it fails.
void FirstStartWindow::readProgress()
{
    if (!import_)
        return;
    progressBuffer_ += import_->readAllStandardError();
    qsizetype end;
    while ((end = progressBuffer_.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(progressBuffer_.left(end));
        progressBuffer_.remove(0, end + 1);
        const QStringList parts = line.split(u'\t');
        if (parts.size() == 4 && parts.at(0) == QLatin1String("kemajuan")) {
            const qint64 done = parts.at(1).toLongLong();
            const qint64 total = parts.at(2).toLongLong();
            // The bar counts in thousandths, whatever the number of rows.
            ui.prgIMPOR->setRange(0, 1000);
            ui.prgIMPOR->setValue(total > 0 ? int(std::clamp<qint64>(done * 1000 / total, 0, 1000)) : 0);
            ui.prgIMPOR->setFormat(QStringLiteral("%1: %2 dari %3").arg(parts.at(3)).arg(done).arg(total));
        } else {
            importErrors_ += line + u'\n';
        }
    }
}

void FirstStartWindow::importEnded(int exitCode, QProcess::ExitStatus status)
{
    if (!import_)
        return;
    readProgress();
    importErrors_ += QString::fromUtf8(progressBuffer_);
    progressBuffer_.clear();
    const QString report = QString::fromUtf8(import_->readAllStandardOutput());
    import_->deleteLater();
    import_ = nullptr;
    ui.txtLAPORAN->setPlainText(report);
    const QString file = db::databaseFile();
    if (status == QProcess::NormalExit && exitCode == 0 && QFileInfo::exists(file)) {
        imported_ = true;
        ui.prgIMPOR->setRange(0, 1000);
        ui.prgIMPOR->setValue(1000);
        ui.prgIMPOR->setFormat(QStringLiteral("Selesai"));
        ui.lblSTATUS->setText(QStringLiteral("IMPOR SELESAI: database dibuat di %1. Baca laporannya, lalu tekan "
                                             "Lanjut untuk masuk.")
                                  .arg(shown(file)));
        chosen();
        ui.txtLAPORAN->setFocus();
        return;
    }
    ui.prgIMPOR->setRange(0, 1000);
    ui.prgIMPOR->setValue(0);
    ui.prgIMPOR->resetFormat();
    ui.lblSTATUS->clear();
    chosen();
    QString said = importErrors_.trimmed();
    if (status != QProcess::NormalExit)
        said = QStringLiteral("Program impor berhenti tiba-tiba. %1").arg(said).trimmed();
    msg::perhatian(this, QStringLiteral("IMPOR GAGAL; DATABASE TIDAK DIBUAT.\n%1").arg(said));
    ui.txtFILE->setFocus();
}

void FirstStartWindow::stopImport()
{
    if (!import_)
        return;
    QProcess *running = import_;
    import_ = nullptr;
    running->disconnect(this);
    if (running->state() != QProcess::NotRunning) {
        // The import takes back what it made when it is told to stop.
        running->terminate();
        if (!running->waitForFinished(15000)) {
            running->kill();
            running->waitForFinished(5000);
        }
    }
    delete running;
}

bool FirstStartWindow::serviceReady(bool tellSuccess)
{
    const QString service = ui.txtLAYANAN->text().trimmed();
    if (service.isEmpty()) {
        msg::perhatian(this, QStringLiteral("NAMA LAYANAN BELUM DIISI"));
        ui.txtLAYANAN->setFocus();
        return false;
    }
    QString message;
    db::ServiceState state = db::ServiceState::Unusable;
    {
        Waiting waiting;
        state = db::probeService(service, &message);
    }
    switch (state) {
    case db::ServiceState::Unusable:
        msg::perhatian(this, message);
        ui.txtLAYANAN->setFocus();
        return false;
    case db::ServiceState::Empty: {
        const QString text = QStringLiteral("KONEKSI BERHASIL, TETAPI DATABASE ITU BELUM BERISI TABEL SIMPARO.\n"
                                            "%1\nBagian TI membuat tabelnya sekali, dengan: simparo-initdb --server %2")
                                 .arg(message, service);
        if (tellSuccess)
            msg::show(this, text, QString::fromLatin1(msg::kAppTitle), msg::Icon::Information);
        else
            msg::perhatian(this, text);
        return false;
    }
    case db::ServiceState::Ready:
        if (tellSuccess)
            msg::show(this, QStringLiteral("KONEKSI BERHASIL.\n%1 berisi tabel SIMPARO.").arg(message),
                      QString::fromLatin1(msg::kAppTitle), msg::Icon::Information);
        return true;
    }
    return false;
}

void FirstStartWindow::useServer()
{
    if (!serviceReady(false))
        return;
    QString file;
    QString error;
    if (!db::writeUserSetting(db::serviceConnectionText(ui.txtLAYANAN->text().trimmed()), &file, &error)) {
        msg::perhatian(this, QStringLiteral("PENGATURAN TIDAK DITULIS.\n%1").arg(error));
        return;
    }
    openLogin();
}

void FirstStartWindow::openLogin()
{
    if (showLogin(this))
        close();
}
