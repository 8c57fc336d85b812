#include "data/trail/audit.h"

#include "data/engine/dialect.h"
#include "data/base/schema.h"

#include <QLocale>
#include <sodium.h>
#include <charconv>
#include <cstring>
#include <cmath>

// The canonical text of a row: its fields, the content of a ledger or register
// row (isi), the content of a trail row, and the seal that chains them.
namespace audit {

namespace {

// A value the program holds as the database gives it back, for the canonical
// text: its bytes kept in *storage while the value is in use.
db::Value valueOf(const QVariant &value, QByteArray *storage)
{
    db::Value result;
    if (value.isNull())
        return result;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        result.type = db::Value::Type::Real;
        result.real = value.toDouble();
        return result;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        result.type = db::Value::Type::Integer;
        result.integer = value.toLongLong();
        return result;
    case QMetaType::QDate:
        *storage = value.toDate().toString(Qt::ISODate).toUtf8();
        break;
    default:
        *storage = value.toString().toUtf8();
        break;
    }
    result.type = db::Value::Type::Text;
    result.text = *storage;
    return result;
}

// A number as text: an integer's digits, a floating number in its shortest form.
QByteArray numberText(const db::Value &value)
{
    if (value.type == db::Value::Type::Integer)
        return QByteArray::number(value.integer);
    return QByteArray::number(value.real, 'g', QLocale::FloatingPointShortest);
}

// "<n>:" and the value's bytes.
void appendBytes(QByteArray *record, QByteArrayView bytes)
{
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, bytes.size());
    Q_UNUSED(error);
    const qsizetype length = end - digits;
    const qsizetype at = record->size();
    record->resize(at + length + 1 + bytes.size());
    char *out = record->data() + at;
    std::memcpy(out, digits, size_t(length));
    out[length] = ':';
    if (!bytes.isEmpty())
        std::memcpy(out + length + 1, bytes.data(), size_t(bytes.size()));
}

// "<n>:" and an integer's digits.
void appendInteger(QByteArray *record, qint64 value)
{
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    Q_UNUSED(error);
    appendBytes(record, QByteArrayView(digits, end - digits));
}

// A field of a column of this kind: text as stored, a date as its stored text
// (yyyy-MM-dd), an amount as a whole number of sen rounded half away from zero,
// or "!" and the text of a value that is no number (text in an older file).
void appendValue(QByteArray *record, const db::Value &value, schema::Kind kind)
{
    if (value.type == db::Value::Type::Null) {
        record->append('-');
        return;
    }
    if (value.type == db::Value::Type::Text) {
        if (kind != schema::Kind::Number)
            return appendBytes(record, value.text);
        return appendBytes(record, QByteArray(1, '!') + value.text.toByteArray());
    }
    if (kind != schema::Kind::Number)
        return appendBytes(record, numberText(value));
    const double hundredfold = (value.type == db::Value::Type::Integer ? double(value.integer) : value.real) * 100;
    if (!std::isfinite(hundredfold) || std::fabs(hundredfold) > 9.2e18)
        return appendBytes(record, '!' + numberText(value));
    const double whole = std::trunc(hundredfold);
    const double sen = whole + (std::fabs(hundredfold - whole) >= 0.5 ? (hundredfold < 0 ? -1.0 : 1.0) : 0.0);
    appendInteger(record, static_cast<qint64>(sen));
}

} // namespace

void appendField(QByteArray *record, const QString &value)
{
    if (value.isNull())
        record->append('-');
    else
        appendBytes(record, value.toUtf8());
}

void appendField(QByteArray *record, std::optional<qint64> value)
{
    if (!value)
        record->append('-');
    else
        appendInteger(record, *value);
}

std::optional<QList<QString>> fieldsOf(const QString &record)
{
    const QByteArray bytes = record.toUtf8();
    QList<QString> fields;
    qsizetype at = 0;
    while (at < bytes.size()) {
        if (bytes.at(at) == '-') {
            fields << QString();
            ++at;
            continue;
        }
        const qsizetype colon = bytes.indexOf(':', at);
        if (colon <= at)
            return std::nullopt;
        bool ok = false;
        const qsizetype length = bytes.mid(at, colon - at).toLongLong(&ok);
        if (!ok || length < 0 || colon + 1 + length > bytes.size())
            return std::nullopt;
        QString value = QString::fromUtf8(bytes.constData() + colon + 1, length);
        if (value.isNull())
            value = QStringLiteral("");
        fields << value;
        at = colon + 1 + length;
    }
    return fields;
}

