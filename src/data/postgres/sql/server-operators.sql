-- The functions of the operators: what an operator and the lookup role may run, each
-- with the owner's rights and a fixed search path. The key column of tpassword on a
-- server is simparo_key.

-- A value in a line of a jejak row's details, escaped as audit::detail() does.
CREATE OR REPLACE FUNCTION simparo_rincian(nilai text) RETURNS text
LANGUAGE sql IMMUTABLE AS $fn$
SELECT replace(replace(replace(nilai, E'\\', E'\\\\'), E'\n', E'\\n'), E'\r', E'\\r')$fn$;

-- A failed login of a name that exists (or of none), recorded by the lookup role.
CREATE OR REPLACE FUNCTION simparo_masuk_gagal(nama text, sebab text, zona_loket text,
    nama_loket text) RETURNS void LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
BEGIN
    IF sebab IS NULL OR sebab NOT IN ('password salah', 'user tidak ada') THEN
        RAISE EXCEPTION USING MESSAGE = 'sebab gagal masuk tidak dikenal', ERRCODE = 'invalid_parameter_value';
    END IF;
    IF nama IS NOT NULL AND NOT EXISTS (SELECT FROM tpassword t WHERE t."user" = nama) THEN
        RAISE EXCEPTION USING MESSAGE = 'gagal masuk hanya dicatat untuk user yang ada',
            ERRCODE = 'invalid_parameter_value';
    END IF;
    IF zona_loket IS NULL OR zona_loket !~ '^[+-][0-9]{2}:[0-9]{2}$' OR length(nama_loket) > 255 THEN
        RAISE EXCEPTION USING MESSAGE = 'zona atau nama loket tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
    INSERT INTO jejak (zona, loket, tindakan, rincian) VALUES (zona_loket, nama_loket, 'masuk gagal',
        CASE WHEN nama IS NULL THEN '' ELSE 'user=' || simparo_rincian(nama) || E'\n' END || 'sebab=' || sebab);
END$fn$;

-- The failed logins of a name within the window of the back-off. The window's
-- start is the statement's moment (a stable value: the moment index finds the
-- window's rows; the clock's volatile value would read the whole trail).
CREATE OR REPLACE FUNCTION simparo_masuk_gagal_baru(nama text) RETURNS integer
LANGUAGE sql VOLATILE SECURITY DEFINER AS $fn$
SELECT CAST(count(*) AS integer) FROM jejak j
WHERE j.waktu >= to_char((statement_timestamp() - make_interval(secs => {{failed_login_window}})) AT TIME ZONE 'UTC',
                         'YYYY-MM-DD"T"HH24:MI:SS.MS"Z"')
  AND j.tindakan = 'masuk gagal' AND split_part(j.rincian, E'\n', 1) = 'user=' || simparo_rincian(nama)$fn$;

-- The role and name of the first operator of a name in stored order. No row
-- when there is none, and none for NULL: the lookup role learns no name it
-- was not given (simparo_operator_pertama() names the first one's role only).
CREATE OR REPLACE FUNCTION simparo_operator_cari(nama text)
RETURNS TABLE (peran text, nama_user text) LANGUAGE sql STABLE SECURITY DEFINER AS $fn$
SELECT simparo_peran_operator(t.simparo_key), t."user" FROM tpassword t
WHERE t."user" = nama ORDER BY t.simparo_key LIMIT 1$fn$;

-- An operator's own new password (its SCRAM verifier, made by the program)
-- and user name, with its jejak row: only ever of the session's own role.
CREATE OR REPLACE FUNCTION simparo_ganti_password(user_baru text, verifier text,
    zona_loket text, nama_loket text) RETURNS void LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    kunci_sesi bigint := simparo_kunci_sesi();
    lama text;
    baris text;
BEGIN
    IF kunci_sesi IS NULL THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya operator yang bisa mengganti passwordnya sendiri',
            ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM simparo_cek_verifier(verifier);
    IF zona_loket IS NULL OR zona_loket !~ '^[+-][0-9]{2}:[0-9]{2}$' OR length(nama_loket) > 255 THEN
        RAISE EXCEPTION USING MESSAGE = 'zona atau nama loket tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
    SELECT t."user" INTO lama FROM tpassword t WHERE t.simparo_key = kunci_sesi FOR UPDATE;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'operator ini sudah tidak ada', ERRCODE = 'insufficient_privilege';
    END IF;
    IF user_baru IS DISTINCT FROM lama THEN
        -- A new name: plain characters, not too long (an old one stays as it is).
        PERFORM simparo_cek_nama(user_baru);
        -- Two operators taking one new name at the same moment: one waits for the other.
        PERFORM pg_advisory_xact_lock(hashtext('tpassword.user'), hashtext(user_baru));
        IF EXISTS (SELECT FROM tpassword t WHERE t."user" = user_baru AND t.simparo_key <> kunci_sesi) THEN
            RAISE EXCEPTION USING MESSAGE = 'user itu sudah dipakai operator lain', ERRCODE = 'unique_violation';
        END IF;
        UPDATE tpassword SET "user" = user_baru WHERE simparo_key = kunci_sesi;
        -- His kind goes with his name.
        UPDATE jenis_operator SET nama = user_baru WHERE nama = lama;
        baris := 'user: ' || simparo_rincian(coalesce(lama, '')) || ' -> ' || simparo_rincian(user_baru);
    ELSE
        baris := 'user=' || simparo_rincian(lama);
    END IF;
    EXECUTE format('ALTER ROLE %I PASSWORD %L', session_user, verifier);
    INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, rincian)
    VALUES (zona_loket, nama_loket, 'ganti password', 'tpassword', kunci_sesi, baris || E'\npassword=diganti');
