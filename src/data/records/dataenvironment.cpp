#include "data/records/dataenvironment.h"

#include "data/trail/audit.h"
#include "data/engine/connectiontext.h"
#include "data/engine/pool.h"

#include <QCoreApplication>
#include <QPointer>

// The program's two data environments, DE and DMN, and the texts of their commands.
namespace dataenv {

const char *const kNasabahCommandText = "daftar";
const char *const kCommand2Text =
    "SELECT nabubg.norekening, nabubg.nama, nabubg.TANGGAL, nabubg.debet, nabubg.kredit, nabubg.saldo, "
    "nabubg.Jenis, nabubg.kode\r\n"
    "FROM daftar INNER JOIN nabubg ON daftar.norekening = nabubg.norekening;\r\n";
// A ledger row has at most one posting row; an import's or an upgrade's row covers
// many ledger rows without naming one, and a supervisor's acceptance of a break
// names a row it did not write.
const char *const kHarianText =
    "SELECT jejak.waktu, jejak.zona, "
    // A month-end run's rows stand together under a name of their own, apart from
    // the counters', and so do those of a run taken back (corrections without a
    // trail row of their own); each correction stands alone under its clerk, its trail row's
    // details (the row reversed, the reason, the supervisor) on one line.
    "CASE WHEN nabubg.kode = '05' AND jejak.\"operator\" IS NOT NULL THEN 'Koreksi oleh ' || jejak.\"operator\" "
    "|| ': ' || replace(COALESCE(jejak.rincian, ''), '\n', '; ') "
    "ELSE COALESCE(jejak.\"operator\", CASE WHEN nabubg.kode IN ('03', '04') THEN 'Bagi hasil bulanan' "
    "WHEN nabubg.kode = '05' THEN 'Batal bagi hasil bulanan' END) END "
    "AS \"operator\", "
    "jejak.loket || COALESCE(' (' || jejak.alamat || ')', '') AS loket, nabubg.norekening, nabubg.nama, "
    "nabubg.TANGGAL, nabubg.kode, nabubg.Jenis, nabubg.debet, nabubg.kredit, nabubg.saldo "
    "FROM nabubg LEFT JOIN jejak ON jejak.tabel = 'nabubg' AND jejak.kunci = nabubg.{key} "
    "AND jejak.tindakan IN ('setoran', 'penarikan', 'koreksi')";

const char *const kSaldoText =
    "SELECT daftar.norekening, daftar.nama, COALESCE(akhir.saldo, 0) AS saldo, akhir.TANGGAL AS TANGGAL "
    "FROM daftar {lastLedgerRow}";

// ---------------------------------------------------------------------------
// DataEnvironment

DataEnvironment::DataEnvironment(const QString &name, const QString &connectionText, QObject *parent)
    : QObject(parent), connectionText_(connectionText)
{
    setObjectName(name);
}

DataEnvironment::~DataEnvironment() = default;

QString DataEnvironment::file() const
{
    return db::describedLocation(connectionText_);
}

bool DataEnvironment::connectToDatabase()
{
    if (connection_.isOpen())
        return true;
    QString error;
    if (!connection_.open(connectionText_, &error)) {
        lastError_ = error;
        return false;
    }
    lastError_.clear();
    return true;
}

CommandSource *DataEnvironment::command(const QString &commandName) const
{
    for (CommandSource *source : commands())
        if (source->commandName().compare(commandName, Qt::CaseInsensitive) == 0)
            return source;
    return nullptr;
}

QList<CommandSource *> DataEnvironment::commands() const
{
    return findChildren<CommandSource *>(QString(), Qt::FindDirectChildrenOnly);
}

// ---------------------------------------------------------------------------
// The two environments of the program

namespace {
QPointer<DataEnvironment> &slot(const QString &name)
{
    static QPointer<DataEnvironment> de;
    static QPointer<DataEnvironment> dmn;
    return name.compare(QLatin1String("DMN"), Qt::CaseInsensitive) == 0 ? dmn : de;
}

bool known(const QString &name)
{
    return name.compare(QLatin1String("DE"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1String("DMN"), Qt::CaseInsensitive) == 0;
}
} // namespace

DataEnvironment *environment(const QString &name)
{
    if (!known(name))
        return nullptr;
    QPointer<DataEnvironment> &instance = slot(name);
    if (instance)
        return instance;
    const QString connectionText = db::environmentConnectionText();
    // Owned by the application, so it lives until the program ends.
    if (name.compare(QLatin1String("DE"), Qt::CaseInsensitive) == 0) {
        instance = new DataEnvironment(QStringLiteral("DE"), connectionText, QCoreApplication::instance());
        new CommandSource(instance, QStringLiteral("rsNASABAH"), QStringLiteral("NASABAH"),
                          CommandSource::Type::Table, QString::fromLatin1(kNasabahCommandText),
                          QStringLiteral("daftar"));
    } else {
        instance = new DataEnvironment(QStringLiteral("DMN"), connectionText, QCoreApplication::instance());
        new CommandSource(instance, QStringLiteral("rsCommand2"), QStringLiteral("Command2"),
                          CommandSource::Type::Statement, QString::fromLatin1(kCommand2Text),
                          QStringLiteral("nabubg"), QStringLiteral("nabubg"));
        auto *saldo = new CommandSource(instance, QStringLiteral("rsSALDO"), QStringLiteral("SALDO"),
                                        CommandSource::Type::Statement, QString::fromLatin1(kSaldoText),
                                        QStringLiteral("nabubg"));
        saldo->setOrder({QStringLiteral("norekening")});
        auto *harian = new CommandSource(instance, QStringLiteral("rsHARIAN"), QStringLiteral("HARIAN"),
                                         CommandSource::Type::Statement, QString::fromLatin1(kHarianText),
                                         QStringLiteral("nabubg"), QStringLiteral("nabubg"));
        // The time of the posting as the counter's clock showed it.
        harian->addComputedColumn(QStringLiteral("jam"), {QStringLiteral("waktu"), QStringLiteral("zona")},
                                  [](const QVector<QVariant> &from) {
                                      const QDateTime local = audit::localTime(from.at(0).toString(),
                                                                               from.at(1).toString());
                                      return local.isValid() ? QVariant(local.toString(QStringLiteral("HH:mm:ss")))
                                                             : QVariant();
                                  });
    }
    // A connection that cannot be opened now is tried again at the next reading,
    // which tells the operator why.
    instance->connectToDatabase();
    return instance;
}

DataEnvironment *DE()
{
    return environment(QStringLiteral("DE"));
}

DataEnvironment *DMN()
{
    return environment(QStringLiteral("DMN"));
}

void closeEnvironments()
{
    for (const char *name : {"DE", "DMN"})
        delete slot(QString::fromLatin1(name)).data();
}

} // namespace dataenv
