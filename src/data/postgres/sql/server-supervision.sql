-- Supervisors, settings and a supervisor's approvals on a server. A supervisor's
-- role is a member of the group role <database>_penyelia besides the operators'
-- group; that membership is what the server trusts, and the table jenis_operator
-- mirrors it for listing. Only the group may change a setting or write an
-- approval, and only through the functions below. Made again by every
-- simparo-initdb, so each statement may run again.

CREATE OR REPLACE FUNCTION simparo_kelompok_penyelia() RETURNS text LANGUAGE sql STABLE AS
$fn$SELECT CAST(current_database() AS text) || '_penyelia'$fn$;

-- The supervisors' group exists, cannot log in and holds nothing but what is granted below.
DO $fn$
DECLARE
    p text := simparo_kelompok_penyelia();
    ada record;
    r record;
BEGIN
    SELECT q.rolsuper OR q.rolcreaterole OR q.rolcreatedb OR q.rolreplication OR q.rolbypassrls AS lebih
        INTO ada FROM pg_roles q WHERE q.rolname = p;
    IF NOT FOUND THEN
        EXECUTE format('CREATE ROLE %I NOLOGIN', p);
    ELSIF ada.lebih THEN
        RAISE EXCEPTION USING MESSAGE = format('peran %s sudah ada dengan hak lebih dari yang boleh; ubah atau '
            'hapus dulu', p), ERRCODE = 'insufficient_privilege';
    END IF;
    EXECUTE format('ALTER ROLE %I NOLOGIN', p);
    FOR r IN SELECT a.rolname AS dari FROM pg_auth_members x JOIN pg_roles a ON a.oid = x.roleid
             JOIN pg_roles b ON b.oid = x.member WHERE b.rolname = p LOOP
        EXECUTE format('REVOKE %I FROM %I', r.dari, p);
    END LOOP;
END$fn$;

-- The tables, where missing (quietly: an upgrade prints nothing for what is there).
-- jenis_operator: an operator without a row is a clerk (kasir).
-- pengaturan: one row a key; a key without a row has its default.
-- persetujuan: a supervisor's approval of one action of one clerk, written on
-- the supervisor's own connection (penyelia is the role he logged in as), used
-- once by the clerk's write within minutes (dipakai_txid, dipakai), and bound to
-- the ledger row it allowed (nabubg_kunci).
DO $fn$
BEGIN
    IF to_regclass('jenis_operator') IS NULL THEN
        CREATE TABLE jenis_operator (
            nama text PRIMARY KEY,
            jenis text NOT NULL CHECK (jenis IN ('kasir', 'penyelia')));
    END IF;
    IF to_regclass('pengaturan') IS NULL THEN
        CREATE TABLE pengaturan (kunci text PRIMARY KEY, nilai text NOT NULL);
    END IF;
    IF to_regclass('persetujuan') IS NULL THEN
        CREATE TABLE persetujuan (
            id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
            jenis text NOT NULL,
            norekening text NOT NULL,
            jumlah double precision NOT NULL,
            kasir text NOT NULL,
            penyelia text NOT NULL,
            dibuat timestamptz NOT NULL DEFAULT clock_timestamp(),
            dipakai_txid bigint,
            dipakai timestamptz,
            nabubg_kunci bigint);
        CREATE INDEX persetujuan_dipakai ON persetujuan (dipakai_txid) WHERE nabubg_kunci IS NULL;
    END IF;
    IF to_regclass('blokir') IS NULL THEN
        CREATE TABLE blokir (
            id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
            norekening text NOT NULL CHECK (length(norekening) BETWEEN 1 AND 10),
            jenis text NOT NULL CHECK (jenis IN ('debet', 'semua', 'buka')),
            alasan text NOT NULL CHECK (length(alasan) <= 255),
            keterangan text NOT NULL CHECK (length(keterangan) <= 255),
            penyelia text NOT NULL,
            waktu timestamptz NOT NULL DEFAULT clock_timestamp());
        CREATE INDEX blokir_rekening ON blokir (norekening, id);
    END IF;
    -- koreksi: a ledger row (dibalik) reversed by a correction row (nabubg_kunci),
    -- at most once, with the reason, the clerk and the supervisor who approved it.
    -- Written by the ledger's rule only, as the correction row is appended.
    IF to_regclass('koreksi') IS NULL THEN
        CREATE TABLE koreksi (
            id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
            dibalik bigint NOT NULL UNIQUE,
            nabubg_kunci bigint NOT NULL UNIQUE,
            norekening text NOT NULL,
            alasan text NOT NULL,
            kasir text NOT NULL,
            penyelia text NOT NULL,
            waktu timestamptz NOT NULL DEFAULT clock_timestamp());
    END IF;
    -- bagi_hasil: the month-end runs, one a month (bulan 'YYYY-MM'): the contract,
    -- its inputs and totals in sen, the supervisor, the counter's local time, and
    -- the key range of the ledger rows it wrote; txid and peran: the transaction
    -- and role that opened it.
    IF to_regclass('bagi_hasil') IS NULL THEN
        CREATE TABLE bagi_hasil (
            id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
            bulan text NOT NULL UNIQUE CHECK (bulan ~ '^[0-9]{4}-[0-9]{2}$'),
            akad text NOT NULL CHECK (akad IN ('mudharabah', 'wadiah')),
            pendapatan bigint NOT NULL,
            nisbah integer NOT NULL,
            bonus bigint NOT NULL,
            dibagi bigint NOT NULL,
            pajak_batas bigint NOT NULL,
            pajak_tarif integer NOT NULL,
            jumlah_bagi bigint NOT NULL,
            jumlah_pajak bigint NOT NULL,
            sisa bigint NOT NULL,
            rekening bigint NOT NULL,
            penyelia text NOT NULL,
            waktu text NOT NULL DEFAULT to_char(clock_timestamp(), 'YYYY-MM-DD"T"HH24:MI:SS'),
            nabubg_awal bigint,
            nabubg_akhir bigint,
            baris bigint,
            txid bigint NOT NULL,
            peran text NOT NULL);
    END IF;
