#pragma once

#include <QString>
#include <optional>

// The head of the audit trail (its last row's number and seal) as simparo-verify
// and simparo-backup last saw it, kept outside the database in a file of the
// user's own, one for each database: a chain cut short or rewritten since (the
// newest rows deleted with the rules lifted, say) is then found even when what
// is left holds together. The files lie in $XDG_STATE_HOME/simparo/kepala
// (~/.local/state/simparo/kepala), the folder 0700, each file 0600.
namespace trailhead {

struct Head {
    qint64 nomor = 0;
    QString segel;
    QString seen; // when it was seen (local time, as a person reads it)
};

// The identity of a database for its head: a file's canonical name, else the
// location as messages name it (the server and service).
QString identityOfFile(const QString &file);
// The file that keeps the head of a database.
QString fileFor(const QString &identity);
// The head kept for a database; nothing when none is kept yet. False, with the
// message, when the file is there but cannot be read.
bool load(const QString &identity, std::optional<Head> *head, QString *error);
// Keeps this head for the database in place of the one kept before.
bool save(const QString &identity, const Head &head, QString *error);

} // namespace trailhead
