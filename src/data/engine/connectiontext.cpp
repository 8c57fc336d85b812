#include "data/engine/connectiontext.h"

#include "data/engine/dialect.h"
#include "data/engine/messages.h"
#include "data/base/privatefiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace db {

const char *const kConnectionText =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\SKRIP\\asli.mdb;Persist Security Info=False";
const char *const kEnvironmentConnectionText =
    "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\SKRIP\\asli.mdb;Persist Security Info=False;";
const char *const kServerProvider = "PostgreSQL";

namespace {
QString g_siteSettingFile;
constexpr qint64 kSettingFileLimit = 4096;
} // namespace

QStringList settingFiles()
{
#ifdef Q_OS_WIN
    const QString own = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString site = qEnvironmentVariable("ProgramData", QStringLiteral("C:/ProgramData"));
#else
    QString own = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (own.isEmpty() || !QDir::isAbsolutePath(own))
        own = QDir::homePath() + QStringLiteral("/.config");
    const QString site = QStringLiteral("/etc");
#endif
    return {own + QStringLiteral("/simparo/koneksi"),
            g_siteSettingFile.isEmpty() ? site + QStringLiteral("/simparo/koneksi") : g_siteSettingFile};
}

Setting currentSetting()
{
    for (const QString &path : settingFiles()) {
        // One line of a few dozen characters: only a regular file of at most 4 KB is
        // read (a FIFO at its name would wait for a writer for good, a file of
        // megabytes would be read and split for minutes).
        QByteArray content;
        QString reason;
        const privatefiles::SmallFile read = privatefiles::readSmallFile(path, kSettingFileLimit, &content, &reason);
        if (read == privatefiles::SmallFile::Missing)
            continue;
        Setting setting{path, {}, {}};
        if (read == privatefiles::SmallFile::Refused) {
            setting.problem = reason;
            return setting;
        }
        QStringList lines;
        for (const QString &line : QString::fromUtf8(content).split(u'\n')) {
            const QString text = line.trimmed();
            if (!text.isEmpty() && !text.startsWith(u'#'))
                lines << text;
        }
        setting.text = lines.join(u'\n');
        return setting;
    }
    return {};
}

QString settingFile()
{
    return currentSetting().file;
}

QString connectionText()
{
    const Setting setting = currentSetting();
    return setting.file.isEmpty() ? QString::fromLatin1(kConnectionText) : setting.text;
}

QString environmentConnectionText()
{
    const Setting setting = currentSetting();
    return setting.file.isEmpty() ? QString::fromLatin1(kEnvironmentConnectionText) : setting.text;
}

void setSiteSettingFileForTesting(const QString &file)
{
    g_siteSettingFile = file;
}

QString connectionProblemText(const QString &connectionText, const QString &problem)
{
    const Setting setting = currentSetting();
    if (!setting.file.isEmpty() && (setting.text == connectionText || !setting.problem.isEmpty()))
        return settingProblemText(setting.file, setting.problem.isEmpty() ? problem : setting.problem);
    return invalidConnectionText(problem);
}

std::optional<QString> checkedConnectionText(QString *error)
{
    const QString text = connectionText();
    QString problem;
    if (!checkConnectionText(text, &problem)) {
        *error = connectionProblemText(text, problem);
        return std::nullopt;
    }
    return text;
}

QString connectionValue(const QString &connectionText, const QString &key)
{
    const QStringList parts = connectionText.split(u';', Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const int eq = part.indexOf(u'=');
        if (eq < 0)
            continue;
        if (part.left(eq).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1).trimmed();
    }
    return {};
}

