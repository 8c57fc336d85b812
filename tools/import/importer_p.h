#pragma once

#include "importer.h"

// What the import's files share beside its public header: the report of an
// import (importreport.cpp), made once the rows are in and saved before the commit.
namespace import {

// The report: the source and target, the rows read, brought in and set aside,
// every finding's line, and what the operators brought over must do.
QString buildReport(const Options &options, const QString &target, bool existing, const Analysis &analysis,
                    qint64 hashed);

// Saves the report as a new private file beside the target: a name that is taken
// (by a file, or a link planted there) is passed over for the next one. On
// success the report's text ends with where it was saved.
bool saveReport(const QString &base, QString *text, QString *file, QString *error);

} // namespace import
