#include "reports.h"

#include "shell/messages.h"
#include "shell/screens.h"
#include "data/records/dataenvironment.h"
#include "reportengine.h"
#include "reportwindow.h"

#include <QApplication>
#include <QHash>
#include <QPointer>

namespace reports {

namespace {
QHash<QString, QPointer<ReportWindow>> &windows()
{
    static QHash<QString, QPointer<ReportWindow>> all;
    return all;
}
} // namespace

ReportWindow *reportWindow(const QString &name)
{
    return windows().value(name).data();
}

ReportWindow *showReport(const ReportDefinition &definition, QWidget *caller, const dataenv::ReadAlongside &alongside)
{
    QWidget *parent = caller ? caller->window() : QApplication::activeWindow();
    dataenv::DataEnvironment *environment = dataenv::environment(definition.dataEnvironment);
    dataenv::CommandSource *source = environment ? environment->command(definition.dataMember) : nullptr;
    if (!source) {
        msg::perhatian(parent, QStringLiteral("Laporan %1 tidak bisa disusun: data %2 tidak ada.")
                                   .arg(definition.name, definition.dataMember));
        return nullptr;
    }

    // The pages shown until now are let go before the new ones are laid out, so that
    // a long list is never held twice.
    if (ReportWindow *open = reportWindow(definition.name); open && open->isVisible())
        open->clearDocument();
    std::optional<ReportDocument> document;
    QString error;
    {
        ProgressBox progress(parent, QStringLiteral("Membaca data %1 ...").arg(definition.caption.simplified()));
        ReportDocument::Builder builder(definition);
        QHash<QString, QString> texts;
        const dataenv::RowStream stream{[&](const QStringList &columns) { return builder.begin(columns, &error); },
                                        [&](const QVector<QVariant> &values) { builder.add(values); }};
        if (source->read(stream, &texts, progress.reading(), alongside))
            document = builder.finish(texts, progress.stage(QStringLiteral("Menyusun halaman laporan ...")));
        else if (error.isEmpty())
            error = source->lastError();
    }

    QPointer<ReportWindow> &window = windows()[definition.name];
    // A window closed by the operator is on its way out (deleted on close).
    if (window && !window->isVisible()) {
        window->close();
        window = nullptr;
    }
    if (!document) {
        if (window) {
            window->close();
            window = nullptr;
        }
        msg::perhatian(parent, error);
        return nullptr;
    }
    if (!window)
        window = new ReportWindow(definition);
    window->setDocument(std::move(*document));
    screens::present(window);
    return window;
}

ReportWindow *showRows(const ReportDefinition &definition, const QStringList &columns,
                       const QList<QVector<QVariant>> &rows, const QHash<QString, QString> &texts, QWidget *caller)
{
    QWidget *parent = caller ? caller->window() : QApplication::activeWindow();
    if (ReportWindow *open = reportWindow(definition.name); open && open->isVisible())
        open->clearDocument();
    ReportDocument::Builder builder(definition);
    QString error;
    if (!builder.begin(columns, &error)) {
        msg::perhatian(parent, error);
        return nullptr;
    }
    for (const QVector<QVariant> &row : rows)
        builder.add(row);
    ReportDocument document = builder.finish(texts);
    QPointer<ReportWindow> &window = windows()[definition.name];
    if (window && !window->isVisible()) {
        window->close();
        window = nullptr;
    }
    if (!window)
        window = new ReportWindow(definition);
    window->setDocument(std::move(document));
    screens::present(window);
    return window;
}

void closeReports()
{
    for (const QPointer<ReportWindow> &window : std::as_const(windows()))
        delete window.data();
    windows().clear();
    dataenv::closeEnvironments();
}

} // namespace reports
