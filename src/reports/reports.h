#pragma once

#include "reportdefinition.h"
#include "data/records/dataenvironment.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>

class QWidget;

namespace reports {

class ReportWindow;

// Shows a report: binds it to the record source of its data member (creating the
// data environment on first use), reads the rows as they stand at this moment with
// the filter in force, lays them out and presents them in the report's window,
// not modal. There is one window per report at a time: a showing while it is open
// refreshes that same window; closing it frees it, and the next showing makes a new one.
//
// When the rows cannot be read, a message box names the cause, and an open window
// of the report is closed rather than left showing rows of an earlier reading.
// Returns the window, or nothing after a failure.
//
// `alongside` (may be empty) reads the texts the report names ({name}) from the
// same snapshot as its rows; when it fails, the report fails as a reading does.
ReportWindow *showReport(const ReportDefinition &definition, QWidget *caller = nullptr,
                         const dataenv::ReadAlongside &alongside = {});

// Shows a report of rows the program made itself (no data environment): the
// columns the definition's fields name, the rows, and the texts it names.
ReportWindow *showRows(const ReportDefinition &definition, const QStringList &columns,
                       const QList<QVector<QVariant>> &rows, const QHash<QString, QString> &texts,
                       QWidget *caller = nullptr);

// The report's window if it has been made, else nothing.
ReportWindow *reportWindow(const QString &name);

// Discards the report windows and the data environments; the next showing starts
// anew. Used when the program ends and by tests that start on a fresh database.
void closeReports();

} // namespace reports