QStringList contentColumns(const QString &table)
{
    const schema::Table *known = schema::table(table);
    if (!known)
        return {};
    if (known == &schema::tpassword())
        return {QStringLiteral("\"user\"")}; // never the password
    return known->columnNames();
}

bool describedTable(const QString &table, const QStringList &columns)
{
    const schema::Table *known = schema::table(table);
    if (!known || known->columns.size() != columns.size())
        return false;
    for (int c = 0; c < columns.size(); ++c)
        if (columns.at(c).compare(known->columns.at(c).name, Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

QByteArray rowContent(const QString &table, const db::Value *values)
{
    const schema::Table *known = schema::table(table);
    if (!known)
        return QByteArray();
    QByteArray record;
    record.reserve(160);
    const int count = known == &schema::tpassword() ? 1 : int(known->columns.size());
    for (int c = 0; c < count; ++c)
        appendValue(&record, values[c], known->columns.at(c).kind);
    return record;
}

QString rowContent(const QString &table, const QVector<QVariant> &values)
{
    if (!schema::table(table))
        return QString();
    QVector<db::Value> raw(values.size());
    QVector<QByteArray> storage(values.size());
    for (int c = 0; c < values.size(); ++c)
        raw[c] = valueOf(values.at(c), &storage[c]);
    raw.resize(std::max<qsizetype>(raw.size(), 9));
    return QString::fromUtf8(rowContent(table, raw.constData()));
}

QString recordColumns()
{
    return schema::jejakColumnList();
}

QByteArray content(const db::Value *values)
{
    QByteArray bytes;
    bytes.reserve(512);
    for (int c = 0; c < 14; ++c) {
        const db::Value &value = values[c];
        if (value.type == db::Value::Type::Null)
            bytes.append('-');
        else if (value.type == db::Value::Type::Text)
            appendBytes(&bytes, value.text);
        else if (value.type == db::Value::Type::Integer)
            appendInteger(&bytes, value.integer);
        else
            appendBytes(&bytes, numberText(value));
    }
    return bytes;
}

QByteArray content(const Record &record)
{
    db::Value values[14];
    QByteArray storage[14];
    const auto text = [&](int c, const QString &field) {
        if (!field.isNull())
            values[c] = valueOf(field, &storage[c]);
    };
    values[0].type = db::Value::Type::Integer;
    values[0].integer = record.nomor;
    int c = 1;
    for (const QString *field : {&record.waktu, &record.zona, &record.operatorName, &record.peran, &record.loket,
                                 &record.alamat, &record.tindakan, &record.tabel})
        text(c++, *field);
    if (record.kunci) {
        values[9].type = db::Value::Type::Integer;
        values[9].integer = *record.kunci;
    }
    c = 10;
    for (const QString *field : {&record.norekening, &record.rincian, &record.isi, &record.token})
        text(c++, *field);
    return content(values);
}

QByteArray seal(const QByteArray &previousSeal, const QByteArray &content)
{
    unsigned char previous[crypto_hash_sha256_BYTES] = {};
    if (!previousSeal.isEmpty()) {
        const QByteArray raw = QByteArray::fromHex(previousSeal);
        std::memcpy(previous, raw.constData(), std::min<size_t>(raw.size(), sizeof previous));
    }
    crypto_hash_sha256_state state;
    crypto_hash_sha256_init(&state);
    crypto_hash_sha256_update(&state, previous, sizeof previous);
    crypto_hash_sha256_update(&state, reinterpret_cast<const unsigned char *>(content.constData()),
                              static_cast<unsigned long long>(content.size()));
    unsigned char digest[crypto_hash_sha256_BYTES];
    crypto_hash_sha256_final(&state, digest);
    return QByteArray(reinterpret_cast<const char *>(digest), sizeof digest).toHex();
}

QString groupedSeal(const QString &seal)
{
    QStringList groups;
    for (qsizetype at = 0; at < seal.size(); at += 4)
        groups << seal.mid(at, 4);
    return groups.join(u' ');
}

} // namespace audit
