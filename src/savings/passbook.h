#pragma once

#include "data/base/money.h"
#include "data/base/outcome.h"
#include "data/operators/supervision.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QVector>
#include <functional>
#include <optional>

// The pupil's passbook (buku tabungan): its page, where its next row goes, and
// the rows not yet printed in it.
//
// Every print, reprint, new book and position set by hand is a row appended to
// the table cetak_buku (never changed) with its trail row. Where the next row
// goes follows from the account's latest row that is no reprint: its book, the
// last line it wrote and the last ledger row it holds. A print writes the rows
// after that one, in posting order, on the lines after that line; one print row
// holds the rows of one page, so that a page turn in the middle of a print is
// two rows, and a print stopped at the turn remembers the page it filled.
namespace passbook {

// The page, as the settings keep it; lengths in hundredths of a millimetre.
struct Layout {
    int lines = 24;          // lines on a page
    int fold = 12;           // the fold comes after this line
    int pages = 4;           // pages of a book that take rows
    int gap = 1000;          // the fold's width: no line is printed there
    int top = 1500;          // from the top of the page to line 1's baseline
    int left = 1000;         // from the left edge to the columns' origin
    int lineHeight = 423;    // 1/6 inch
    // The columns, from the origin: the date, the code and the operator begin
    // there; the amounts end there (right aligned).
    int date = 0;
    int code = 2000;
    int debet = 5200;
    int kredit = 8200;
    int saldo = 11200;
    int operatorName = 11500;
};

// One setting of the page: its key in pengaturan, the field it fills, its bounds.
struct Setting {
    const char *key;
    int Layout::*field;
    int minimum;
    int maximum;
    const char *label; // as the settings screen names it
};
const QVector<Setting> &settings();
const Setting *settingNamed(const QString &key);
// The page as the database's settings keep it (the defaults where a key has no row).
Outcome readLayout(QSqlDatabase &database, Layout *layout);
Outcome readLayout(const QString &connectionText, Layout *layout);
// The operator who logged in sets one of them, with its trail row; refused for a
// clerk (on a server by the server) and for a value out of bounds.
Outcome setSetting(const QString &connectionText, const QString &key, int value);

// --- Positions
// A line of a book; line 0 is "before line 1": nothing written on the page yet.
struct Position {
    int book = 1;
    int page = 1;
    int line = 0;
    friend bool operator==(const Position &, const Position &) = default;
};
// Where the rows of a print go, from the last line written.
struct Plan {
    QVector<Position> lines; // each row's line, as many rows as the book still takes
    QVector<int> turns;      // the rows before which the page is turned (their index in lines)
    bool bookFull = false;   // rows were left over: they need a new book
};
Plan plan(const Position &last, int rows, const Layout &layout);
// The line after the last one written; its page may be past the book's last (see full()).
Position next(const Position &last, const Layout &layout);
bool full(const Position &position, const Layout &layout);

// --- The book as the database holds it
enum class Kind { Print, Reprint, NewBook, SetPosition };
QString kindText(Kind kind); // "cetak", "ulang", "baru", "atur"

// One ledger row of the account as the book prints it.
struct Row {
    qint64 key = 0;
    QDate date;
    QString code;
    QString kind;
    Money debet, kredit, saldo;
    QString operatorName; // who posted it, as its trail row names him; empty when none does
};
// The first line of a new book.
inline constexpr char kCarried[] = "Saldo pindahan";

struct Book {
    QString account;
    QString name;
    Position last;                 // the last line written
    std::optional<qint64> lastKey; // the last ledger row in the book
    std::optional<Money> carried;  // a new book's carried balance, when the book is one
    QVector<Row> rows;             // all the account's ledger rows, in posting order
    int printedCount() const;      // how many of them are in a book already
};
Outcome readBook(QSqlDatabase &database, const QString &account, Book *book);
Outcome readBook(const QString &connectionText, const QString &account, Book *book);

// Where each row printed before (key) stands: its book, page and line.
Outcome printedPositions(QSqlDatabase &database, const QString &account, QVector<QPair<qint64, Position>> *lines);
Outcome printedPositions(const QString &connectionText, const QString &account,
                        QVector<QPair<qint64, Position>> *lines);

// One page's share of a print, as the caller draws it.
struct Line {
    Position at;
    std::optional<Row> row; // nothing: the carried balance of a new book (`carried`)
    Money carried;
};
using Draw = std::function<Outcome(const QVector<Line> &lines)>;

// What printPage() did.
struct PageResult {
    int printed = 0;      // rows drawn and recorded
    int left = 0;         // rows still not printed
    bool turn = false;    // the next row needs the next page: ask for it, then call again with turned
    bool bookFull = false;// the next row needs a new book
};
// Prints the next rows of the account that fit on the open page, in one write
// transaction under the account's lock (what another counter printed meanwhile
// is not printed again): reads the book, draws the rows (draw), appends the
// print row and its trail row, commits. When the page is full nothing is printed
// unless `turned` says that the clerk has turned it.
Outcome printPage(const QString &connectionText, const QString &account, const Layout &layout, bool turned,
                  const Draw &draw, PageResult *result);

// Starts the account's next book: its line 1 carries the balance after the last
// row in the old one; the rows after it print on from line 2.
Outcome startBook(const QString &connectionText, const QString &account, const Draw &draw);

// --- Reprints and positions set by hand, each with a supervisor's approval,
// used inside the write that records it (on a server the server checks its grant).
inline constexpr char kReprintAction[] = "cetak ulang";
inline constexpr char kPositionAction[] = "atur buku";
supervision::Request reprintRequest(const QString &account);
supervision::Request positionRequest(const QString &account);
// The rows of the book in use from `fromKey` to the last one in it, each on the
// line where it was first printed, page by page; refused for a row not printed in it.
Outcome reprintLines(QSqlDatabase &database, const Book &book, qint64 fromKey, QVector<QVector<Line>> *pages);
// Records the reprint with its trail row and the approval used, then gives its pages to draw.
Outcome recordReprint(const QString &connectionText, const QString &account, qint64 fromKey,
                      const supervision::Approval &approval, QVector<QVector<Line>> *pages);
// The book already holds the rows up to `lastKey` (written by hand or by an older
// program); its next row goes on this page and line.
Outcome setPosition(const QString &connectionText, const QString &account, qint64 lastKey, int page, int line,
                    const Layout &layout, const supervision::Approval &approval);

namespace text {
extern const char *const kChooseRow;       // no row chosen in the grid
extern const char *const kNotPrinted;      // a reprint of a row not printed in this book
extern const char *const kPositionInvalid; // a page or line outside the book
extern const char *const kNothingLeft;  // every row is printed
extern const char *const kPageFull;     // turn the page
extern const char *const kBookFull;     // start a new book
extern const char *const kNewBookQuestion;
extern const char *const kNotUpgraded;  // a database made before the passbook
} // namespace text

// The refusal a database's words stand for, when they are one of the rules'; else the words.
QString refusalOf(const QString &words);

} // namespace passbook
