-- The passbook's prints on a server: one row for every print, reprint, new book
-- and position set by hand, appended and never changed. Clerks insert rows
-- themselves (the grant in server-passbook-grants.sql); the trigger below fills
-- in who and when, serialises the account with its postings and refuses a row
-- that does not fit the book as it stands. Made again by every simparo-initdb,
-- so each statement may run again.

-- cetak_buku: jenis 'cetak' prints the ledger rows kunci_awal..kunci_akhir of the
-- account from (halaman_awal, baris_awal) to (halaman_akhir, baris_akhir);
-- 'ulang' prints them again where they were first printed; 'baru' starts book
-- nobuku, its line 1 the balance carried over (saldo_pindahan, in sen) after the
-- last row printed (kunci_akhir); 'atur' says that the book already holds the
-- rows up to kunci_akhir and that its last written line is (halaman_akhir,
-- baris_akhir), line 0 when the page is still empty.
DO $fn$
BEGIN
    IF to_regclass('cetak_buku') IS NULL THEN
        CREATE TABLE cetak_buku (
            id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
            norekening text NOT NULL CHECK (length(norekening) BETWEEN 1 AND 10),
            nobuku integer NOT NULL CHECK (nobuku BETWEEN 1 AND 9999),
            jenis text NOT NULL CHECK (jenis IN ('cetak', 'ulang', 'baru', 'atur')),
            kunci_awal bigint,
            kunci_akhir bigint,
            halaman_awal integer NOT NULL CHECK (halaman_awal BETWEEN 1 AND 99),
            baris_awal integer NOT NULL CHECK (baris_awal BETWEEN 0 AND 99),
            halaman_akhir integer NOT NULL CHECK (halaman_akhir BETWEEN 1 AND 99),
            baris_akhir integer NOT NULL CHECK (baris_akhir BETWEEN 0 AND 99),
            saldo_pindahan bigint,
            penyelia text NOT NULL DEFAULT '',
            kasir text NOT NULL DEFAULT '',
            loket text NOT NULL DEFAULT '' CHECK (length(loket) <= 255),
            waktu timestamptz NOT NULL DEFAULT clock_timestamp(),
            CHECK (halaman_akhir > halaman_awal OR (halaman_akhir = halaman_awal AND baris_akhir >= baris_awal)),
            CHECK (kunci_awal IS NULL OR kunci_akhir >= kunci_awal));
        CREATE INDEX cetak_buku_rekening ON cetak_buku (norekening, id);
    END IF;
END$fn$;

CREATE OR REPLACE FUNCTION simparo_cetak_buku_tetap() RETURNS trigger LANGUAGE plpgsql AS $fn$
BEGIN
    RAISE EXCEPTION USING MESSAGE = 'cetak_buku: baris hanya bisa ditambah, tidak diubah atau dihapus',
        ERRCODE = 'integrity_constraint_violation';
END$fn$;

-- The user name of the supervisor whose approval of this action on this account
-- this transaction used (simparo_pakai_persetujuan); NULL when it used none.
CREATE OR REPLACE FUNCTION simparo_cetak_buku_penyelia(jenis_tindakan text, nomor text) RETURNS text
LANGUAGE sql STABLE SECURITY DEFINER AS $fn$
SELECT coalesce((SELECT t."user" FROM tpassword t WHERE simparo_peran_operator(t.simparo_key) = p.penyelia), p.penyelia)
FROM persetujuan p WHERE p.dipakai_txid = txid_current() AND p.jenis = jenis_tindakan AND p.norekening = nomor
ORDER BY p.id DESC LIMIT 1$fn$;

-- A new row, checked against the book as it stands, under the account's lock
-- (the one every posting takes): two counters never print the same ledger row.
CREATE OR REPLACE FUNCTION simparo_cetak_buku_cek() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER AS $fn$
DECLARE
    akhir_buku integer;
    akhir_kunci bigint;
    salah text;
