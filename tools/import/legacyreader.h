#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

// The tables of an old Access file as simparo-mdb-reader streams them (see mdbstream.h).
namespace legacy {

struct Column
{
    QString name;
    int type = 0; // libmdb's type number
    int size = 0;
};

// Values: text as QString (NULL and empty both empty), doubles as double or a null
// QVariant, dates as their ISO text ("YYYY-MM-DD", with " HH:MM:SS" when the time is
// not midnight) or a null QVariant.
struct Table
{
    QString name;
    QList<Column> columns;
    quint32 declaredRows = 0;
    QList<QVariantList> rows;
};

// Reads the stream as it arrives and checks every byte of it: structure, lengths,
// UTF-8 text, value sizes, the row counts and the checksum at its end.
class StreamDecoder
{
public:
    explicit StreamDecoder(const QStringList &tables);

    // Takes the next bytes; false once the stream is known to be bad.
    bool feed(const QByteArray &bytes);
    // True when the whole stream has arrived and was sound.
    bool complete() const { return state_ == State::Done && buffer_.size() == position_; }
    // Why the stream is bad or incomplete, in Indonesian.
    QString error() const;

    const QList<Table> &tables() const { return tables_; }
    QList<Table> takeTables() { return std::move(tables_); }
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
    bool have(qsizetype count) const { return buffer_.size() - position_ >= count; }
    quint64 number(int bytes);
    QString text(const char *data, qsizetype length, bool *ok);
    void consumed(qsizetype from);

    QStringList expected_;
    QList<Table> tables_;
    QByteArray buffer_;
    qsizetype position_ = 0;
    qint64 received_ = 0;
    quint64 checksum_;
    State state_ = State::Magic;
    int columnsLeft_ = 0;
    QString error_;
    QHash<QByteArray, QString> shared_;
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

// Runs the reader program on the file and decodes what it writes. Any fault of the
// reader (it cannot start, crashes, stays silent for longer than the timeout, exits
// with an error, or writes a bad stream) ends the reading with a message.
ReadResult readFile(const QString &readerProgram, const QString &mdbFile, const QStringList &tables,
                    int silenceTimeoutMs, const std::function<void(const Progress &)> &progress = {});

} // namespace legacy