END$fn$;
-- A correction's approval names the row it reverses and the reason.
ALTER TABLE persetujuan ADD COLUMN IF NOT EXISTS dibalik bigint;
ALTER TABLE persetujuan ADD COLUMN IF NOT EXISTS alasan text;

-- A month-end run taken back whole: when (batal, the counter's local time), by
-- which supervisor (batal_penyelia) with whose approval (batal_penyetuju), in
-- which transaction and role, and the key range of its correction rows. Only the
-- runs not taken back keep a month posted once.
DO $fn$
BEGIN
    IF to_regclass('bagi_hasil_bulan_sekali') IS NULL THEN
        ALTER TABLE bagi_hasil ADD COLUMN batal text, ADD COLUMN batal_penyelia text, ADD COLUMN batal_penyetuju text,
            ADD COLUMN batal_awal bigint, ADD COLUMN batal_akhir bigint, ADD COLUMN batal_baris bigint,
            ADD COLUMN batal_txid bigint, ADD COLUMN batal_peran text;
        ALTER TABLE bagi_hasil DROP CONSTRAINT IF EXISTS bagi_hasil_bulan_key;
        CREATE UNIQUE INDEX bagi_hasil_bulan_sekali ON bagi_hasil (bulan) WHERE batal IS NULL;
    END IF;
END$fn$;

-- blokir: the account blocks, events appended and never changed; an account's
-- state is its latest event ('buka' lifts the block). Nobody changes or deletes
-- one (the owner's maintenance may take the trigger away).
CREATE OR REPLACE FUNCTION simparo_blokir_tetap() RETURNS trigger LANGUAGE plpgsql AS $fn$
BEGIN
    RAISE EXCEPTION USING MESSAGE = 'blokir: baris hanya bisa ditambah, tidak diubah atau dihapus',
        ERRCODE = 'integrity_constraint_violation';
END$fn$;
DO $fn$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgname = 'blokir_hanya_ditambah'
                   AND tgrelid = CAST('blokir' AS regclass)) THEN
        CREATE TRIGGER blokir_hanya_ditambah BEFORE UPDATE OR DELETE OR TRUNCATE ON blokir
            FOR EACH STATEMENT EXECUTE FUNCTION simparo_blokir_tetap();
    END IF;
END$fn$;

-- koreksi: as the blocks, rows are appended and never changed.
DO $fn$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgname = 'koreksi_hanya_ditambah'
                   AND tgrelid = CAST('koreksi' AS regclass)) THEN
        CREATE TRIGGER koreksi_hanya_ditambah BEFORE UPDATE OR DELETE OR TRUNCATE ON koreksi
            FOR EACH STATEMENT EXECUTE FUNCTION simparo_blokir_tetap();
    END IF;
END$fn$;

-- True when the session's role is an operator who is a supervisor.
CREATE OR REPLACE FUNCTION simparo_penyelia_sesi() RETURNS boolean LANGUAGE sql STABLE SECURITY DEFINER AS $fn$
SELECT simparo_kunci_sesi() IS NOT NULL AND pg_has_role(session_user, simparo_kelompok_penyelia(), 'MEMBER')$fn$;

-- The owner's: makes an operator's role a supervisor's (true) or a clerk's.
CREATE OR REPLACE FUNCTION simparo_atur_penyelia(kunci_baris bigint, penyelia boolean) RETURNS void
LANGUAGE plpgsql VOLATILE AS $fn$
DECLARE
    peran text := simparo_peran_operator(kunci_baris);
    p text := simparo_kelompok_penyelia();
    anggota boolean;