BEGIN
    -- The owner's move between engines brings the rows as they were.
    IF CAST(session_user AS text) = simparo_pemilik() AND current_setting('simparo.pindah', true) = 'ya' THEN
        RETURN NEW;
    END IF;
    NEW.kasir := simparo_jejak_operator();
    NEW.waktu := clock_timestamp();
    NEW.penyelia := coalesce(NEW.penyelia, '');
    PERFORM pg_advisory_xact_lock(hashtext('nabubg.norekening'), hashtext(NEW.norekening));
    IF NOT EXISTS (SELECT FROM daftar d WHERE d.norekening = NEW.norekening) THEN
        salah := 'rekening tidak ada di daftar nasabah';
    ELSIF NEW.kunci_awal IS NOT NULL AND NOT EXISTS (SELECT FROM nabubg n WHERE n.simparo_key = NEW.kunci_awal
                                                     AND n.norekening = NEW.norekening) THEN
        salah := 'baris awal bukan baris rekening ini';
    ELSIF NEW.kunci_akhir IS NOT NULL AND NOT EXISTS (SELECT FROM nabubg n WHERE n.simparo_key = NEW.kunci_akhir
                                                      AND n.norekening = NEW.norekening) THEN
        salah := 'baris akhir bukan baris rekening ini';
    END IF;
    IF salah IS NULL THEN
        -- Where the book stands: its latest row that is no reprint.
        SELECT c.nobuku, c.kunci_akhir INTO akhir_buku, akhir_kunci FROM cetak_buku c
        WHERE c.norekening = NEW.norekening AND c.jenis <> 'ulang' ORDER BY c.id DESC LIMIT 1;
        IF NEW.jenis = 'cetak' THEN
            IF NEW.kunci_awal IS NULL OR NEW.kunci_akhir IS NULL THEN
                salah := 'cetak tanpa baris';
            ELSIF NEW.baris_awal < 1 THEN
                salah := 'baris halaman tidak sah';
            ELSIF NEW.nobuku IS DISTINCT FROM coalesce(akhir_buku, 1) THEN
                salah := 'nomor buku bukan buku yang sedang dipakai';
            ELSIF NEW.kunci_awal <= coalesce(akhir_kunci, 0) THEN
                salah := 'baris ini sudah dicetak';
            END IF;
        ELSIF NEW.jenis = 'ulang' THEN
            IF NEW.kunci_awal IS NULL OR NEW.kunci_akhir IS NULL OR NEW.kunci_akhir > coalesce(akhir_kunci, 0) THEN
                salah := 'cetak ulang hanya baris yang sudah dicetak';
            ELSE
                NEW.penyelia := simparo_cetak_buku_penyelia('cetak ulang', NEW.norekening);
                IF NEW.penyelia IS NULL THEN
                    salah := 'cetak ulang perlu persetujuan penyelia';
                END IF;
            END IF;
        ELSIF NEW.jenis = 'baru' THEN
            IF NEW.nobuku IS DISTINCT FROM coalesce(akhir_buku, 1) + 1 OR NEW.halaman_awal <> 1
               OR NEW.baris_awal <> 1 OR NEW.halaman_akhir <> 1 OR NEW.baris_akhir <> 1 OR NEW.kunci_awal IS NOT NULL
               OR NEW.kunci_akhir IS DISTINCT FROM akhir_kunci OR NEW.saldo_pindahan IS NULL THEN
                salah := 'buku baru tidak sah';
            END IF;
        ELSIF NEW.jenis = 'atur' THEN
            NEW.penyelia := simparo_cetak_buku_penyelia('atur buku', NEW.norekening);
            IF NEW.penyelia IS NULL THEN
                salah := 'atur posisi perlu persetujuan penyelia';
            ELSIF NEW.nobuku IS DISTINCT FROM coalesce(akhir_buku, 1) OR NEW.kunci_awal IS NOT NULL THEN
                salah := 'atur posisi tidak sah';
            END IF;
        END IF;
    END IF;
    IF salah IS NOT NULL THEN
        RAISE EXCEPTION USING MESSAGE = 'cetak_buku: ' || salah, ERRCODE = 'SMP08';
    END IF;
    RETURN NEW;
END$fn$;

DO $fn$
BEGIN
    IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgname = 'cetak_buku_hanya_ditambah'
                   AND tgrelid = CAST('cetak_buku' AS regclass)) THEN
        CREATE TRIGGER cetak_buku_hanya_ditambah BEFORE UPDATE OR DELETE OR TRUNCATE ON cetak_buku
            FOR EACH STATEMENT EXECUTE FUNCTION simparo_cetak_buku_tetap();
    END IF;
    IF NOT EXISTS (SELECT FROM pg_trigger WHERE tgname = 'cetak_buku_cek'
                   AND tgrelid = CAST('cetak_buku' AS regclass)) THEN
        CREATE TRIGGER cetak_buku_cek BEFORE INSERT ON cetak_buku
            FOR EACH ROW EXECUTE FUNCTION simparo_cetak_buku_cek();
    END IF;
END$fn$;

-- A supervisor changes one of the page's settings, with its trail row (old and
-- new value), as simparo_ubah_pengaturan does for the others.
CREATE OR REPLACE FUNCTION simparo_ubah_pengaturan_buku(kunci_baru text, nilai_baru text, zona_loket text,
    nama_loket text) RETURNS void LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    lama text;
BEGIN
    IF NOT simparo_penyelia_sesi() THEN
        RAISE EXCEPTION USING MESSAGE = 'hanya penyelia yang boleh mengubah pengaturan',
            ERRCODE = 'insufficient_privilege';
    END IF;
    PERFORM simparo_cek_loket(zona_loket, nama_loket);
    IF kunci_baru IS NULL OR kunci_baru NOT IN ('buku_baris', 'buku_lipatan', 'buku_celah', 'buku_atas', 'buku_kiri',
        'buku_tinggi_baris', 'buku_halaman', 'buku_kolom_tanggal', 'buku_kolom_kode', 'buku_kolom_debet',
        'buku_kolom_kredit', 'buku_kolom_saldo', 'buku_kolom_operator') THEN
        RAISE EXCEPTION USING MESSAGE = 'pengaturan tidak dikenal', ERRCODE = 'invalid_parameter_value';
    END IF;
    IF nilai_baru IS NULL OR nilai_baru !~ '^[0-9]{1,6}$' THEN
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
