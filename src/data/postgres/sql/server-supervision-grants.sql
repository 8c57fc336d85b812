-- What the supervisors' group and the operators may do with supervisors,
-- settings, approvals and blocks (after grants.sql, which takes every other grant away).
-- Operators read the kinds and the settings; nobody but the owner writes any
-- of the three tables: a setting and an approval only through their functions,
-- which only a supervisor may run.
DO $fn$
DECLARE
    g text := simparo_kelompok_operator();
    p text := simparo_kelompok_penyelia();
    r record;
BEGIN
    EXECUTE format('GRANT SELECT ON jenis_operator, pengaturan, blokir, koreksi TO %I', g);
    EXECUTE format('GRANT SELECT ON bagi_hasil TO %I', g);
    EXECUTE format('GRANT EXECUTE ON FUNCTION simparo_penyelia_sesi(), simparo_batas_penarikan(), '
                   'simparo_pakai_persetujuan(bigint, text, text, double precision) TO %I', g);
    EXECUTE format('GRANT EXECUTE ON FUNCTION simparo_ubah_pengaturan(text, text, text, text), '
                   'simparo_setujui(text, text, double precision, text, text, text), '
                   'simparo_blokir(text, text, text, text, text, text), '
                   'simparo_setujui_koreksi(bigint, text, text, text, text) TO %I', p);
    EXECUTE format('GRANT EXECUTE ON FUNCTION simparo_bagi_hasil_buka(text, text, bigint, integer, bigint, bigint, '
                   'bigint, integer, bigint, bigint, bigint, bigint), '
                   'simparo_bagi_hasil_tutup(bigint, bigint, bigint, bigint) TO %I', p);
    -- Taking a month-end run back: approved, opened and closed by supervisors only.
    EXECUTE format('GRANT EXECUTE ON FUNCTION simparo_setujui_batal_bagi_hasil(bigint, text, text, text), '
                   'simparo_bagi_hasil_batal_buka(bigint, bigint, text), '
                   'simparo_bagi_hasil_batal_tutup(bigint, bigint, bigint, bigint) TO %I', p);
    -- The group keeps no one but operators' roles.
    FOR r IN SELECT b.rolname FROM pg_auth_members x JOIN pg_roles a ON a.oid = x.roleid
             JOIN pg_roles b ON b.oid = x.member
             WHERE a.rolname = p AND NOT EXISTS (SELECT FROM tpassword t
                                                 WHERE simparo_peran_operator(t.simparo_key) = b.rolname) LOOP
        EXECUTE format('REVOKE %I FROM %I', p, r.rolname);
    END LOOP;
END$fn$;
