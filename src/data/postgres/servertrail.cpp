#include "data/postgres/serverinternal.h"

#include "data/base/schema.h"
#include "data/base/trailnames.h"
#include "data/postgres/postgresdialect.h"
#include "data/postgres/postgresoperators.h"

// The audit trail on a server: its table, the functions that give a row its
// content and its seal, and the triggers that keep it append-only.
namespace db::serverinternal {

// The trail on a server. A trigger numbers, dates and seals every row of jejak as
// it is inserted, and fills in who wrote it (the operator of the session's role,
// else the role: what a client cannot fake) and the content of the row written,
// read by its table and key: whatever a client sends for those is overwritten,
// and a row a client sends in another's name is refused. The trigger first takes one
// lock for the whole trail, held until the transaction ends; in READ COMMITTED
// each statement after it sees every row committed before, so it reads the real
// last row and the chain cannot fork (the number's key refuses a fork as well).
// The jejak row is the last statement before the commit, so the lock is held only
// for that insert and the commit. Functions that run with the owner's rights have
// a fixed search path (the schema of the tables), so that no object of another
// schema can stand in for ours.
QStringList trailStatements()
{
    // The canonical text of audit.cpp, the same bytes: a field is '-' for NULL,
    // else its length in UTF-8 bytes, ':' and the value; amounts in whole sen,
    // rounded half away from zero; dates yyyy-MM-dd.
    const QString field = QStringLiteral("simparo_bidang(%1)");
    QStringList nabubg, daftar;
    for (const schema::Column &column : schema::nabubg().columns) {
        const QString name = column.name.toLower();
        nabubg << field.arg(column.kind == schema::Kind::Date ? QStringLiteral("to_char(%1, 'YYYY-MM-DD')").arg(name)
                            : column.kind == schema::Kind::Number ? QStringLiteral("simparo_sen(%1)").arg(name)
                                                                  : name);
    }
    for (const schema::Column &column : schema::daftar().columns)
        daftar << field.arg(column.name.toLower());
    QStringList statements{
        schema::jejakStatement(QStringLiteral("bigint"), QStringLiteral("text")),
        QStringLiteral("CREATE UNIQUE INDEX jejak_token ON jejak (token) WHERE token IS NOT NULL"),
        QStringLiteral("CREATE INDEX jejak_tabel_kunci ON jejak (tabel, kunci)"),
        QStringLiteral("CREATE INDEX jejak_waktu ON jejak (waktu)"),
        QStringLiteral("CREATE FUNCTION simparo_bidang(nilai text) RETURNS text LANGUAGE sql IMMUTABLE AS $$"
                       "SELECT CASE WHEN nilai IS NULL THEN '-' "
                       "ELSE CAST(octet_length(convert_to(nilai, 'UTF8')) AS text) || ':' || nilai END$$"),
        QStringLiteral("CREATE FUNCTION simparo_sen(nilai double precision) RETURNS text LANGUAGE sql IMMUTABLE AS $$"
                       "SELECT CASE WHEN nilai IS NULL THEN NULL "
                       "WHEN nilai * 100 BETWEEN -9.2e18 AND 9.2e18 THEN CAST(CAST(trunc(nilai * 100) "
                       "+ CASE WHEN abs(nilai * 100 - trunc(nilai * 100)) >= 0.5 THEN sign(nilai * 100) ELSE 0 END "
                       "AS bigint) AS text) "
                       "ELSE '!' || CAST(nilai AS text) END$$"),
        QStringLiteral("CREATE FUNCTION simparo_isi(nama_tabel text, kunci_baris bigint) RETURNS text "
                       "LANGUAGE plpgsql STABLE AS $$DECLARE hasil text; BEGIN "
                       "IF nama_tabel = 'nabubg' THEN SELECT %1 INTO hasil FROM nabubg WHERE %4 = kunci_baris; "
                       "ELSIF nama_tabel = 'daftar' THEN SELECT %2 INTO hasil FROM daftar WHERE %4 = kunci_baris; "
                       "ELSIF nama_tabel = 'tpassword' THEN SELECT %3 INTO hasil FROM tpassword WHERE %4 = kunci_baris; "
                       "END IF; RETURN hasil; END$$")
            .arg(nabubg.join(QStringLiteral(" || ")), daftar.join(QStringLiteral(" || ")),
                 field.arg(QStringLiteral("\"user\"")), QLatin1String(kServerKey)),
    };
    // Who wrote a row (the operator of the session's role, else the role), and the seal.
    statements << serverroles::attributionStatements() << sealFunctionStatement();
    statements << QStringList{
        QStringLiteral("CREATE TRIGGER jejak_segel BEFORE INSERT ON jejak FOR EACH ROW EXECUTE FUNCTION simparo_jejak_segel()"),
        QStringLiteral("CREATE FUNCTION simparo_hanya_ditambah() RETURNS trigger LANGUAGE plpgsql AS $$BEGIN "
                       "RAISE EXCEPTION USING MESSAGE = TG_ARGV[0], ERRCODE = 'integrity_constraint_violation'; END$$"),
        // Each function finds the tables and its helpers in the schema they were made in, and nowhere else.
        QStringLiteral("DO $$DECLARE f text; BEGIN FOREACH f IN ARRAY ARRAY['simparo_bidang(text)', "
                       "'simparo_sen(double precision)', 'simparo_isi(text, bigint)', 'simparo_jejak_operator()', "
                       "'simparo_jejak_segel()', 'simparo_hanya_ditambah()'] LOOP "
                       "EXECUTE format('ALTER FUNCTION %s SET search_path = pg_catalog, %I, pg_temp', f, current_schema()); "
                       "END LOOP; END$$"),
    };
    // Statement triggers: they refuse also a statement that would touch no row, and TRUNCATE.
    for (const auto &[table, message] : {std::pair{"nabubg", audit::kLedgerAppendOnly},
                                         std::pair{"jejak", audit::kTrailAppendOnly}})
        statements << QStringLiteral("CREATE TRIGGER %1_hanya_ditambah BEFORE UPDATE OR DELETE OR TRUNCATE ON %1 "
                                     "FOR EACH STATEMENT EXECUTE FUNCTION simparo_hanya_ditambah('%2')")
                          .arg(QLatin1String(table), QString::fromUtf8(message));
    return statements;
}

} // namespace db::serverinternal

