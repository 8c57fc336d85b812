#include "data/trail/trailhead.h"

#include "data/base/privatefiles.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace trailhead {

namespace {
constexpr qint64 kFileLimit = 4096;

QString folder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/simparo/kepala");
}
} // namespace

QString identityOfFile(const QString &file)
{
    const QFileInfo info(file);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

QString fileFor(const QString &identity)
{
    const QByteArray hash = QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex();
    return folder() + u'/' + QString::fromLatin1(hash.left(32));
}

bool load(const QString &identity, std::optional<Head> *head, QString *error)
{
    head->reset();
    const QString file = fileFor(identity);
    QByteArray content;
    QString reason;
    switch (privatefiles::readSmallFile(file, kFileLimit, &content, &reason)) {
    case privatefiles::SmallFile::Missing:
        return true;
    case privatefiles::SmallFile::Refused:
        *error = QStringLiteral("File kepala jejak %1 tidak terbaca: %2.").arg(QDir::toNativeSeparators(file), reason);
        return false;
    case privatefiles::SmallFile::Read:
        break;
    }
    Head kept;
    QString database;
    bool numbered = false;
    for (const QString &line : QString::fromUtf8(content).split(u'\n')) {
        const qsizetype at = line.indexOf(u'=');
        const QString key = line.left(at), value = line.mid(at + 1);
        if (at <= 0)
            continue;
        if (key == QLatin1String("database"))
            database = value;
        else if (key == QLatin1String("nomor"))
            kept.nomor = value.toLongLong(&numbered);
        else if (key == QLatin1String("segel"))
            kept.segel = value;
        else if (key == QLatin1String("dilihat"))
            kept.seen = value;
    }
    if (database != identity || !numbered || kept.nomor < 1 || kept.segel.isEmpty()) {
        *error = QStringLiteral("File kepala jejak %1 tidak sah (bukan milik database %2 atau rusak).\n"
                                "Periksa atau hapus file itu, lalu ulangi.")
                     .arg(QDir::toNativeSeparators(file), identity);
        return false;
    }
    *head = kept;
    return true;
}

bool save(const QString &identity, const Head &head, QString *error)
{
    const QString seen = head.seen.isEmpty() ? QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                             : head.seen;
    const QString text = QStringLiteral("# Kepala jejak audit yang terakhir dilihat simparo-verify atau simparo-backup\n"
                                        "database=%1\nnomor=%2\nsegel=%3\ndilihat=%4\n")
                             .arg(identity)
                             .arg(head.nomor)
                             .arg(head.segel, seen);
    return privatefiles::replaceFile(fileFor(identity), text.toUtf8(), error);
}

} // namespace trailhead