END$fn$;

-- The owner's: makes an operator's role (or the lookup role) when missing,
-- a member of the group (or of nothing), with its password when one is given
-- (a verifier; NULL: none, and then it cannot log in).
CREATE OR REPLACE FUNCTION simparo_atur_peran(peran text, verifier text,
    sandi_baru boolean) RETURNS void LANGUAGE plpgsql VOLATILE AS $fn$
DECLARE
    awalan text := CAST(current_database() AS text) || '_op_';
    kelompok text := simparo_kelompok_operator();
    sebagai_operator boolean;
    anggota boolean;
    ada record;
BEGIN
    sebagai_operator := left(peran, length(awalan)) = awalan
        AND substr(peran, length(awalan) + 1) ~ '^[1-9][0-9]{0,17}$';
    IF peran IS NULL OR NOT (sebagai_operator OR peran = simparo_peran_masuk()) THEN
        RAISE EXCEPTION USING MESSAGE = format('%s bukan peran operator atau peran masuk SIMPARO', peran),
            ERRCODE = 'invalid_parameter_value';
    END IF;
    IF verifier IS NOT NULL THEN
        PERFORM simparo_cek_verifier(verifier);
    END IF;
    SELECT r.rolsuper OR r.rolcreaterole OR r.rolcreatedb OR r.rolreplication OR r.rolbypassrls AS lebih
        INTO ada FROM pg_roles r WHERE r.rolname = peran;
    IF NOT FOUND THEN
        EXECUTE format('CREATE ROLE %I NOLOGIN', peran);
        sandi_baru := true;
    ELSIF ada.lebih THEN
        RAISE EXCEPTION USING MESSAGE = format('peran %s sudah ada dengan hak lebih dari operator; ubah atau hapus dulu',
            peran), ERRCODE = 'insufficient_privilege';
    END IF;
    IF sandi_baru AND verifier IS NULL THEN
        EXECUTE format('ALTER ROLE %I NOLOGIN PASSWORD NULL', peran);
    ELSIF sandi_baru THEN
        EXECUTE format('ALTER ROLE %I LOGIN PASSWORD %L', peran, verifier);
    END IF;
    anggota := EXISTS (SELECT FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid
                       JOIN pg_roles r ON r.oid = m.member WHERE g.rolname = kelompok AND r.rolname = peran);
    IF sebagai_operator THEN
        -- An operator's sessions: a bounded number, and by default no statement or
        -- transaction left waiting long (the program sets its own limits).
        EXECUTE format('ALTER ROLE %I INHERIT CONNECTION LIMIT %s', peran, {{operator_connections}});
        EXECUTE format('ALTER ROLE %I SET statement_timeout = %L', peran, '{{operator_statement_timeout}}');
        EXECUTE format('ALTER ROLE %I SET idle_in_transaction_session_timeout = %L', peran,
                       '{{operator_statement_timeout}}');
        IF NOT anggota THEN
            EXECUTE format('GRANT %I TO %I', kelompok, peran);
        END IF;
    ELSIF anggota THEN
        EXECUTE format('REVOKE %I FROM %I', kelompok, peran);
    END IF;
END$fn$;

-- The owner's: an operator's role goes; when it still owns something in
-- another database it stays, but can no longer log in and is no operator.
CREATE OR REPLACE FUNCTION simparo_buang_peran(peran text) RETURNS void
LANGUAGE plpgsql VOLATILE AS $fn$
DECLARE
    awalan text := CAST(current_database() AS text) || '_op_';
BEGIN
    IF peran IS NULL OR left(peran, length(awalan)) <> awalan
       OR substr(peran, length(awalan) + 1) !~ '^[1-9][0-9]{0,17}$' THEN
        RAISE EXCEPTION USING MESSAGE = format('%s bukan peran operator SIMPARO', peran),
            ERRCODE = 'invalid_parameter_value';
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = peran) THEN
        RETURN;
    END IF;
    EXECUTE format('ALTER ROLE %I NOLOGIN PASSWORD NULL', peran);
    IF EXISTS (SELECT FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid JOIN pg_roles r ON r.oid = m.member
               WHERE g.rolname = simparo_kelompok_operator() AND r.rolname = peran) THEN
        EXECUTE format('REVOKE %I FROM %I', simparo_kelompok_operator(), peran);
    END IF;
    BEGIN
        EXECUTE format('GRANT %I TO %I', peran, current_user);
        EXECUTE format('DROP OWNED BY %I', peran);
        EXECUTE format('DROP ROLE %I', peran);
    EXCEPTION WHEN OTHERS THEN
        NULL;
    END;
END$fn$;