bool checkConnectionText(const QString &connectionText, QString *problem)
{
    if (connectionText.trimmed().isEmpty()) {
        *problem = QStringLiteral("tidak ada teks koneksi");
        return false;
    }
    if (connectionText.contains(u'\n')) {
        *problem = QStringLiteral("ada lebih dari satu baris koneksi");
        return false;
    }
    static const QStringList known = {QStringLiteral("provider"), QStringLiteral("data source"),
                                      QStringLiteral("persist security info")};
    static const QStringList secrets = {QStringLiteral("password"), QStringLiteral("pwd"), QStringLiteral("user id"),
                                        QStringLiteral("uid"), QStringLiteral("user")};
    for (const QString &part : connectionText.split(u';', Qt::SkipEmptyParts)) {
        if (part.trimmed().isEmpty())
            continue;
        const int eq = part.indexOf(u'=');
        if (eq <= 0) {
            *problem = QStringLiteral("bagian \"%1\" bukan KUNCI=NILAI").arg(part.trimmed());
            return false;
        }
        const QString key = part.left(eq).trimmed().toLower();
        if (secrets.contains(key)) {
            *problem = QStringLiteral("\"%1\" tidak boleh ditulis di sini: role ada di pg_service.conf, "
                                      "password di .pgpass")
                           .arg(part.left(eq).trimmed());
            return false;
        }
        if (!known.contains(key)) {
            *problem = QStringLiteral("kunci \"%1\" tidak dikenal").arg(part.left(eq).trimmed());
            return false;
        }
    }
    const QString provider = connectionValue(connectionText, QStringLiteral("Provider"));
    const QString source = connectionValue(connectionText, QStringLiteral("Data Source"));
    const Dialect *engine = dialectNamed(provider);
    if (!engine) {
        *problem = provider.isEmpty() ? QStringLiteral("Provider tidak ada")
                                      : QStringLiteral("Provider \"%1\" tidak dikenal (untuk server: PostgreSQL)").arg(provider);
        return false;
    }
    if (source.isEmpty()) {
        *problem = QStringLiteral("Data Source tidak ada");
        return false;
    }
    return engine->checkSource(source, problem);
    return true;
}

QString fileFromConnectionText(const QString &connectionText)
{
    QString source = connectionValue(connectionText, QStringLiteral("Data Source"));
    if (source.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive))
        source = source.left(source.size() - 4) + QStringLiteral(".sqlite");
#ifdef Q_OS_WIN
    return QDir::cleanPath(QDir::fromNativeSeparators(source));
#else
    if (source.startsWith(QLatin1String("C:\\"), Qt::CaseInsensitive))
        source = QDir::homePath() + u'/' + source.mid(3);
    source.replace(u'\\', u'/');
    return QDir::cleanPath(source);
#endif
}

QString describedLocation(const QString &connectionText)
{
    return dialectFor(connectionText).describedLocation(connectionText);
}

QString databaseFile()
{
    return fileFromConnectionText(QString::fromLatin1(kConnectionText));
}

QString serviceConnectionText(const QString &service)
{
    return QStringLiteral("Provider=%1;Data Source=%2").arg(QLatin1String(kServerProvider), service);
}

bool writeUserSetting(const QString &connectionText, QString *file, QString *error)
{
    *file = settingFiles().constFirst();
    QString problem;
    if (!checkConnectionText(connectionText, &problem)) {
        *error = invalidConnectionText(problem);
        return false;
    }
    const QString folder = QFileInfo(*file).absolutePath();
    QString madeFrom;
    if (!privatefiles::makeFolders(folder, &madeFrom)) {
        *error = QStringLiteral("Folder %1 tidak bisa dibuat.").arg(QDir::toNativeSeparators(folder));
        return false;
    }
    const int fd = privatefiles::createFile(AT_FDCWD, *file);
    if (fd < 0) {
        *error = errno == EEXIST ? QStringLiteral("Sudah ada file %1; file itu tidak ditimpa.")
                                       .arg(QDir::toNativeSeparators(*file))
                                 : QStringLiteral("File %1 tidak bisa dibuat.").arg(QDir::toNativeSeparators(*file));
        privatefiles::removeMadeFolders(folder, madeFrom);
        return false;
    }
    const QByteArray text = "# Pengaturan koneksi SIMPARO (tanpa password: password ada di .pgpass)\n"
                            + connectionText.toUtf8() + '\n';
    qsizetype written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + written, size_t(text.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    const bool ok = written == text.size() && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
        ::unlink(QFile::encodeName(*file).constData());
        privatefiles::removeMadeFolders(folder, madeFrom);
        *error = QStringLiteral("File %1 tidak bisa ditulis.").arg(QDir::toNativeSeparators(*file));
        return false;
    }
    return true;
}

} // namespace db
