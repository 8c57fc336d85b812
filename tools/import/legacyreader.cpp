#include "legacyreader.h"

#include "mdbstream.h"
#include "data/base/textforms.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStringDecoder>
#include <QTime>
#include <cmath>
#include <cstring>
#include <sys/resource.h>

namespace legacy {

QString printable(const QString &text)
{
    return textform::printable(text);
}

namespace {
// A stream far beyond any savings scheme's file is a runaway reader.
constexpr qint64 kMaxStream = qint64(1) << 30;

bool isDateText(const QByteArray &text)
{
    if (text.size() != 10 && text.size() != 19)
        return false;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool separator = i == 4 || i == 7 || i == 10 || i == 13 || i == 16;
        const char want = i == 10 ? ' ' : (i == 13 || i == 16) ? ':' : '-';
        if (separator ? c != want : (c < '0' || c > '9'))
            return false;
    }
    if (!QDate::fromString(QString::fromLatin1(text.left(10)), Qt::ISODate).isValid())
        return false;
    return text.size() == 10 || QTime::fromString(QString::fromLatin1(text.mid(11)), Qt::ISODate).isValid();
}
} // namespace

StreamDecoder::StreamDecoder(const QStringList &tables, Sink *sink)
    : expected_(tables)
    , sink_(sink)
    , checksum_(mdbstream::kChecksumStart)
{ }

QString StreamDecoder::error() const
{
    if (!error_.isEmpty())
        return error_;
    if (state_ != State::Done)
        return QStringLiteral("keluaran berhenti di tengah (%1 byte)").arg(received_);
    if (buffer_.size() != position_)
        return QStringLiteral("ada data sesudah akhir keluaran");
    return {};
}

StreamDecoder::Step StreamDecoder::bad(const QString &why)
{
    error_ = QStringLiteral("%1 (pada byte %2)").arg(why).arg(received_ - (buffer_.size() - position_));
    state_ = State::Bad;
    return Step::Bad;
}

StreamDecoder::Step StreamDecoder::stop(const QString &why)
{
    error_ = why;
    stopped_ = true;
    state_ = State::Bad;
    return Step::Bad;
}

quint64 StreamDecoder::number(int bytes)
{
    quint64 value = 0;
    for (int i = 0; i < bytes; ++i)
        value |= quint64(static_cast<unsigned char>(buffer_[position_ + i])) << (8 * i);
    position_ += bytes;
    return value;
}

void StreamDecoder::consumed(qsizetype from)
{
    checksum_ = mdbstream::checksum(checksum_, buffer_.constData() + from, size_t(position_ - from));
}

bool StreamDecoder::feed(const QByteArray &bytes)
{
    if (state_ == State::Bad)
        return false;
    received_ += bytes.size();
    if (received_ > kMaxStream) {
        bad(QStringLiteral("keluaran terlalu besar"));
        return false;
    }
    if (position_ > (1 << 20)) {
        buffer_.remove(0, position_);
        position_ = 0;
    }
    buffer_.append(bytes);
    for (;;) {
        if (state_ == State::Done) {
            if (buffer_.size() != position_) {
                bad(QStringLiteral("ada data sesudah akhir keluaran"));
                return false;
            }
            return true;
        }
        const qsizetype start = position_;
        const Step result = step();
        if (result == Step::Bad)
            return false;
        if (result == Step::More) {
            position_ = start;
            return true;
        }
    }
}

StreamDecoder::Step StreamDecoder::step()
{
    switch (state_) {
    case State::Magic:
        return parseMagic();
    case State::TableOrEnd:
        if (!have(1))
            return Step::More;
        if (buffer_[position_] == mdbstream::kEnd)
            return parseEnd();
        return parseTableStart();
    case State::Columns:
        return parseColumn();
    case State::RowOrTableEnd:
        if (!have(1))
            return Step::More;
        return buffer_[position_] == mdbstream::kRow ? parseRow() : parseTableEnd();
    case State::Done:
    case State::Bad:
        break;
    }
    return Step::Bad;
}

StreamDecoder::Step StreamDecoder::parseMagic()
{
    const qsizetype start = position_;
    if (!have(qsizetype(mdbstream::kMagicLength) + 2))
        return Step::More;
    if (std::memcmp(buffer_.constData() + position_, mdbstream::kMagic, mdbstream::kMagicLength) != 0)
        return bad(QStringLiteral("awal keluaran tidak dikenal"));
    position_ += qsizetype(mdbstream::kMagicLength);
    if (number(2) != mdbstream::kVersion)
        return bad(QStringLiteral("versi keluaran tidak dikenal"));
    consumed(start);
    state_ = State::TableOrEnd;
    return Step::Done;
}

StreamDecoder::Step StreamDecoder::parseTableStart()
{
    const qsizetype start = position_;
    if (buffer_[position_] != mdbstream::kTable)
        return bad(QStringLiteral("penanda tabel tidak sah"));
    if (!have(3))
        return Step::More;
    ++position_;
    const quint64 nameLength = number(2);
    if (nameLength == 0 || nameLength > mdbstream::kMaxName)
        return bad(QStringLiteral("panjang nama tabel tidak sah"));
    if (!have(qsizetype(nameLength) + 6))
        return Step::More;
    Table table;
    table.name = QString::fromUtf8(buffer_.constData() + position_, qsizetype(nameLength));
    position_ += qsizetype(nameLength);
    columnsLeft_ = int(number(2));
    table.declaredRows = quint32(number(4));
    if (tables_.size() >= expected_.size() || table.name.compare(expected_[tables_.size()], Qt::CaseInsensitive) != 0)
        return bad(QStringLiteral("tabel tak terduga \"%1\"").arg(printable(table.name)));
    if (columnsLeft_ == 0 || columnsLeft_ > int(mdbstream::kMaxColumns))
        return bad(QStringLiteral("jumlah kolom tabel %1 tidak sah").arg(table.name));
    consumed(start);
    tables_.append(table);
    state_ = State::Columns;
    return Step::Done;
}

