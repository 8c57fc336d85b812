#pragma once

#include <QString>
#include <QStringList>

// An Excel workbook read back by a real reader (openpyxl, Debian's python3-openpyxl):
// each row of its first sheet as a line of cells joined by "|", each cell as its
// kind and value ("s:0101" text, "n:1500.5" number, "d:2026-12-10" date, "" empty).
// Fails the test when the reader is missing or cannot read the file.
QStringList readWorkbook(const QString &path);
