#include "data/base/schema.h"

#include "data/base/money.h"
#include "data/base/textforms.h"

namespace schema {

QStringList Table::columnNames() const
{
    QStringList names;
    for (const Column &column : columns)
        names << column.name;
    return names;
}

const Table &daftar()
{
    static const Table table{QStringLiteral("daftar"),
                             {{QStringLiteral("norekening"), Kind::Text},
                              {QStringLiteral("nama"), Kind::Text},
                              {QStringLiteral("tempat"), Kind::Text},
                              {QStringLiteral("tgllahir"), Kind::Text},
                              {QStringLiteral("alamat"), Kind::Text},
                              {QStringLiteral("kota"), Kind::Text},
                              {QStringLiteral("kode"), Kind::Text},
                              {QStringLiteral("PENDIDIKAN"), Kind::Text},
                              {QStringLiteral("TELPHON"), Kind::Text}}};
    return table;
}

const Table &nabubg()
{
    static const Table table{QStringLiteral("nabubg"),
                             {{QStringLiteral("norekening"), Kind::Text},
                              {QStringLiteral("nama"), Kind::Text},
                              {QStringLiteral("TANGGAL"), Kind::Date},
                              {QStringLiteral("kode"), Kind::Text},
                              {QStringLiteral("Jenis"), Kind::Text},
                              {QStringLiteral("debet"), Kind::Number},
                              {QStringLiteral("kredit"), Kind::Number},
                              {QStringLiteral("saldo"), Kind::Number}}};
    return table;
}

const QList<TrailColumn> &jejak()
{
    static const QList<TrailColumn> columns{
        {QStringLiteral("nomor"), true},       {QStringLiteral("waktu")},      {QStringLiteral("zona")},
        {QStringLiteral("\"operator\"")},      {QStringLiteral("peran")},      {QStringLiteral("loket")},
        {QStringLiteral("alamat")},            {QStringLiteral("tindakan")},   {QStringLiteral("tabel")},
        {QStringLiteral("kunci"), true},       {QStringLiteral("norekening")}, {QStringLiteral("rincian")},
        {QStringLiteral("isi")},               {QStringLiteral("token")},      {QStringLiteral("segel")}};
    return columns;
}

QString jejakColumnList()
{
    QStringList names;
    for (const TrailColumn &column : jejak())
        names << column.sql;
    return names.join(QStringLiteral(", "));
}

QString jejakStatement(const QString &wholeType, const QString &textType)
{
    QStringList columns;
    for (const TrailColumn &column : jejak())
        columns << QStringLiteral("%1 %2%3").arg(column.sql, column.whole ? wholeType : textType,
                                                 columns.isEmpty() ? QStringLiteral(" PRIMARY KEY") : QString());
    return QStringLiteral("CREATE TABLE jejak (%1)").arg(columns.join(QStringLiteral(", ")));
}

const Table &tpassword()
{
    static const Table table{QStringLiteral("tpassword"),
                             {{QStringLiteral("user"), Kind::Text}, {QStringLiteral("password"), Kind::Text}}};
    return table;
}

QStringList setAsideColumns()
{
    return QStringList{QStringLiteral("waktu"), QStringLiteral("sumber"), QStringLiteral("tabel"), QStringLiteral("baris"),
                       QStringLiteral("alasan")}
         + daftar().columnNames();
}

QString setAsideStatement()
{
    return QStringLiteral("CREATE TABLE %1 (waktu TEXT NOT NULL, sumber TEXT NOT NULL, tabel TEXT NOT NULL, "
                          "baris INTEGER NOT NULL, alasan TEXT NOT NULL, %2 TEXT)")
        .arg(QLatin1String(kSetAsideTable), daftar().columnNames().join(QStringLiteral(" TEXT, ")));
}

const Table *table(const QString &name)
{
    for (const Table *candidate : {&daftar(), &nabubg(), &tpassword()})
        if (candidate->name.compare(name, Qt::CaseInsensitive) == 0)
            return candidate;
    return nullptr;
}

QString quoted(const QString &identifier)
{
    QString text = identifier;
    text.replace(u'"', QStringLiteral("\"\""));
    return u'"' + text + u'"';
}

Kind kindOfDeclaredType(const QString &declared)
{
    const QString type = declared.toUpper();
    if (type.contains(QLatin1String("DATE")) || type.contains(QLatin1String("TIME")))
        return Kind::Date;
    if (type.contains(QLatin1String("REAL")) || type.contains(QLatin1String("DOUB"))
        || type.contains(QLatin1String("FLOA")) || type.contains(QLatin1String("NUM"))
        || type.contains(QLatin1String("INT")) || type.contains(QLatin1String("CURR")))
        return Kind::Number;
    return Kind::Text;
}

QVariant fromStored(const QVariant &raw, Kind kind)
{
    if (raw.isNull())
        return QVariant();
    switch (kind) {
    case Kind::Date: {
        const QDate date = textform::storedDate(raw);
        return date.isValid() ? QVariant(date) : QVariant(raw.toString());
    }
    case Kind::Number: {
        const std::optional<Money> money = Money::fromStored(raw);
        return money ? QVariant(money->toDouble()) : QVariant(raw.toString());
    }
    case Kind::Text:
        break;
    }
    return raw.toString();
}

QVariant toStored(const QVariant &value, Kind kind)
{
    if (value.isNull())
        return QVariant();
    if (kind == Kind::Date && value.metaType().id() == QMetaType::QDate)
        return textform::storedDateText(value.toDate());
    return value;
}

std::optional<QVariant> criterionValue(const QString &text, Kind kind)
{
    switch (kind) {
    case Kind::Date: {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        return date.isValid() ? std::optional<QVariant>(textform::storedDateText(date)) : std::nullopt;
    }
    case Kind::Number: {
        const std::optional<Money> amount = Money::parse(text, QLocale::c());
        return amount ? std::optional<QVariant>(amount->toDouble()) : std::nullopt;
    }
    case Kind::Text:
        break;
    }
    return QVariant(text);
}

bool matches(const QVariant &value, const QString &wanted)
{
    if (value.isNull())
        return false;
    switch (value.metaType().id()) {
    case QMetaType::Double: {
        const std::optional<Money> stored = Money::fromStored(value);
        const std::optional<Money> typed = Money::parse(wanted, QLocale::c());
        return stored && typed && *stored == *typed;
    }
    case QMetaType::QDate:
        return textform::storedDateText(value.toDate()) == wanted;
    default:
        return value.toString() == wanted;
    }
}

} // namespace schema