namespace db {

// The function of the trigger that seals every row of jejak as it is inserted
// (see trailStatements()). A row that names another operator or role than the
// session's own is refused: no one writes in someone else's name. What does not
// depend on the row before (the written row's content, the client's address) is
// made before the trail's lock is taken, so that the writers wait for each other
// only while the number, the moment and the seal are made.
QString sealFunctionStatement()
{
    QStringList operatorActions;
    for (const char *action : {audit::action::kDeposit, audit::action::kWithdrawal, audit::action::kNewCustomer,
                               audit::action::kCustomerChange, audit::action::kCustomerDeletion,
                               audit::action::kPasswordChange, audit::action::kLogin, audit::action::kFailedLogin,
                               audit::action::kApproval, audit::action::kSettingChange, audit::action::kBlock,
                               audit::action::kUnblock, audit::action::kCorrection,
                               audit::action::kMonthEnd,
                               audit::action::kMonthEndTakeBack})
        operatorActions << QStringLiteral("'%1'").arg(QLatin1String(action));
    // The passbook's prints.
    for (const char *action : {audit::action::kPassbookPrint, audit::action::kPassbookReprint,
                               audit::action::kNewPassbook, audit::action::kPassbookPosition})
        operatorActions << QStringLiteral("'%1'").arg(QLatin1String(action));
    QStringList row;
    // Every column but the seal, each a text.
    const QList<schema::TrailColumn> &columns = schema::jejak();
    for (qsizetype c = 0; c + 1 < columns.size(); ++c)
        row << QStringLiteral("simparo_bidang(%1)")
                   .arg(columns.at(c).whole ? QStringLiteral("CAST(NEW.%1 AS text)").arg(columns.at(c).sql)
                                            : QStringLiteral("NEW.%1").arg(columns.at(c).sql));
    return QStringLiteral(
               "CREATE OR REPLACE FUNCTION simparo_jejak_segel() RETURNS trigger LANGUAGE plpgsql VOLATILE "
               "SECURITY DEFINER AS $$DECLARE sebelumnya text; pelaku text; BEGIN "
               "IF current_setting('transaction_isolation') <> 'read committed' THEN "
               "RAISE EXCEPTION USING MESSAGE = 'jejak hanya bisa ditambah dalam transaksi READ COMMITTED', "
               "ERRCODE = 'invalid_transaction_state'; END IF; "
               "pelaku := simparo_jejak_operator(); "
               "IF (NEW.\"operator\" IS NOT NULL AND NEW.\"operator\" IS DISTINCT FROM pelaku) "
               "OR (NEW.peran IS NOT NULL AND NEW.peran IS DISTINCT FROM CAST(session_user AS text)) THEN "
               "RAISE EXCEPTION USING MESSAGE = 'jejak hanya mencatat operator sesi ini sendiri: baris atas nama "
               "operator atau peran lain ditolak', ERRCODE = 'insufficient_privilege'; END IF; "
               // Only the owner's tools write the rows that vouch for other rows (an
               // import, a move, the trail installed, an accepted break) and those of
               // the operators; another role writes only what the screens write.
               "IF CAST(session_user AS text) IS DISTINCT FROM simparo_pemilik() "
               "AND NOT coalesce(NEW.tindakan = ANY (ARRAY[%3]), false) THEN "
               "RAISE EXCEPTION USING MESSAGE = format('jejak: tindakan %s hanya untuk pemilik database', "
               "NEW.tindakan), ERRCODE = 'insufficient_privilege'; END IF; "
               "NEW.alamat := host(inet_client_addr()); "
               "NEW.isi := simparo_isi(NEW.tabel, NEW.kunci); "
               "PERFORM pg_advisory_xact_lock(%1); "
               "NEW.nomor := NULL; "
               "SELECT j.nomor, j.segel INTO NEW.nomor, sebelumnya FROM jejak j ORDER BY j.nomor DESC LIMIT 1; "
               "NEW.nomor := coalesce(NEW.nomor, 0) + 1; "
               "NEW.waktu := to_char(clock_timestamp() AT TIME ZONE 'UTC', 'YYYY-MM-DD\"T\"HH24:MI:SS.MS\"Z\"'); "
               "NEW.\"operator\" := pelaku; "
               "NEW.peran := CAST(session_user AS text); "
               "NEW.segel := encode(sha256(decode(coalesce(sebelumnya, repeat('0', 64)), 'hex') "
               "|| convert_to(%2, 'UTF8')), 'hex'); "
               "RETURN NEW; END$$")
        .arg(QString::number(kTrailLock), row.join(QStringLiteral(" || ")), operatorActions.join(QStringLiteral(", ")));
}

} // namespace db