BEGIN
    IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = peran) THEN
        RAISE EXCEPTION USING MESSAGE = format('peran operator %s tidak ada', peran),
            ERRCODE = 'invalid_parameter_value';
    END IF;
    anggota := EXISTS (SELECT FROM pg_auth_members m JOIN pg_roles g ON g.oid = m.roleid
                       JOIN pg_roles r ON r.oid = m.member WHERE g.rolname = p AND r.rolname = peran);
    IF penyelia AND NOT anggota THEN
        EXECUTE format('GRANT %I TO %I', p, peran);
    ELSIF NOT penyelia AND anggota THEN
        EXECUTE format('REVOKE %I FROM %I', p, peran);
    END IF;
END$fn$;

-- The last supervisor stays one: nobody could change a setting or approve again.
CREATE OR REPLACE FUNCTION simparo_penyelia_terakhir() RETURNS trigger LANGUAGE plpgsql AS $fn$
BEGIN
    IF OLD.jenis = 'penyelia' AND NOT EXISTS (SELECT FROM jenis_operator WHERE jenis = 'penyelia') THEN
        RAISE EXCEPTION USING MESSAGE = 'penyelia terakhir tidak boleh dihapus atau dijadikan kasir',
            ERRCODE = 'check_violation';
    END IF;
    RETURN NULL;
END$fn$;
DO $fn$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgname = 'jenis_operator_penyelia_terakhir'
                   AND tgrelid = CAST('jenis_operator' AS regclass)) THEN
        CREATE TRIGGER jenis_operator_penyelia_terakhir AFTER UPDATE OR DELETE ON jenis_operator
            FOR EACH ROW EXECUTE FUNCTION simparo_penyelia_terakhir();
    END IF;
END$fn$;

-- The withdrawal limit in sen: a withdrawal above it needs a supervisor's approval.
CREATE OR REPLACE FUNCTION simparo_batas_penarikan() RETURNS bigint LANGUAGE sql STABLE AS $fn$
SELECT coalesce((SELECT CAST(p.nilai AS bigint) FROM pengaturan p WHERE p.kunci = 'batas_penarikan'), 100000000)$fn$;

-- A supervisor changes a setting, with its trail row (old and new value).
CREATE OR REPLACE FUNCTION simparo_ubah_pengaturan(kunci_baru text, nilai_baru text, zona_loket text,
    nama_loket text) RETURNS void LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    lama text;
BEGIN
    IF NOT simparo_penyelia_sesi() THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya penyelia yang boleh mengubah pengaturan',
            ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM simparo_cek_loket(zona_loket, nama_loket);
    IF kunci_baru IS NULL OR kunci_baru NOT IN ('batas_penarikan', 'pajak_batas', 'pajak_tarif') THEN
        RAISE EXCEPTION USING MESSAGE = 'pengaturan tidak dikenal', ERRCODE = 'invalid_parameter_value';
    END IF;
    IF nilai_baru IS NULL OR nilai_baru !~ '^[0-9]{1,15}$' THEN
        RAISE EXCEPTION USING MESSAGE = 'nilai pengaturan tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
    -- A rate is in hundredths of a percent: at most 100%.
    IF kunci_baru = 'pajak_tarif' AND CAST(nilai_baru AS bigint) > 10000 THEN
        RAISE EXCEPTION USING MESSAGE = 'nilai pengaturan tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
    PERFORM pg_advisory_xact_lock(hashtext('pengaturan'), hashtext(kunci_baru));
    SELECT p.nilai INTO lama FROM pengaturan p WHERE p.kunci = kunci_baru FOR UPDATE;
    INSERT INTO pengaturan (kunci, nilai) VALUES (kunci_baru, nilai_baru)
    ON CONFLICT (kunci) DO UPDATE SET nilai = EXCLUDED.nilai;
    INSERT INTO jejak (zona, loket, tindakan, tabel, rincian)
    VALUES (zona_loket, nama_loket, 'pengaturan ubah', 'pengaturan',
            kunci_baru || ': ' || simparo_rincian(coalesce(lama, '')) || ' -> ' || simparo_rincian(nilai_baru));
END$fn$;

-- A supervisor, logged in as himself, approves one action of one clerk (his
-- role): a withdrawal of this amount from this account. The approval's number.
CREATE OR REPLACE FUNCTION simparo_setujui(jenis_tindakan text, nomor text, jumlah_tindakan double precision,
    peran_kasir text, zona_loket text, nama_loket text) RETURNS bigint
LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    nama_kasir text;
    baru bigint;
