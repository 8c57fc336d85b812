-- What the operators may do with the passbook's prints (after grants.sql, which
-- takes every other grant away): read them, and append through the trigger's
-- checks; a supervisor changes the page's settings through their function.
DO $fn$
DECLARE
    g text := simparo_kelompok_operator();
    p text := simparo_kelompok_penyelia();
BEGIN
    EXECUTE format('GRANT SELECT, INSERT ON cetak_buku TO %I', g);
    EXECUTE format('GRANT EXECUTE ON FUNCTION simparo_ubah_pengaturan_buku(text, text, text, text) TO %I', p);
END$fn$;
