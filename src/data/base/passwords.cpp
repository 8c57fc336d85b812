#include "data/base/passwords.h"

#include <QRegularExpression>
#include <sodium.h>

namespace passwords {

namespace {
// Argon2id with 2 passes over 19 MiB: the widely recommended minimum for
// interactive logins, light enough for a clerk's desktop.
constexpr unsigned long long kOpsLimit = 2;
constexpr size_t kMemLimit = 19u * 1024u * 1024u;
// A stored hash may cost up to this many times the program's own (a hash made by
// a later version with stronger settings); beyond that it is taken as damaged.
constexpr qint64 kMostTimes = 4;

bool ready()
{
    static const bool initialised = sodium_init() >= 0;
    return initialised;
}

// True when the cost a hash names (m= KiB of memory, t= passes, p= lanes) is
// within kMostTimes of the program's own, and the string is of libsodium's form.
bool withinCost(const QString &stored)
{
    static const QRegularExpression form(
        QStringLiteral("^\\$argon2id\\$v=19\\$m=(\\d{1,10}),t=(\\d{1,10}),p=(\\d{1,10})\\$[A-Za-z0-9+/]+\\$[A-Za-z0-9+/]+$"));
    const QRegularExpressionMatch match = form.match(stored);
    if (!match.hasMatch())
        return false;
    const qint64 memory = match.captured(1).toLongLong();
    const qint64 passes = match.captured(2).toLongLong();
    const qint64 lanes = match.captured(3).toLongLong();
    return memory >= 1 && passes >= 1 && lanes >= 1 && memory <= kMostTimes * qint64(kMemLimit / 1024)
        && passes <= kMostTimes * qint64(kOpsLimit) && lanes <= kMostTimes;
}
} // namespace

QString hash(const QString &password)
{
    if (!ready())
        return {};
    const QByteArray utf8 = password.toUtf8();
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()), kOpsLimit,
                              kMemLimit, crypto_pwhash_ALG_ARGON2ID13) != 0)
        return {};
    return QString::fromLatin1(out);
}

bool isHash(const QString &stored)
{
    return stored.startsWith(QLatin1String("$argon2id$"));
}

Verdict check(const QString &typed, const QString &stored)
{
    if (!isHash(stored))
        return typed == stored ? Verdict::Right : Verdict::Wrong;
    if (!withinCost(stored))
        return Verdict::Damaged;
    if (!ready())
        return Verdict::Wrong;
    const QByteArray utf8 = typed.toUtf8();
    const QByteArray stored8 = stored.toLatin1();
    return crypto_pwhash_str_verify(stored8.constData(), utf8.constData(), static_cast<unsigned long long>(utf8.size()))
            == 0
        ? Verdict::Right
        : Verdict::Wrong;
}

bool matches(const QString &typed, const QString &stored)
{
    return check(typed, stored) == Verdict::Right;
}

QString damagedText(const QString &user)
{
    return QStringLiteral("Password tersimpan untuk user \"%1\" rusak (hash di luar batas program), jadi tidak "
                          "diperiksa. Minta petugas TI mengatur ulang passwordnya: simparo-operator reset NAMA.")
        .arg(user);
}

} // namespace passwords