BEGIN
    IF NOT simparo_penyelia_sesi() THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya penyelia yang boleh menyetujui', ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM simparo_cek_loket(zona_loket, nama_loket);
    IF jenis_tindakan IS NULL OR jenis_tindakan NOT IN ('penarikan', 'cetak ulang', 'atur buku') THEN
        RAISE EXCEPTION USING MESSAGE = 'tindakan tidak dikenal', ERRCODE = 'invalid_parameter_value';
    END IF;
    IF nomor IS NULL OR length(nomor) NOT BETWEEN 1 AND 10
       OR jumlah_tindakan IS NULL OR NOT (jumlah_tindakan > 0 AND jumlah_tindakan < 1e13) THEN
        RAISE EXCEPTION USING MESSAGE = 'rekening atau jumlah tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
    IF peran_kasir IS NULL OR peran_kasir = CAST(session_user AS text) THEN
        RAISE EXCEPTION USING MESSAGE = 'penyelia tidak bisa menyetujui tindakannya sendiri',
            ERRCODE = 'insufficient_privilege';
    END IF;
    SELECT t."user" INTO nama_kasir FROM tpassword t WHERE simparo_peran_operator(t.simparo_key) = peran_kasir;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'yang meminta persetujuan bukan operator', ERRCODE = 'invalid_parameter_value';
    END IF;
    INSERT INTO persetujuan (jenis, norekening, jumlah, kasir, penyelia)
    VALUES (jenis_tindakan, nomor, jumlah_tindakan, peran_kasir, CAST(session_user AS text)) RETURNING id INTO baru;
    INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, norekening, rincian)
    VALUES (zona_loket, nama_loket, 'persetujuan', 'persetujuan', baru, nomor,
            'jenis=' || jenis_tindakan || E'\njumlah=' || simparo_sen(jumlah_tindakan) || E'\nkasir='
            || simparo_rincian(coalesce(nama_kasir, '')));
    RETURN baru;
END$fn$;

-- The clerk's write uses an approval given to him for exactly this action, once,
-- within five minutes, inside its own transaction: the user name of the
-- supervisor who gave it. The ledger's rule then binds it to the row written.
CREATE OR REPLACE FUNCTION simparo_pakai_persetujuan(nomor_persetujuan bigint, jenis_tindakan text, nomor text,
    jumlah_tindakan double precision) RETURNS text LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    p record;
    nama text;
BEGIN
    SELECT * INTO p FROM persetujuan s WHERE s.id = nomor_persetujuan FOR UPDATE;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'persetujuan penyelia tidak ada', ERRCODE = 'SMP05';
    END IF;
    IF p.dipakai_txid IS NOT NULL THEN
        RAISE EXCEPTION USING MESSAGE = 'persetujuan penyelia ini sudah dipakai', ERRCODE = 'SMP05';
    END IF;
    IF p.kasir IS DISTINCT FROM CAST(session_user AS text) THEN
        RAISE EXCEPTION USING MESSAGE = 'persetujuan penyelia ini untuk operator lain', ERRCODE = 'SMP05';
    END IF;
    IF p.dibuat < clock_timestamp() - interval '5 minutes' THEN
        RAISE EXCEPTION USING MESSAGE = 'persetujuan penyelia ini sudah kedaluwarsa', ERRCODE = 'SMP05';
    END IF;
    IF p.jenis IS DISTINCT FROM jenis_tindakan OR p.norekening IS DISTINCT FROM nomor
       OR round(p.jumlah * 100) IS DISTINCT FROM round(jumlah_tindakan * 100) THEN
        RAISE EXCEPTION USING MESSAGE = 'persetujuan penyelia ini untuk tindakan lain', ERRCODE = 'SMP05';
    END IF;
    IF NOT EXISTS (SELECT FROM pg_roles r WHERE r.rolname = p.penyelia)
       OR NOT pg_has_role(p.penyelia, simparo_kelompok_penyelia(), 'MEMBER') THEN
        RAISE EXCEPTION USING MESSAGE = 'yang menyetujui sudah bukan penyelia', ERRCODE = 'SMP05';
    END IF;
    UPDATE persetujuan SET dipakai_txid = txid_current(), dipakai = clock_timestamp() WHERE id = p.id;
    SELECT t."user" INTO nama FROM tpassword t WHERE simparo_peran_operator(t.simparo_key) = p.penyelia;
    RETURN coalesce(nama, p.penyelia);
END$fn$;

-- A supervisor blocks an account (jenis 'debet': no withdrawal, 'semua': no
-- posting at all) for one of the reasons, or lifts its block ('buka'), with the
-- trail row. Serialised with the account's postings by their lock. The event's number.
CREATE OR REPLACE FUNCTION simparo_blokir(nomor text, jenis_baru text, alasan_baru text, keterangan_baru text,
    zona_loket text, nama_loket text) RETURNS bigint LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    kini text;
    baru bigint;