StreamDecoder::Step StreamDecoder::parseColumn()
{
    const qsizetype start = position_;
    if (!have(2))
        return Step::More;
    const quint64 nameLength = number(2);
    if (nameLength == 0 || nameLength > mdbstream::kMaxName)
        return bad(QStringLiteral("panjang nama kolom tidak sah"));
    if (!have(qsizetype(nameLength) + 3))
        return Step::More;
    Column column;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    column.name = utf8.decode(QByteArrayView(buffer_.constData() + position_, qsizetype(nameLength)));
    if (utf8.hasError())
        return bad(QStringLiteral("nama kolom bukan UTF-8"));
    position_ += qsizetype(nameLength);
    column.type = int(number(1));
    column.size = int(number(2));
    consumed(start);
    tables_.last().columns.append(column);
    if (--columnsLeft_ == 0) {
        state_ = State::RowOrTableEnd;
        QString why;
        if (!sink_->table(int(tables_.size()) - 1, tables_.last(), &why))
            return stop(why);
    }
    return Step::Done;
}

namespace {
// UTF-8 text as it is, or nothing (*ok false) when it is no UTF-8.
QString utf8Text(const char *data, qsizetype length, bool *ok)
{
    *ok = true;
    bool ascii = true;
    for (qsizetype i = 0; i < length && ascii; ++i)
        ascii = static_cast<unsigned char>(data[i]) < 0x80;
    if (ascii)
        return QString::fromLatin1(data, length);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString value = utf8.decode(QByteArrayView(data, length));
    *ok = !utf8.hasError();
    return value;
}
} // namespace

StreamDecoder::Step StreamDecoder::parseRow()
{
    const qsizetype start = position_;
    Table &table = tables_.last();
    if (quint64(table.rows) >= table.declaredRows)
        return bad(QStringLiteral("tabel %1 lebih banyak baris daripada %2 yang dinyatakan")
                       .arg(table.name)
                       .arg(table.declaredRows));
    ++position_;
    QVariantList row;
    row.reserve(table.columns.size());
    for (const Column &column : std::as_const(table.columns)) {
        if (!have(4))
            return Step::More;
        const quint64 length = number(4);
        if (length > mdbstream::kMaxValue)
            return bad(QStringLiteral("nilai terlalu panjang di tabel %1").arg(table.name));
        if (!have(qsizetype(length)))
            return Step::More;
        const char *data = buffer_.constData() + position_;
        position_ += qsizetype(length);
        auto badValue = [&](const char *what) {
            return bad(QStringLiteral("%1 di tabel %2 baris %3 kolom %4")
                           .arg(QLatin1String(what), table.name)
                           .arg(table.rows + 1)
                           .arg(column.name));
        };
        if (column.type == mdbstream::kTypeDouble) {
            if (length == 0) {
                row.append(QVariant(QMetaType::fromType<double>()));
                continue;
            }
            if (length != 8)
                return badValue("angka tidak 8 byte");
            quint64 bits = 0;
            for (int i = 0; i < 8; ++i)
                bits |= quint64(static_cast<unsigned char>(data[i])) << (8 * i);
            double value;
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value))
                return badValue("nilai bukan angka yang sah");
            row.append(value);
        } else if (column.type == mdbstream::kTypeDateTime) {
            if (length == 0) {
                row.append(QVariant(QMetaType::fromType<QString>()));
                continue;
            }
            if (!isDateText(QByteArray::fromRawData(data, qsizetype(length))))
                return badValue("tanggal tidak sah");
            row.append(QString::fromLatin1(data, qsizetype(length)));
        } else {
            bool ok;
            const QString value = utf8Text(data, qsizetype(length), &ok);
            if (!ok)
                return badValue("teks bukan UTF-8");
            if (column.type == mdbstream::kTypeText && value.size() > column.size
                && value.toUcs4().size() > column.size)
                return badValue("teks lebih panjang dari kolomnya");
            row.append(value);
        }
    }
    consumed(start);
    ++table.rows;
    QString why;
    if (!sink_->row(int(tables_.size()) - 1, row, &why))
        return stop(why);
    return Step::Done;
}

StreamDecoder::Step StreamDecoder::parseTableEnd()
{
    const qsizetype start = position_;
    if (buffer_[position_] != mdbstream::kTableEnd)
        return bad(QStringLiteral("penanda baris tidak sah"));
    if (!have(5))
        return Step::More;
    ++position_;
    const Table &table = tables_.last();
    const quint64 count = number(4);
    if (count != quint64(table.rows))
        return bad(QStringLiteral("jumlah baris tabel %1 tidak cocok").arg(table.name));
    consumed(start);
    state_ = State::TableOrEnd;
    return Step::Done;
}

StreamDecoder::Step StreamDecoder::parseEnd()
{
    if (!have(9))
        return Step::More;
    ++position_;
    if (number(8) != checksum_)
        return bad(QStringLiteral("checksum keluaran tidak cocok"));
    if (tables_.size() != expected_.size())
        return bad(QStringLiteral("keluaran berakhir sebelum semua tabel terbaca"));
    state_ = State::Done;
    return Step::Done;
}

} // namespace legacy
