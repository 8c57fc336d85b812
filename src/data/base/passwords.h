#pragma once

#include <QString>

// Operator passwords. Every password the program writes is a salted Argon2id
// hash; a stored value that is not such a hash is an older clear-text row and is
// compared exactly, letter case significant, nothing trimmed.
namespace passwords {

// The stored password of an operator who has none usable yet (one brought over
// from a server, whose hashes do not travel): it has the form of a hash, so it is
// never compared as clear text, and it is no valid hash, so no typed password
// matches it. Only a new password, set for him, lets him log in.
inline constexpr char kUnusable[] = "$argon2id$belum-ada-password";

// A salted Argon2id hash of the password in libsodium's string form, or an empty
// text when no memory could be had for hashing.
QString hash(const QString &password);

// True when the stored value is a hash this program writes.
bool isHash(const QString &stored);

// What a typed password is to a stored value.
enum class Verdict {
    Right,
    Wrong,
    // A hash that cannot be the program's own: its cost (memory, passes, lanes) is
    // more than four times the program's, or unreadable. It is not verified: a
    // hash made to cost gigabytes or hours would freeze the login for that long.
    Damaged,
};
Verdict check(const QString &typed, const QString &stored);

// True when the typed password matches the stored value (hash or older clear text).
bool matches(const QString &typed, const QString &stored);

// The operator's message for a stored hash that is damaged.
QString damagedText(const QString &user);

} // namespace passwords
