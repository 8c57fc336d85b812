-- Roles of operators whose row is gone go (an older database of the same name
-- on this cluster, a removal that failed half-way); the group keeps no one but
-- the operators of the rows.
DO $fn$
DECLARE
    awalan text := CAST(current_database() AS text) || '_op_';
    g text := simparo_kelompok_operator();
    r record;
BEGIN
    FOR r IN SELECT p.rolname FROM pg_roles p
             WHERE left(p.rolname, length(awalan)) = awalan
               AND substr(p.rolname, length(awalan) + 1) ~ '^[1-9][0-9]{0,17}$'
               AND NOT EXISTS (SELECT FROM tpassword t
                               WHERE CAST(t.simparo_key AS text) = substr(p.rolname, length(awalan) + 1)) LOOP
        PERFORM simparo_buang_peran(CAST(r.rolname AS text));
    END LOOP;
    FOR r IN SELECT b.rolname FROM pg_auth_members x JOIN pg_roles a ON a.oid = x.roleid
             JOIN pg_roles b ON b.oid = x.member
             WHERE a.rolname = g AND NOT EXISTS (SELECT FROM tpassword t
                                                 WHERE simparo_peran_operator(t.simparo_key) = b.rolname) LOOP
        EXECUTE format('REVOKE %I FROM %I', g, r.rolname);
    END LOOP;
END$fn$;