BEGIN
    IF NOT simparo_penyelia_sesi() THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya penyelia yang boleh memblokir rekening',
            ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM simparo_cek_loket(zona_loket, nama_loket);
    IF jenis_baru IS NULL OR jenis_baru NOT IN ('debet', 'semua', 'buka') THEN
        RAISE EXCEPTION USING MESSAGE = 'jenis blokir tidak dikenal', ERRCODE = 'invalid_parameter_value';
    END IF;
    IF jenis_baru <> 'buka' AND (alasan_baru IS NULL OR alasan_baru NOT IN ('Buku hilang', 'Permintaan wali',
        'Meninggal dunia', 'Perintah pihak berwenang', 'Lainnya')) THEN
        RAISE EXCEPTION USING MESSAGE = 'blokir: alasan harus dipilih', ERRCODE = 'SMP06';
    END IF;
    IF coalesce(length(alasan_baru), 0) > 255 OR coalesce(length(keterangan_baru), 0) > 255 THEN
        RAISE EXCEPTION USING MESSAGE = 'blokir: isian terlalu panjang (paling banyak 255 huruf)',
            ERRCODE = 'check_violation';
    END IF;
    IF nomor IS NULL OR NOT EXISTS (SELECT FROM daftar d WHERE d.norekening = nomor) THEN
        RAISE EXCEPTION USING MESSAGE = 'blokir: rekening tidak ada di daftar nasabah', ERRCODE = 'SMP06';
    END IF;
    PERFORM pg_advisory_xact_lock(hashtext('nabubg.norekening'), hashtext(nomor));
    SELECT b.jenis INTO kini FROM blokir b WHERE b.norekening = nomor ORDER BY b.id DESC LIMIT 1;
    IF jenis_baru = 'buka' AND coalesce(kini, 'buka') = 'buka' THEN
        RAISE EXCEPTION USING MESSAGE = 'blokir: rekening tidak diblokir', ERRCODE = 'SMP06';
    END IF;
    INSERT INTO blokir (norekening, jenis, alasan, keterangan, penyelia)
    VALUES (nomor, jenis_baru, coalesce(alasan_baru, ''), coalesce(keterangan_baru, ''), simparo_jejak_operator())
    RETURNING id INTO baru;
    INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, norekening, rincian)
    VALUES (zona_loket, nama_loket, CASE WHEN jenis_baru = 'buka' THEN 'buka blokir' ELSE 'blokir' END, 'blokir',
            baru, nomor, 'jenis=' || jenis_baru || E'\nalasan=' || simparo_rincian(coalesce(alasan_baru, ''))
            || E'\nketerangan=' || simparo_rincian(coalesce(keterangan_baru, '')));
    RETURN baru;
END$fn$;

-- A supervisor, logged in as himself, approves the correction of one ledger row
-- (a deposit or a withdrawal not corrected before) for this reason, asked by one
-- clerk (his role). The account and the amount are the row's own. The approval's number.
CREATE OR REPLACE FUNCTION simparo_setujui_koreksi(kunci_dibalik bigint, alasan_koreksi text, peran_kasir text,
    zona_loket text, nama_loket text) RETURNS bigint LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    asal record;
    nama_kasir text;
    baru bigint;
BEGIN
    IF NOT simparo_penyelia_sesi() THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya penyelia yang boleh menyetujui', ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM simparo_cek_loket(zona_loket, nama_loket);
    IF peran_kasir IS NULL OR peran_kasir = CAST(session_user AS text) THEN
        RAISE EXCEPTION USING MESSAGE = 'penyelia tidak bisa menyetujui tindakannya sendiri',
            ERRCODE = 'insufficient_privilege';
    END IF;
    SELECT t."user" INTO nama_kasir FROM tpassword t WHERE simparo_peran_operator(t.simparo_key) = peran_kasir;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'yang meminta persetujuan bukan operator', ERRCODE = 'invalid_parameter_value';
    END IF;
    IF alasan_koreksi IS NULL OR btrim(alasan_koreksi) = '' OR length(alasan_koreksi) > 255 THEN
        RAISE EXCEPTION USING MESSAGE = 'koreksi: alasan harus diisi (paling banyak 255 huruf)', ERRCODE = 'SMP07';
    END IF;
    SELECT n.norekening, n.kode, n.debet, n.kredit INTO asal FROM nabubg n WHERE n.simparo_key = kunci_dibalik;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'koreksi: baris yang dibalik tidak ada', ERRCODE = 'SMP07';
    END IF;
    IF asal.kode = '05' THEN
        RAISE EXCEPTION USING MESSAGE = 'koreksi: baris ini sendiri koreksi', ERRCODE = 'SMP07';
    END IF;
    IF asal.kode IS NULL OR asal.kode NOT IN ('01', '02') THEN
        RAISE EXCEPTION USING MESSAGE = 'koreksi: hanya setoran atau penarikan', ERRCODE = 'SMP07';
    END IF;
    IF EXISTS (SELECT FROM koreksi k WHERE k.dibalik = kunci_dibalik) THEN
        RAISE EXCEPTION USING MESSAGE = 'koreksi: baris ini sudah dikoreksi', ERRCODE = 'SMP07';
    END IF;
    INSERT INTO persetujuan (jenis, norekening, jumlah, kasir, penyelia, dibalik, alasan)
    VALUES ('koreksi', asal.norekening, asal.debet + asal.kredit, peran_kasir, CAST(session_user AS text),
            kunci_dibalik, alasan_koreksi) RETURNING id INTO baru;
    INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, norekening, rincian)
    VALUES (zona_loket, nama_loket, 'persetujuan', 'persetujuan', baru, asal.norekening,
            'jenis=koreksi' || E'\ndibalik=' || kunci_dibalik || E'\njumlah=' || simparo_sen(asal.debet + asal.kredit)
            || E'\nalasan=' || simparo_rincian(alasan_koreksi) || E'\nkasir=' || simparo_rincian(coalesce(nama_kasir, '')));
    RETURN baru;
