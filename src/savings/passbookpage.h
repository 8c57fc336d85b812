#pragma once

#include "data/base/outcome.h"
#include "savings/passbook.h"

#include <QString>
#include <QVector>
#include <memory>

class QPaintDevice;
class QPainter;

// The passbook's lines on paper: each row at its page's line, the fold's gap
// after line `fold`, the columns at the page's settings.
namespace passbook {

// Where a counter's prints go, as the per-user file ~/.config/simparo/buku
// (0600) says: a line printer=NAME names a CUPS printer; a line pdf=PATH writes
// each print as a PDF file at PATH instead, replacing the last one.
struct Output {
    QString printer;
    QString pdf;
    bool isEmpty() const { return printer.isEmpty() && pdf.isEmpty(); }
};
QString outputFile();
// False with nothing in *error when the file is missing; with the reason when it
// cannot be read or names nothing.
bool readOutput(Output *output, QString *error);
bool writeOutput(const Output &output, QString *error);

// A row's texts as the book shows them.
QString amountText(Money amount);     // "1.000,00"
QString shortOperator(const QString &name);

// The baseline of a line from the page's top and the left edge of a column,
// in hundredths of a millimetre.
int baseline(int line, const Layout &layout);

// Draws a print's pages: one sheet per book page touched. To a PDF file the
// sheets go as one file written at finish(); to a printer each sheet is a job of
// its own, sent before the clerk is asked to turn the page.
class Sheets
{
public:
    Sheets(const Layout &layout, const Output &output);
    ~Sheets();
    Sheets(const Sheets &) = delete;
    Sheets &operator=(const Sheets &) = delete;

    // One page's lines (all on the same page).
    Outcome draw(const QVector<Line> &lines);
    // The test page: every line numbered, the fold, and a ruler in centimetres.
    Outcome drawTestPage();
    // Ends the print (the PDF file is written now); failed when it could not be.
    Outcome finish();

private:
    Outcome begin();
    Outcome end();
    void paintLines(QPainter *painter, const QVector<Line> &lines) const;
    const Layout layout_;
    const Output output_;
    struct Device;
    std::unique_ptr<Device> device_;
    bool started_ = false;
};

} // namespace passbook
