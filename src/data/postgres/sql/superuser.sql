-- Run once by a superuser in the SIMPARO database, and again in a database a
-- backup is restored into: PUBLIC may not take the server's advisory locks (a
-- lock held by a session that stays would stop every counter), nor write large
-- objects or messages into the server's log of changes (a single statement could
-- fill its disk). The database's owner keeps the locks, which the program's own
-- functions take for the operators.
DO $fn$
DECLARE
    pemilik text := (SELECT pg_get_userbyid(d.datdba) FROM pg_database d WHERE d.datname = current_database());
    f record;
BEGIN
    FOR f IN SELECT CAST(p.oid AS regprocedure) AS fungsi, p.proname LIKE '%advisory%' AS kunci FROM pg_proc p
             WHERE p.pronamespace = CAST('pg_catalog' AS regnamespace)
               AND (p.proname LIKE 'pg\_advisory\_%' OR p.proname LIKE 'pg\_try\_advisory\_%'
                    OR p.proname LIKE 'lo\_%' OR p.proname IN ('loread', 'lowrite', 'pg_logical_emit_message')) LOOP
        EXECUTE format('REVOKE EXECUTE ON FUNCTION %s FROM PUBLIC', f.fungsi);
        IF f.kunci THEN
            EXECUTE format('GRANT EXECUTE ON FUNCTION %s TO %I', f.fungsi, pemilik);
        END IF;
    END LOOP;
END$fn$;
