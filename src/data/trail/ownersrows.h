#pragma once

#include "data/base/outcome.h"

#include <QByteArrayView>
#include <QSqlDatabase>
#include <QString>
#include <functional>
#include <vector>

// The rows of the audit trail that only the owner's tools write: a supervisor's
// acceptance of a break (putus diterima), an import (impor), the trail's
// installation (pasang jejak), a move (pindah) and the operators' changes
// (operator tambah, operator hapus, operator reset). Such a row covers ledger
// rows, names known breaks or vouches for copied rows, so it counts only when
// the owner wrote it:
// - its peran is the role that owns the tables (a server seals every row with
//   the role of the session that wrote it);
// - or it has no peran: written in a file (which has no roles), or on a server
//   by the owner with the sealing rule lifted (only the owner can lift it);
// - or it lies in the trail a move (one the owner wrote) copied, whose rows keep
//   the peran of their source: honoured unless that peran is an operator's role,
//   the operators' group or the lookup role (<database>_op_N, _operator, _masuk).
namespace audit {

bool ownersOnly(QByteArrayView tindakan);

struct OwnersRow {
    qint64 nomor = 0;
    QString tindakan, peran, rincian; // a null peran: none
};

// Judges the rows (given in chain order), newest first: `honoured` is told each
// row the owner wrote, `refused` each other, with the owner's role (empty in a file).
Outcome judgeOwnersRows(QSqlDatabase &database, const std::vector<OwnersRow> &rows,
                        const std::function<void(const OwnersRow &)> &honoured,
                        const std::function<void(const OwnersRow &, const QString &owner)> &refused);

} // namespace audit