END$fn$;

-- A supervisor opens the month-end run of a month in his transaction: the ledger
-- then takes its share ("03") and tax ("04") rows from this transaction alone,
-- and only while the run is open. One run a month; runs wait for each other.
CREATE OR REPLACE FUNCTION simparo_bagi_hasil_buka(bulan_baru text, akad_baru text, pendapatan_baru bigint,
    nisbah_baru integer, bonus_baru bigint, dibagi_baru bigint, batas_baru bigint, tarif_baru integer,
    bagi_baru bigint, pajak_baru bigint, sisa_baru bigint, rekening_baru bigint) RETURNS bigint
LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    baru bigint;
BEGIN
    IF NOT simparo_penyelia_sesi() THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya penyelia yang boleh memposting bagi hasil',
            ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM pg_advisory_xact_lock(hashtext('bagi_hasil'), 0);
    -- A run taken back (batal) no longer counts: its month may be posted again.
    IF EXISTS (SELECT FROM bagi_hasil b WHERE b.bulan = bulan_baru AND b.batal IS NULL) THEN
        RAISE EXCEPTION USING MESSAGE = 'bagi hasil bulan ini sudah diposting', ERRCODE = 'SMP07';
    END IF;
    IF least(pendapatan_baru, nisbah_baru, bonus_baru, dibagi_baru, batas_baru, tarif_baru, bagi_baru, pajak_baru,
             sisa_baru, rekening_baru) < 0 OR nisbah_baru > 10000 OR tarif_baru > 10000
       OR bagi_baru + sisa_baru <> dibagi_baru OR pajak_baru > bagi_baru THEN
        RAISE EXCEPTION USING MESSAGE = 'bagi hasil: jumlah tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
    INSERT INTO bagi_hasil (bulan, akad, pendapatan, nisbah, bonus, dibagi, pajak_batas, pajak_tarif, jumlah_bagi,
                            jumlah_pajak, sisa, rekening, penyelia, txid, peran)
    VALUES (bulan_baru, akad_baru, pendapatan_baru, nisbah_baru, bonus_baru, dibagi_baru, batas_baru, tarif_baru,
            bagi_baru, pajak_baru, sisa_baru, rekening_baru, simparo_jejak_operator(), txid_current(),
            CAST(session_user AS text))
    RETURNING id INTO baru;
    RETURN baru;
END$fn$;

-- The run closes in the transaction that opened it, naming the key range of its
-- ledger rows; no row of it can be added afterwards.
CREATE OR REPLACE FUNCTION simparo_bagi_hasil_tutup(nomor_run bigint, awal bigint, akhir bigint, jumlah_baris bigint)
RETURNS void LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
BEGIN
    UPDATE bagi_hasil SET nabubg_awal = awal, nabubg_akhir = akhir, baris = jumlah_baris
    WHERE id = nomor_run AND txid = txid_current() AND peran = CAST(session_user AS text) AND baris IS NULL;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'bagi hasil: posting ini tidak dibuka dalam transaksi ini',
            ERRCODE = 'insufficient_privilege';
    END IF;
END$fn$;

-- Whether this transaction holds an open run of the session's role: the ledger's
-- rule for a share or tax row.
CREATE OR REPLACE FUNCTION simparo_bagi_hasil_terbuka() RETURNS boolean LANGUAGE sql STABLE SECURITY DEFINER AS $fn$
SELECT EXISTS (SELECT FROM bagi_hasil b WHERE b.txid = txid_current() AND b.peran = CAST(session_user AS text)
               AND b.baris IS NULL) AND simparo_penyelia_sesi()$fn$;

