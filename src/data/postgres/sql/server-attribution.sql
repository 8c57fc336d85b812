-- Who writes a jejak row: the owner of the program's tables, the operators' group
-- and lookup roles, and the operator of the session's role. Part of the trail's statements.

-- The owner of the program's tables: the role whose tools may write what no
-- operator may (an import, a move, an accepted break, the operators).
CREATE OR REPLACE FUNCTION simparo_pemilik() RETURNS text LANGUAGE sql STABLE AS $fn$SELECT CAST(pg_get_userbyid(c.relowner) AS text) FROM pg_class c WHERE c.oid = CAST('jejak' AS regclass)$fn$;

CREATE OR REPLACE FUNCTION simparo_kelompok_operator() RETURNS text LANGUAGE sql STABLE AS $fn$SELECT CAST(current_database() AS text) || '_operator'$fn$;

CREATE OR REPLACE FUNCTION simparo_peran_masuk() RETURNS text LANGUAGE sql STABLE AS $fn$SELECT CAST(current_database() AS text) || '_masuk'$fn$;

CREATE OR REPLACE FUNCTION simparo_peran_operator(kunci_baris bigint) RETURNS text LANGUAGE sql STABLE AS $fn$SELECT CAST(current_database() AS text) || '_op_' || kunci_baris$fn$;

-- The key of the operator whose role the session logged in as; NULL when
-- the session's role is no operator's (the owner, the lookup role, another).
CREATE OR REPLACE FUNCTION simparo_kunci_sesi() RETURNS bigint
LANGUAGE plpgsql STABLE AS $fn$
DECLARE
    awalan text := CAST(current_database() AS text) || '_op_';
    peran text := CAST(session_user AS text);
    sisa text;
BEGIN
    IF left(peran, length(awalan)) <> awalan THEN
        RETURN NULL;
    END IF;
    sisa := substr(peran, length(awalan) + 1);
    IF sisa !~ '^[1-9][0-9]{0,17}$' OR NOT EXISTS (
        SELECT FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid JOIN pg_roles r ON r.oid = m.member
        WHERE g.rolname = simparo_kelompok_operator() AND r.rolname = peran) THEN
        RETURN NULL;
    END IF;
    RETURN CAST(sisa AS bigint);
END$fn$;

-- Who writes a jejak row: the user name of the session's operator, else the session's role.
CREATE OR REPLACE FUNCTION simparo_jejak_operator() RETURNS text
LANGUAGE plpgsql STABLE AS $fn$
DECLARE
    kunci_sesi bigint := simparo_kunci_sesi();
    nama text;
BEGIN
    IF kunci_sesi IS NOT NULL THEN
        SELECT t."user" INTO nama FROM tpassword t WHERE t.simparo_key = kunci_sesi;
        IF nama IS NOT NULL THEN
            RETURN nama;
        END IF;
    END IF;
    RETURN CAST(session_user AS text);
END$fn$;
