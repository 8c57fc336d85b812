#include "common/commandline.h"

#include <QRegularExpression>

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QTranslator>

namespace cli {

namespace {

// Qt's own words in QCommandLineParser, and what the operator reads instead.
class ParserTexts : public QTranslator
{
public:
    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char * /*disambiguation*/,
                      int /*n*/) const override
    {
        if (qstrcmp(context, "QCommandLineParser") != 0)
            return QString(); // a null text: Qt's own words stay
        static const QHash<QByteArray, QString> texts = {
            {"Usage: %1", QStringLiteral("Pemakaian: %1")},
            {"[options]", QStringLiteral("[opsi]")},
            {"Options:", QStringLiteral("Opsi:")},
            {"Arguments:", QStringLiteral("Argumen:")},
            {"Displays help on commandline options.", QStringLiteral("Tampilkan bantuan ini.")},
            {"Displays help including Qt specific options.",
             QStringLiteral("Tampilkan bantuan ini beserta opsi umum Qt.")},
            {"Displays version information.", QStringLiteral("Tampilkan versi program.")},
            {"Unknown option '%1'.", QStringLiteral("Opsi '%1' tidak dikenal.")},
            {"Unknown options: %1.", QStringLiteral("Opsi tidak dikenal: %1.")},
            {"Missing value after '%1'.", QStringLiteral("Nilai untuk '%1' tidak ada.")},
            {"Unexpected value after '%1'.", QStringLiteral("'%1' tidak memerlukan nilai.")},
        };
        return texts.value(QByteArray(sourceText));
    }
};

// A folder of the installation, from the folder of the programs: the relative
// path is fixed when the tools are built, so an installation under any prefix
// (the package's /usr, or /usr/local) finds its own files.
QString installed(const char *fromPrograms, const QString &name)
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' + QLatin1String(fromPrograms) + u'/' + name);
}

} // namespace

void useIndonesian()
{
    static ParserTexts texts;
    QCoreApplication::installTranslator(&texts);
}

QString privateProgram(const QString &name) { return installed(SIMPARO_LIBEXEC_FROM_BIN, name); }

QString adminPage(const QString &name) { return installed(SIMPARO_DOC_FROM_BIN, QStringLiteral("admin/") + name); }

QString shellWord(const QString &word)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./:@%+=,-]+$"));
    if (plain.match(word).hasMatch())
        return word;
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

} // namespace cli
