#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

// A report as an Excel workbook (.xlsx): the report's heading above, then one row
// for each row of the report under its column headings, then its lines of totals.
// A value keeps its kind: an amount is a number, a date a date, and a text stays
// text (an account number keeps its leading zeros). Rows are written as they come,
// none kept: a workbook of any length takes little memory.
namespace reports::xlsx {

struct Table {
    QString sheet;          // the sheet's name (at most 31 characters are kept)
    QStringList heading;    // lines above the table
    QStringList columns;    // the column headings
    QList<double> widths;   // each column's width in characters (empty: a default)
};

class Writer
{
public:
    // Opens the workbook at `path` (replacing a file there) and writes the heading
    // and the column headings; ok() false, with error(), when it cannot be made.
    Writer(const QString &path, const Table &table);
    ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // One row: a QString is text, a QDate a date, a number (int, double) a number,
    // an invalid or null value an empty cell. `bold` for a line of totals.
    void addRow(const QVariantList &values, bool bold = false);
    // A line of text under the table (a note, the seal).
    void addNote(const QString &text);
    // Writes the file; false, with error(), when it could not be written.
    bool finish();

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }

private:
    struct State;
    State *state_ = nullptr;
    QString path_;
    QString error_;
    int row_ = 0;
    int columns_ = 0;
};

} // namespace reports::xlsx
