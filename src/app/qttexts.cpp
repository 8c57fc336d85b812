#include "qttexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTranslator>

bool useIndonesianQtTexts()
{
    static QTranslator *installed = nullptr;
    if (installed)
        return true;
    const QString program = QCoreApplication::applicationDirPath();
    const QString name = QStringLiteral("simparo_qt_id.qm");
    for (const QString &folder : {program + QStringLiteral("/translations"),
                                  QDir::cleanPath(program + u'/' + QLatin1String(SIMPARO_TRANSLATIONS_FROM_BIN))}) {
        const QString file = folder + u'/' + name;
        if (!QFileInfo::exists(file))
            continue;
        auto *texts = new QTranslator(QCoreApplication::instance());
        if (!texts->load(file)) {
            delete texts;
            continue;
        }
        QCoreApplication::installTranslator(texts);
        installed = texts;
        return true;
    }
    return false;
}
