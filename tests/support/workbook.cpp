#include "workbook.h"

#include <QProcess>
#include <QTest>

QStringList readWorkbook(const QString &path)
{
    static const char *const script = R"py(
import datetime, sys
from openpyxl import load_workbook
sheet = load_workbook(sys.argv[1]).worksheets[0]
for row in sheet.iter_rows(values_only=True):
    cells = []
    for value in row:
        if value is None:
            cells.append("")
        elif isinstance(value, datetime.datetime):
            cells.append("d:" + value.date().isoformat())
        elif isinstance(value, (int, float)):
            cells.append("n:" + repr(float(value)))
        else:
            cells.append("s:" + str(value))
    print("|".join(cells).rstrip("|"))
)py";
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0) {
        QTest::qFail(qPrintable(QStringLiteral("openpyxl could not read %1: %2")
                                    .arg(path, QString::fromUtf8(reader.readAllStandardError()))),
                     __FILE__, __LINE__);
        return {};
    }
    return QString::fromUtf8(reader.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}