-- bagi_hasil: nobody deletes a run; only its own transaction closes it.
CREATE OR REPLACE FUNCTION simparo_bagi_hasil_tetap() RETURNS trigger LANGUAGE plpgsql AS $fn$
BEGIN
    IF TG_OP = 'UPDATE' AND OLD.baris IS NULL AND OLD.txid = txid_current() AND NEW.id = OLD.id
       AND NEW.bulan = OLD.bulan AND NEW.jumlah_bagi = OLD.jumlah_bagi AND NEW.jumlah_pajak = OLD.jumlah_pajak
       AND NEW.batal IS NULL THEN
        RETURN NEW;
    END IF;
    -- A closed run is taken back once, in one transaction that marks it and then
    -- names the key range of its correction rows; nothing else of it changes.
    IF TG_OP = 'UPDATE' AND OLD.baris IS NOT NULL AND OLD.batal_baris IS NULL
       AND (OLD.batal IS NULL OR OLD.batal_txid = txid_current()) AND NEW.batal IS NOT NULL
       AND NEW.batal_txid = txid_current() AND (NEW.id, NEW.bulan, NEW.jumlah_bagi, NEW.jumlah_pajak, NEW.baris,
       NEW.nabubg_awal, NEW.nabubg_akhir, NEW.txid, NEW.peran) IS NOT DISTINCT FROM (OLD.id, OLD.bulan,
       OLD.jumlah_bagi, OLD.jumlah_pajak, OLD.baris, OLD.nabubg_awal, OLD.nabubg_akhir, OLD.txid, OLD.peran) THEN
        RETURN NEW;
    END IF;
    RAISE EXCEPTION USING MESSAGE = 'bagi_hasil: baris hanya bisa ditambah, tidak diubah atau dihapus',
        ERRCODE = 'integrity_constraint_violation';
END$fn$;
DO $fn$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgname = 'bagi_hasil_tetap'
                   AND tgrelid = CAST('bagi_hasil' AS regclass)) THEN
        CREATE TRIGGER bagi_hasil_tetap BEFORE UPDATE OR DELETE ON bagi_hasil
            FOR EACH ROW EXECUTE FUNCTION simparo_bagi_hasil_tetap();
    END IF;
END$fn$;

-- Taking a month-end run back whole. Another supervisor than the one who posted
-- it, logged in as himself, approves the take-back of this run for the supervisor
-- who asks (his role). The approval's number.
CREATE OR REPLACE FUNCTION simparo_setujui_batal_bagi_hasil(nomor_run bigint, peran_peminta text, zona_loket text,
    nama_loket text) RETURNS bigint LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    r record;
    nama_peminta text;
    baru bigint;
BEGIN
    IF NOT simparo_penyelia_sesi() THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya penyelia yang boleh menyetujui', ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM simparo_cek_loket(zona_loket, nama_loket);
    IF peran_peminta IS NULL OR peran_peminta = CAST(session_user AS text) THEN
        RAISE EXCEPTION USING MESSAGE = 'penyelia tidak bisa menyetujui tindakannya sendiri',
            ERRCODE = 'insufficient_privilege';
    END IF;
    SELECT t."user" INTO nama_peminta FROM tpassword t WHERE simparo_peran_operator(t.simparo_key) = peran_peminta;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'yang meminta persetujuan bukan operator', ERRCODE = 'invalid_parameter_value';
    END IF;
    SELECT b.bulan, b.jumlah_bagi, b.peran, b.baris, b.batal INTO r FROM bagi_hasil b WHERE b.id = nomor_run;
    IF NOT FOUND OR r.baris IS NULL OR r.batal IS NOT NULL THEN
        RAISE EXCEPTION USING MESSAGE = 'batal bagi hasil: posting itu tidak ada atau sudah dibatalkan',
            ERRCODE = 'SMP07';
    END IF;
    IF r.peran = CAST(session_user AS text) THEN
        RAISE EXCEPTION USING MESSAGE = 'batal bagi hasil: penyelia yang memposting tidak boleh menyetujui '
            'pembatalannya', ERRCODE = 'insufficient_privilege';
    END IF;
    INSERT INTO persetujuan (jenis, norekening, jumlah, kasir, penyelia, dibalik)
    VALUES ('batal bagi hasil', substr(r.bulan, 6, 2) || '/' || substr(r.bulan, 1, 4), r.jumlah_bagi / 100.0,
            peran_peminta, CAST(session_user AS text), nomor_run)
    RETURNING id INTO baru;
    INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, rincian)
    VALUES (zona_loket, nama_loket, 'persetujuan', 'persetujuan', baru,
            'jenis=batal bagi hasil' || E'\nbagi_hasil=' || nomor_run || E'\nbulan=' || r.bulan
            || E'\nkasir=' || simparo_rincian(coalesce(nama_peminta, '')));
    RETURN baru;
