#include "data/postgres/serversettings.h"

#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <libpq-fe.h>
#include <sys/stat.h>

namespace db::serversettings {

namespace {

// Asked of libpq with its options: a value it refuses after it has read every
// setting and before it contacts anything, so the attempt ends there; and a
// password, so that it does not read the password file for this.
const char *const kStopBeforeConnecting = "target_session_attrs=simparo-stop password=simparo-stop";

// A service's section, as libpq reads it: the first file that has the section,
// the first section of that name in it, and in it the first line of each keyword.
struct Section {
    QString file;
    int line = 0;
    QHash<QString, int> keywordLines;
};

// Reads a service file line by line as libpq does: blanks around a line ignored,
// "#" starts a comment, "[name]" starts a section, and in the section the text
// before the first "=" is the keyword, exactly as written.
bool findSection(const QString &path, const QString &service, Section *section)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    bool inSection = false;
    int number = 0;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        ++number;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith('[')) {
            if (inSection)
                break;
            const QByteArray name = service.toUtf8();
            inSection = line.mid(1, name.size()) == name && line.size() > name.size() + 1 && line.at(name.size() + 1) == ']';
            if (inSection)
                *section = Section{path, number, {}};
            continue;
        }
        const int equals = line.indexOf('=');
        if (inSection && equals > 0) {
            const QString keyword = QString::fromUtf8(line.left(equals));
            if (!section->keywordLines.contains(keyword))
                section->keywordLines.insert(keyword, number);
        }
    }
    return section->line > 0;
}

std::optional<Section> sectionOf(const QString &service)
{
    for (const QString &path : serviceFiles()) {
        Section section;
        if (findSection(path, service, &section))
            return section;
    }
    return std::nullopt;
}

// Where the sslmode of a service comes from, in libpq's order: the service's
// own line, then PGSSLMODE, then PGREQUIRESSL=1 (read as require), then libpq's default.
SettingOrigin sslmodeOrigin(const QString &service)
{
    const std::optional<Section> section = sectionOf(service);
    SettingOrigin origin;
    if (section) {
        origin.file = section->file;
        origin.line = section->keywordLines.value(QStringLiteral("sslmode"), section->line);
        origin.missing = !section->keywordLines.contains(QStringLiteral("sslmode"));
    }
    if (origin.missing || !section) {
        if (qEnvironmentVariableIsSet("PGSSLMODE"))
            origin.variable = QStringLiteral("PGSSLMODE");
        else if (qEnvironmentVariable("PGREQUIRESSL").startsWith(u'1'))
            origin.variable = QStringLiteral("PGREQUIRESSL");
    }
    return origin;
}

bool isLoopback(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    // 127.0.0.0/8 and ::1, written as addresses.
    const QByteArray text = host.toLatin1();
    in_addr four{};
    in6_addr six{};
    if (::inet_pton(AF_INET, text.constData(), &four) == 1)
        return (ntohl(four.s_addr) >> 24) == 127;
    return ::inet_pton(AF_INET6, text.constData(), &six) == 1 && IN6_IS_ADDR_LOOPBACK(&six);
}

} // namespace

QStringList serviceFiles()
{
    QStringList files;
    const QString own = qEnvironmentVariable("PGSERVICEFILE");
    files << (own.isEmpty() ? QDir::homePath() + QStringLiteral("/.pg_service.conf") : own);
    const QString system = qEnvironmentVariable("PGSYSCONFDIR");
    files << (system.isEmpty() ? QStringLiteral("/etc/postgresql-common") : system) + QStringLiteral("/pg_service.conf");
    return files;
}

bool defined(const QString &service)
{
    return sectionOf(service).has_value();
}

Settings read(const QString &options)
{
    Settings settings;
    const QByteArray text = options.toUtf8() + ' ' + kStopBeforeConnecting;
    PGconn *connection = PQconnectStart(text.constData());
    if (!connection) {
        settings.problem = QStringLiteral("out of memory");
        return settings;
    }
    const QString message = QString::fromUtf8(PQerrorMessage(connection)).trimmed();
    if (!message.contains(QLatin1String("simparo-stop")))
        settings.problem = message;
    if (PQconninfoOption *all = PQconninfo(connection)) {
        for (const PQconninfoOption *option = all; option->keyword; ++option)
            if (option->val && qstrcmp(option->keyword, "password") != 0)
                settings.values.insert(QString::fromUtf8(option->keyword), QString::fromUtf8(option->val));
        PQconninfoFree(all);
    }
    PQfinish(connection);
    return settings;
}

std::optional<QString> weakTls(const QString &service, const Settings &settings)
{
    // Options libpq refuses by itself never reach a server.
    if (!settings.problem.isEmpty())
        return std::nullopt;
    // Each host in turn, as libpq tries them: an address (hostaddr) is reached
    // through the network; a host name, unless it is a socket's folder (or none,
    // the default socket).
    const QStringList hosts = settings.value(QStringLiteral("host")).split(u',');
    const QStringList addresses = settings.value(QStringLiteral("hostaddr")).split(u',');
    QString remote;
    for (qsizetype i = 0; i < std::max(hosts.size(), addresses.size()) && remote.isEmpty(); ++i) {
        const QString host = hosts.value(i).trimmed();
        const QString address = addresses.value(i).trimmed();
        if (!address.isEmpty())
            remote = isLoopback(address) ? QString() : host.isEmpty() ? address : QStringLiteral("%1 (%2)").arg(host, address);
        else if (!host.isEmpty() && !host.startsWith(u'/') && !host.startsWith(u'@') && !isLoopback(host))
            remote = host;
    }
    const QString mode = settings.value(QStringLiteral("sslmode"));
    if (remote.isEmpty() || mode == QLatin1String("verify-full"))
        return std::nullopt;
    return weakTlsText(service, remote, mode, sslmodeOrigin(service));
}

QString passwordFileProblem(const QString &file)
{
    struct stat status {};
    if (file.isEmpty() || ::stat(QFile::encodeName(file).constData(), &status) != 0)
        return {};
    if (!S_ISREG(status.st_mode))
        return QStringLiteral("bukan file biasa");
    if (status.st_mode & (S_IRWXG | S_IRWXO))
        return QStringLiteral("grup atau pengguna lain boleh membacanya: hak aksesnya %1, seharusnya 0600")
            .arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
    return {};
}

QString passwordFile(const Settings &settings)
{
    const QString named = settings.value(QStringLiteral("passfile"));
    return named.isEmpty() ? QDir::homePath() + QStringLiteral("/.pgpass") : named;
}

QString rootCertificate(const Settings &settings)
{
    const QString named = settings.value(QStringLiteral("sslrootcert"));
    return named.isEmpty() ? QDir::homePath() + QStringLiteral("/.postgresql/root.crt") : named;
}

} // namespace db::serversettings
