-- Who may do what, put right: the group and the lookup role exist and hold
-- nothing special; every grant of the schema's tables, sequences and functions
-- to anyone but their owner goes, and only the screens' are given again; PUBLIC
-- keeps nothing of the database (connect, temporary tables) or the schema
-- (create). Then it is checked, as the server sees it, that neither role can
-- create anything: on a cluster whose schema belongs to someone else (an older
-- PostgreSQL's "public", owned by postgres) only a superuser can take that away.
DO $fn$
DECLARE
    db text := current_database();
    s text := current_schema();
    g text := simparo_kelompok_operator();
    m text := simparo_peran_masuk();
    r record;
BEGIN
    IF octet_length(db) > 40 THEN
        RAISE EXCEPTION USING MESSAGE = format('nama database %s terlalu panjang untuk nama peran operatornya '
            '(paling banyak 40 byte)', db), ERRCODE = 'name_too_long';
    END IF;
    FOR r IN SELECT n.nama, p.rolname IS NOT NULL AS ada,
                    coalesce(p.rolsuper OR p.rolcreaterole OR p.rolcreatedb OR p.rolreplication OR p.rolbypassrls, false)
                        AS lebih
             FROM (VALUES (g), (m)) AS n(nama) LEFT JOIN pg_roles p ON p.rolname = n.nama LOOP
        IF r.lebih THEN
            RAISE EXCEPTION USING MESSAGE = format('peran %s sudah ada dengan hak lebih dari yang boleh; ubah atau '
                'hapus dulu', r.nama), ERRCODE = 'insufficient_privilege';
        ELSIF NOT r.ada THEN
            EXECUTE format('CREATE ROLE %I NOLOGIN', r.nama);
        END IF;
    END LOOP;
    EXECUTE format('ALTER ROLE %I NOLOGIN', g);
    -- Neither inherits anything from another role.
    FOR r IN SELECT a.rolname AS dari, b.rolname AS siapa FROM pg_auth_members x
             JOIN pg_roles a ON a.oid = x.roleid JOIN pg_roles b ON b.oid = x.member WHERE b.rolname IN (g, m) LOOP
        EXECUTE format('REVOKE %I FROM %I', r.dari, r.siapa);
    END LOOP;
    EXECUTE format('REVOKE ALL ON DATABASE %I FROM PUBLIC', db);
    EXECUTE format('GRANT CONNECT ON DATABASE %I TO %I, %I', db, g, m);
    FOR r IN SELECT DISTINCT CASE WHEN a.grantee = 0 THEN 'PUBLIC' ELSE quote_ident(pg_get_userbyid(a.grantee)) END AS siapa
             FROM pg_namespace n CROSS JOIN LATERAL aclexplode(n.nspacl) a
             WHERE n.nspname = s AND a.grantee <> n.nspowner LOOP
        EXECUTE format('REVOKE ALL ON SCHEMA %I FROM %s', s, r.siapa);
    END LOOP;
    EXECUTE format('REVOKE ALL ON SCHEMA %I FROM PUBLIC', s);
    EXECUTE format('GRANT USAGE ON SCHEMA %I TO %I, %I', s, g, m);
    FOR r IN SELECT DISTINCT c.oid, c.relkind,
                    CASE WHEN a.grantee = 0 THEN 'PUBLIC' ELSE quote_ident(pg_get_userbyid(a.grantee)) END AS siapa
             FROM pg_class c CROSS JOIN LATERAL aclexplode(c.relacl) a
             WHERE c.relnamespace = CAST(s AS regnamespace) AND a.grantee <> c.relowner LOOP
        EXECUTE format('REVOKE ALL ON %s %s FROM %s', CASE WHEN r.relkind = 'S' THEN 'SEQUENCE' ELSE 'TABLE' END,
                       CAST(r.oid AS regclass), r.siapa);
    END LOOP;
    FOR r IN SELECT DISTINCT c.oid, CASE WHEN a.grantee = 0 THEN 'PUBLIC'
                                        ELSE quote_ident(pg_get_userbyid(a.grantee)) END AS siapa
             FROM pg_attribute t JOIN pg_class c ON c.oid = t.attrelid CROSS JOIN LATERAL aclexplode(t.attacl) a
             WHERE c.relnamespace = CAST(s AS regnamespace) AND a.grantee <> c.relowner LOOP
        EXECUTE format('REVOKE ALL ON TABLE %s FROM %s', CAST(r.oid AS regclass), r.siapa);
    END LOOP;
    EXECUTE format('REVOKE ALL ON ALL FUNCTIONS IN SCHEMA %I FROM PUBLIC', s);
    FOR r IN SELECT DISTINCT p.oid, CASE WHEN a.grantee = 0 THEN 'PUBLIC'
                                        ELSE quote_ident(pg_get_userbyid(a.grantee)) END AS siapa
             FROM pg_proc p CROSS JOIN LATERAL aclexplode(p.proacl) a
             WHERE p.pronamespace = CAST(s AS regnamespace) AND a.grantee <> p.proowner LOOP
        EXECUTE format('REVOKE ALL ON FUNCTION %s FROM %s', CAST(r.oid AS regprocedure), r.siapa);
    END LOOP;
    ALTER DEFAULT PRIVILEGES REVOKE EXECUTE ON FUNCTIONS FROM PUBLIC;
    -- The register is written only through the functions that write its trail
    -- rows; the ledger and the trail only grow. No UPDATE or DELETE anywhere, so
    -- no operator can lock a table against the others (LOCK TABLE asks for them).
    EXECUTE format('GRANT SELECT ON daftar TO %I', g);
    EXECUTE format('GRANT SELECT, INSERT ON nabubg, jejak TO %I', g);
    EXECUTE format('GRANT SELECT ("user") ON tpassword TO %I', g);
    EXECUTE format('GRANT UPDATE ON SEQUENCE simparo_flush TO %I', g);
    EXECUTE format('GRANT EXECUTE ON FUNCTION simparo_ganti_password(text, text, text, text), '
                   'simparo_kunci(text, text), simparo_jejak_bebas(), simparo_nama_sesi(), '
                   'simparo_nasabah_tambah(text[], text[], text, text), '
                   'simparo_nasabah_ubah(bigint, text[], text[], text[], text, text), '
                   'simparo_nasabah_hapus(bigint, text, text) TO %I', g);
    EXECUTE format('GRANT EXECUTE ON FUNCTION simparo_operator_cari(text), simparo_operator_pertama(), '
                   'simparo_masuk_gagal(text, text, text, text), simparo_masuk_gagal_baru(text) TO %I', m);
    -- The lookup role, whose password every counter holds, cannot fill the
    -- server with sessions, nor keep one idle for long, nor run long statements.
    EXECUTE format('ALTER ROLE %I CONNECTION LIMIT {{lookup_connections}}', m);
    EXECUTE format('ALTER ROLE %I SET statement_timeout = %L', m, '{{lookup_statement_timeout}}');
    EXECUTE format('ALTER ROLE %I SET idle_in_transaction_session_timeout = %L', m, '{{lookup_statement_timeout}}');
    EXECUTE format('ALTER ROLE %I SET idle_session_timeout = %L', m, '{{lookup_idle_timeout}}');
    -- No role but the owner may take the server's advisory locks (a lock held by
    -- a session that stays would stop every counter) or write large objects:
    -- PUBLIC's right to them is a superuser's to take away.
    IF has_function_privilege(m, 'pg_advisory_lock(bigint)', 'EXECUTE')
       OR has_function_privilege(g, 'pg_advisory_xact_lock(integer, integer)', 'EXECUTE')
       OR has_function_privilege(g, 'lo_from_bytea(oid, bytea)', 'EXECUTE')
       OR NOT has_function_privilege(current_user, 'pg_advisory_xact_lock(integer, integer)', 'EXECUTE')
       OR NOT has_function_privilege(current_user, 'pg_try_advisory_xact_lock(bigint)', 'EXECUTE') THEN
        RAISE EXCEPTION USING MESSAGE = format('semua peran di database %s masih boleh memakai kunci advisory dan '
            'large object PostgreSQL. Minta superuser menjalankan sekali, di server: '
            'simparo-initdb --superuser-sql | runuser -u postgres -- psql -X -q -d %s -f -', db, db),
            ERRCODE = 'insufficient_privilege';
    END IF;
    IF has_database_privilege(g, db, 'CREATE') OR has_database_privilege(g, db, 'TEMP')
       OR has_database_privilege(m, db, 'CREATE') OR has_database_privilege(m, db, 'TEMP')
       OR has_schema_privilege(g, s, 'CREATE') OR has_schema_privilege(m, s, 'CREATE') THEN
        RAISE EXCEPTION USING MESSAGE = format('operator masih bisa membuat objek di database %s atau skema %s: '
            'pemiliknya bukan peran ini. Minta superuser menjalankan: REVOKE ALL ON DATABASE %I FROM PUBLIC; '
            'REVOKE ALL ON SCHEMA %I FROM PUBLIC', db, s, db, s), ERRCODE = 'insufficient_privilege';
    END IF;
END$fn$;
