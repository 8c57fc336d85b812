#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

// The tables of an old Access file as simparo-mdb-reader streams them (see mdbstream.h).
namespace legacy {

// Text from an old file (or a file name) as a terminal may show it: control and
// format characters, which could move the cursor or rewrite what the clerk sees,
// stand escaped as \x1b or \u202e. Everything else is kept.
QString printable(const QString &text);

struct Column
{
    QString name;
    int type = 0; // libmdb's type number
    int size = 0;
};

// A table as the stream announces it, before its rows.
struct Table
{
    QString name;
    QList<Column> columns;
    quint32 declaredRows = 0;
    qint64 rows = 0; // the rows that arrived so far
};

// What takes the tables as they arrive, so that no table is ever held whole in
// memory. Either call may stop the reading with a message (false).
// Values: text as QString (NULL and empty both empty), doubles as double or a null
// QVariant, dates as their ISO text ("YYYY-MM-DD", with " HH:MM:SS" when the time is
// not midnight) or a null QVariant.
class Sink
{
public:
    virtual ~Sink() = default;
    // The columns of the next table (its place among those asked for), before any of its rows.
    virtual bool table(int index, const Table &table, QString *error) = 0;
    // The next row of that table, its values in the table's column order.
    virtual bool row(int index, QVariantList &values, QString *error) = 0;
};

// Reads the stream as it arrives and checks every byte of it: structure, lengths,
// UTF-8 text, value sizes, the row counts and the checksum at its end. Each row
// goes to the sink as soon as it is whole; the checksum is known only at the end,
// so what the sink did with the rows is undone when the stream turns out bad.
class StreamDecoder
{
public:
    StreamDecoder(const QStringList &tables, Sink *sink);

    // Takes the next bytes; false once the stream is known to be bad or the sink stopped it.
    bool feed(const QByteArray &bytes);
    // True when the whole stream has arrived and was sound.
    bool complete() const { return state_ == State::Done && buffer_.size() == position_; }
    // True when the sink stopped the reading; error() is then the sink's message.
    bool stopped() const { return stopped_; }
    // Why the stream is bad or incomplete, in Indonesian.
    QString error() const;

    const QList<Table> &tables() const { return tables_; }
    qint64 received() const { return received_; }

private:
    enum class State { Magic, TableOrEnd, Columns, RowOrTableEnd, Done, Bad };
    enum class Step { Done, More, Bad };
    Step step();
    Step parseMagic();
    Step parseTableStart();
    Step parseColumn();
    Step parseRow();
    Step parseTableEnd();
    Step parseEnd();
    Step bad(const QString &why);
    Step stop(const QString &why);
    bool have(qsizetype count) const { return buffer_.size() - position_ >= count; }
    quint64 number(int bytes);
    void consumed(qsizetype from);

    QStringList expected_;
    Sink *sink_;
    QList<Table> tables_;
    QByteArray buffer_;
    qsizetype position_ = 0;
    qint64 received_ = 0;
    quint64 checksum_;
    State state_ = State::Magic;
    int columnsLeft_ = 0;
    bool stopped_ = false;
    QString error_;
};

struct Progress
{
    QString table;
    qint64 rows = 0;
    qint64 declaredRows = 0;
};

struct ReadResult
{
    bool ok = false;
    QString error; // Indonesian, names the file and what to do
    QList<Table> tables;
};

// What the reader may take. A damaged file can make libmdb loop, writing only
// warnings, or run away with memory: the reader ends when it writes no stream for
// silenceMs (its warnings do not count), when it has run for totalMs in all, or
// when it passes its limits of CPU time or address space.
struct Limits
{
    int silenceMs = 60000;
    qint64 totalMs = 0;
    qint64 cpuSeconds = 0;
    qint64 addressSpace = 0; // bytes; 0: none
};
// The limits for a file of this many bytes: a sound file of any size stays far below them.
Limits limitsFor(qint64 fileSize, int silenceMs);

// Runs the reader program on the file and hands what it writes to the sink. Any
// fault of the reader (it cannot start, crashes, passes a limit, exits with an
// error, or writes a bad stream) ends the reading with a message, as does a stop
// by the sink (with the sink's message).
ReadResult readFile(const QString &readerProgram, const QString &mdbFile, const QStringList &tables,
                    const Limits &limits, Sink *sink, const std::function<void(const Progress &)> &progress = {});

} // namespace legacy