END$fn$;

-- A supervisor opens the take-back of a closed run in his transaction, with the
-- approval of another supervisor (not the run's) that this transaction used
-- (simparo_pakai_persetujuan). The ledger then takes from this transaction alone
-- the correction rows ("05") that reverse the run's share and tax rows.
CREATE OR REPLACE FUNCTION simparo_bagi_hasil_batal_buka(nomor_run bigint, nomor_persetujuan bigint, waktu_loket text)
RETURNS void LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    r record;
    p record;
BEGIN
    IF NOT simparo_penyelia_sesi() THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya penyelia yang boleh membatalkan posting bagi hasil',
            ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM pg_advisory_xact_lock(hashtext('bagi_hasil'), 0);
    SELECT * INTO r FROM bagi_hasil b WHERE b.id = nomor_run FOR UPDATE;
    IF NOT FOUND OR r.baris IS NULL OR r.batal IS NOT NULL THEN
        RAISE EXCEPTION USING MESSAGE = 'batal bagi hasil: posting itu tidak ada atau sudah dibatalkan',
            ERRCODE = 'SMP07';
    END IF;
    SELECT * INTO p FROM persetujuan s WHERE s.id = nomor_persetujuan AND s.dipakai_txid = txid_current()
        AND s.jenis = 'batal bagi hasil' AND s.dibalik = nomor_run AND s.kasir = CAST(session_user AS text);
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'nabubg: batal bagi hasil perlu persetujuan penyelia', ERRCODE = 'SMP05';
    END IF;
    IF p.penyelia = r.peran OR p.penyelia = CAST(session_user AS text) THEN
        RAISE EXCEPTION USING MESSAGE = 'batal bagi hasil: penyelia yang memposting tidak boleh menyetujui '
            'pembatalannya', ERRCODE = 'insufficient_privilege';
    END IF;
    IF waktu_loket IS NULL OR waktu_loket !~ '^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}$' THEN
        RAISE EXCEPTION USING MESSAGE = 'batal bagi hasil: waktu tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
    UPDATE bagi_hasil SET batal = waktu_loket, batal_penyelia = simparo_jejak_operator(),
        batal_penyetuju = coalesce((SELECT t."user" FROM tpassword t
                                    WHERE simparo_peran_operator(t.simparo_key) = p.penyelia), p.penyelia),
        batal_txid = txid_current(), batal_peran = CAST(session_user AS text)
    WHERE id = nomor_run;
END$fn$;

-- The take-back open in this transaction for the session's role, if any: the ledger's rule for a "05" row.
CREATE OR REPLACE FUNCTION simparo_bagi_hasil_batal_terbuka() RETURNS bigint LANGUAGE sql STABLE SECURITY DEFINER
AS $fn$
SELECT b.id FROM bagi_hasil b WHERE b.batal_txid = txid_current() AND b.batal_peran = CAST(session_user AS text)
    AND b.batal_baris IS NULL AND simparo_penyelia_sesi() LIMIT 1$fn$;

-- The take-back closes in its own transaction once every share and tax row of
-- the run is reversed, naming the key range of its correction rows.
CREATE OR REPLACE FUNCTION simparo_bagi_hasil_batal_tutup(nomor_run bigint, awal bigint, akhir bigint,
    jumlah_baris bigint) RETURNS void LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    r record;
BEGIN
    SELECT * INTO r FROM bagi_hasil b WHERE b.id = nomor_run AND b.batal_txid = txid_current()
        AND b.batal_peran = CAST(session_user AS text) AND b.batal_baris IS NULL;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'batal bagi hasil: pembatalan ini tidak dibuka dalam transaksi ini',
            ERRCODE = 'insufficient_privilege';
    END IF;
    IF EXISTS (SELECT FROM nabubg n WHERE n.simparo_key BETWEEN r.nabubg_awal AND r.nabubg_akhir
               AND n.kode IN ('03', '04') AND NOT EXISTS (SELECT FROM koreksi k WHERE k.dibalik = n.simparo_key))
       OR jumlah_baris IS DISTINCT FROM r.baris THEN
        RAISE EXCEPTION USING MESSAGE = 'batal bagi hasil: setiap baris posting harus dibalik', ERRCODE = 'SMP07';
    END IF;
    UPDATE bagi_hasil SET batal_awal = awal, batal_akhir = akhir, batal_baris = jumlah_baris WHERE id = nomor_run;
END$fn$;
