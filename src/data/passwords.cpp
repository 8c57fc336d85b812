#include "passwords.h"

#include <sodium.h>

namespace passwords {

namespace {
// Argon2id with 2 passes over 19 MiB: the widely recommended minimum for
// interactive logins, light enough for a clerk's desktop.
constexpr unsigned long long kOpsLimit = 2;
constexpr size_t kMemLimit = 19u * 1024u * 1024u;

bool ready()
{
    static const bool initialised = sodium_init() >= 0;
    return initialised;
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

bool matches(const QString &typed, const QString &stored)
{
    if (!isHash(stored))
        return typed == stored;
    if (!ready())
        return false;
    const QByteArray utf8 = typed.toUtf8();
    const QByteArray stored8 = stored.toLatin1();
    return crypto_pwhash_str_verify(stored8.constData(), utf8.constData(),
                                    static_cast<unsigned long long>(utf8.size())) == 0;
}

} // namespace passwords
