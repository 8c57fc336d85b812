-- The rules every row written into the ledger and the register keeps, kept by
-- the server itself: a clerk with psql writes no row that no screen writes.
-- Made after the rows of a new database (an import or a move keeps its rows as
-- they were), lifted by the owner's maintenance only, and made again by every
-- simparo-initdb, so each statement may run again. Checks are NOT VALID: rows
-- that were there before (from the old program) are not judged again.

-- A new ledger row: its key is the one the sequence gave this session for it (a
-- key chosen by the writer would stand anywhere in posting order), its date the
-- server's (the counter's time zone is the session's), its account a customer's
-- and its name his, and its balance the account's previous balance plus kredit
-- minus debet, read under the account's lock that every posting takes before it
-- reads the balance. A withdrawal may not take the balance below 0.
CREATE OR REPLACE FUNCTION simparo_nabubg_baru() RETURNS trigger LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    nama_daftar text;
    akhir record;
    seharusnya double precision;
    blok record;
    izin record;
    asal record;
    pembatalan bigint;
BEGIN
    IF NEW.simparo_key IS DISTINCT FROM currval(pg_get_serial_sequence('nabubg', 'simparo_key')) THEN
        RAISE EXCEPTION USING MESSAGE = 'nabubg: kunci baris hanya dari urutannya sendiri',
            ERRCODE = 'integrity_constraint_violation';
    END IF;
    IF current_setting('transaction_isolation') <> 'read committed' THEN
        RAISE EXCEPTION USING MESSAGE = 'nabubg hanya bisa ditambah dalam transaksi READ COMMITTED',
            ERRCODE = 'invalid_transaction_state';
    END IF;
    PERFORM pg_advisory_xact_lock(hashtext('nabubg.norekening'), hashtext(NEW.norekening));
    -- A month-end run taken back whole: its correction rows come only from the
    -- take-back open in this transaction (simparo_bagi_hasil_batal_buka).
    IF NEW.kode = '05' THEN
        pembatalan := simparo_bagi_hasil_batal_terbuka();
    END IF;
    -- A blocked account: 'debet' takes no withdrawal, 'semua' no posting at all.
    SELECT b.jenis, b.alasan INTO blok FROM blokir b WHERE b.norekening = NEW.norekening ORDER BY b.id DESC LIMIT 1;
    -- The month's share and its tax reach a blocked account too, and so does their
    -- taking back: the block stops the counters.
    IF FOUND AND coalesce(NEW.kode NOT IN ('03', '04'), true) AND pembatalan IS NULL
       AND (blok.jenis = 'semua' OR (blok.jenis = 'debet' AND NEW.debet > 0)) THEN
        RAISE EXCEPTION USING MESSAGE = format('nabubg: rekening diblokir (%s)', blok.alasan), ERRCODE = 'SMP06';
    END IF;
    NEW.tanggal := CAST(clock_timestamp() AS date);
    SELECT d.nama INTO nama_daftar FROM daftar d WHERE d.norekening = NEW.norekening
    ORDER BY d.simparo_key LIMIT 1;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = format('nabubg: rekening %s tidak ada di daftar nasabah', NEW.norekening),
            ERRCODE = 'foreign_key_violation';
    END IF;
    IF NEW.nama IS DISTINCT FROM nama_daftar THEN
        RAISE EXCEPTION USING MESSAGE = format('nabubg: nama harus nama nasabah di daftar (%s)', nama_daftar),
            ERRCODE = 'check_violation';
    END IF;
    SELECT n.simparo_key, n.saldo INTO akhir FROM nabubg n WHERE n.norekening = NEW.norekening
    ORDER BY n.simparo_key DESC LIMIT 1;
    IF FOUND AND akhir.simparo_key > NEW.simparo_key THEN
        RAISE EXCEPTION USING MESSAGE = 'nabubg: rekening ini sudah punya baris yang lebih baru; kunci rekening '
            'diambil sesudah kunci baris', ERRCODE = 'serialization_failure';
    END IF;
    IF FOUND AND (akhir.saldo IS NULL OR akhir.saldo IN ('NaN', 'Infinity', '-Infinity')) THEN
        RAISE EXCEPTION USING MESSAGE = format('nabubg: saldo terakhir rekening %s tidak terbaca', NEW.norekening),
            ERRCODE = 'check_violation';
    END IF;
    seharusnya := round(coalesce(akhir.saldo, 0) * 100) + round(NEW.kredit * 100) - round(NEW.debet * 100);
    IF round(NEW.saldo * 100) IS DISTINCT FROM seharusnya THEN
        RAISE EXCEPTION USING MESSAGE = format('nabubg: saldo %s tidak bersambung dengan saldo sebelumnya '
            '(seharusnya %s)', NEW.saldo, seharusnya / 100), ERRCODE = 'check_violation';
    END IF;
    IF NEW.debet > 0 AND seharusnya < 0 THEN
        RAISE EXCEPTION USING MESSAGE = 'nabubg: penarikan melebihi saldo', ERRCODE = 'check_violation';
    END IF;
    -- A month's share ("03") and its tax ("04") come only from the supervisor's
    -- month-end run open in this transaction (simparo_bagi_hasil_buka).
    IF NEW.kode IN ('03', '04') THEN
        IF NOT simparo_bagi_hasil_terbuka() THEN
            RAISE EXCEPTION USING MESSAGE = 'nabubg: bagi hasil dan pajaknya hanya dari posting bagi hasil penyelia',
                ERRCODE = 'SMP07';
        END IF;
        RETURN NEW;
    END IF;
    -- A withdrawal above the limit takes the one approval its transaction used
    -- for exactly it (simparo_pakai_persetujuan), and binds it to this row.
    IF NEW.kode = '02' AND round(NEW.debet * 100) > simparo_batas_penarikan() THEN
        UPDATE persetujuan SET nabubg_kunci = NEW.simparo_key
        WHERE id = (SELECT p.id FROM persetujuan p
                    WHERE p.dipakai_txid = txid_current() AND p.nabubg_kunci IS NULL AND p.jenis = 'penarikan'
                      AND p.norekening = NEW.norekening AND round(p.jumlah * 100) = round(NEW.debet * 100)
                      AND p.kasir = CAST(session_user AS text)
                    ORDER BY p.id LIMIT 1);
        IF NOT FOUND THEN
            RAISE EXCEPTION USING MESSAGE = 'nabubg: penarikan di atas batas perlu persetujuan penyelia',
                ERRCODE = 'SMP05';
        END IF;
    END IF;
    -- A take-back's row reverses one share or tax row of the run, of this account,
    -- its amounts swapped, not reversed before; the link is written here.
    IF pembatalan IS NOT NULL THEN
        SELECT n.simparo_key, b.bulan, b.batal_penyetuju INTO asal FROM bagi_hasil b
        JOIN nabubg n ON n.simparo_key BETWEEN b.nabubg_awal AND b.nabubg_akhir
        WHERE b.id = pembatalan AND n.kode IN ('03', '04') AND n.norekening = NEW.norekening
          AND round(n.debet * 100) = round(NEW.kredit * 100) AND round(n.kredit * 100) = round(NEW.debet * 100)
          AND NOT EXISTS (SELECT FROM koreksi k WHERE k.dibalik = n.simparo_key)
        ORDER BY n.simparo_key LIMIT 1;
        IF NOT FOUND THEN
            RAISE EXCEPTION USING MESSAGE = 'nabubg: batal bagi hasil hanya membalik baris posting itu',
                ERRCODE = 'SMP07';
        END IF;
        INSERT INTO koreksi (dibalik, nabubg_kunci, norekening, alasan, kasir, penyelia)
        VALUES (asal.simparo_key, NEW.simparo_key, NEW.norekening, 'batal bagi hasil ' || substr(asal.bulan, 6, 2) || '/' || substr(asal.bulan, 1, 4),
                simparo_jejak_operator(), coalesce(asal.batal_penyetuju, ''));
        RETURN NEW;
    END IF;
    -- A correction takes the one approval its transaction used for this account
    -- and amount (simparo_pakai_persetujuan), reverses exactly the row approved (its
    -- amounts swapped, a deposit or withdrawal of the same account), and that row
    -- only once: the link is written here, under the account's lock.
    IF NEW.kode = '05' THEN
        UPDATE persetujuan SET nabubg_kunci = NEW.simparo_key
        WHERE id = (SELECT p.id FROM persetujuan p
                    WHERE p.dipakai_txid = txid_current() AND p.nabubg_kunci IS NULL AND p.jenis = 'koreksi'
                      AND p.norekening = NEW.norekening
                      AND round(p.jumlah * 100) = round((NEW.debet + NEW.kredit) * 100)
                      AND p.kasir = CAST(session_user AS text)
                    ORDER BY p.id LIMIT 1)
        RETURNING dibalik, alasan, penyelia INTO izin;
        IF NOT FOUND THEN
            RAISE EXCEPTION USING MESSAGE = 'nabubg: koreksi perlu persetujuan penyelia', ERRCODE = 'SMP05';
        END IF;
        SELECT n.norekening, n.kode, n.debet, n.kredit INTO asal FROM nabubg n WHERE n.simparo_key = izin.dibalik;
        IF NOT FOUND OR asal.norekening IS DISTINCT FROM NEW.norekening OR asal.kode NOT IN ('01', '02')
           OR round(asal.debet * 100) IS DISTINCT FROM round(NEW.kredit * 100)
           OR round(asal.kredit * 100) IS DISTINCT FROM round(NEW.debet * 100) THEN
            RAISE EXCEPTION USING MESSAGE = 'nabubg: koreksi harus membalik baris yang disetujui', ERRCODE = 'SMP07';
        END IF;
        IF EXISTS (SELECT FROM koreksi k WHERE k.dibalik = izin.dibalik) THEN
            RAISE EXCEPTION USING MESSAGE = 'koreksi: baris ini sudah dikoreksi', ERRCODE = 'SMP07';
        END IF;
        INSERT INTO koreksi (dibalik, nabubg_kunci, norekening, alasan, kasir, penyelia)
        VALUES (izin.dibalik, NEW.simparo_key, NEW.norekening, coalesce(izin.alasan, ''), simparo_jejak_operator(),
                coalesce((SELECT t."user" FROM tpassword t WHERE simparo_peran_operator(t.simparo_key) = izin.penyelia),
                         izin.penyelia));
    END IF;
    RETURN NEW;
END$fn$;

-- A register row: a new one's key from its own sequence; the texts written
-- within the screens' limits (a column a change leaves alone is not judged
-- again: a row of the old program keeps what it has).
CREATE OR REPLACE FUNCTION simparo_daftar_baru() RETURNS trigger LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    baru text[] := ARRAY[NEW.nama, NEW.tempat, NEW.tgllahir, NEW.alamat, NEW.kota, NEW.kode, NEW.pendidikan, NEW.telphon];
    lama text[];
BEGIN
    IF TG_OP = 'INSERT' AND NEW.simparo_key IS DISTINCT FROM currval(pg_get_serial_sequence('daftar', 'simparo_key')) THEN
        RAISE EXCEPTION USING MESSAGE = 'daftar: kunci baris hanya dari urutannya sendiri',
            ERRCODE = 'integrity_constraint_violation';
    END IF;
    IF TG_OP = 'UPDATE' THEN
        lama := ARRAY[OLD.nama, OLD.tempat, OLD.tgllahir, OLD.alamat, OLD.kota, OLD.kode, OLD.pendidikan, OLD.telphon];
    END IF;
    FOR i IN 1 .. 8 LOOP
        IF length(baru[i]) > 255 AND (lama IS NULL OR baru[i] IS DISTINCT FROM lama[i]) THEN
            RAISE EXCEPTION USING MESSAGE = 'daftar: isian terlalu panjang (paling banyak 255 huruf)',
                ERRCODE = 'check_violation';
        END IF;
    END LOOP;
    RETURN NEW;
END$fn$;

-- Made anew after the rules are lifted (server-rules-lifted.sql runs first).
CREATE TRIGGER nabubg_aturan BEFORE INSERT ON nabubg FOR EACH ROW EXECUTE FUNCTION simparo_nabubg_baru();
CREATE TRIGGER daftar_aturan BEFORE INSERT OR UPDATE ON daftar FOR EACH ROW EXECUTE FUNCTION simparo_daftar_baru();

-- Every ledger row the program writes: amounts finite, not negative and in whole
-- sen; the code, the kind and the amounts agreeing (a deposit of at least 1000
-- into kredit, a withdrawal from debet, a correction one or the other); texts
-- within the screens' limits.
ALTER TABLE nabubg ADD CONSTRAINT nabubg_isi_sah CHECK (
        norekening IS NOT NULL AND length(norekening) BETWEEN 1 AND 10
        AND (nama IS NULL OR length(nama) <= 255)
        AND tanggal IS NOT NULL AND debet IS NOT NULL AND kredit IS NOT NULL AND saldo IS NOT NULL
        AND debet >= 0 AND kredit >= 0 AND debet < 1e13 AND kredit < 1e13 AND saldo > -1e13 AND saldo < 1e13
        AND abs(debet * 100 - round(debet * 100)) < 0.01
        AND abs(kredit * 100 - round(kredit * 100)) < 0.01
        AND abs(saldo * 100 - round(saldo * 100)) < 0.01
        AND ((kode = '01' AND jenis = 'Penyetoran' AND debet = 0 AND kredit >= 1000)
             OR (kode = '02' AND jenis = 'Penarikan' AND kredit = 0 AND debet > 0)
             OR (kode = '03' AND jenis IN ('Bagi Hasil', 'Bonus') AND debet = 0 AND kredit > 0)
             OR (kode = '04' AND jenis = 'Pajak' AND kredit = 0 AND debet > 0)
             OR (kode = '05' AND jenis = 'Koreksi' AND ((debet > 0 AND kredit = 0) OR (kredit > 0 AND debet = 0))))) NOT VALID;

-- The two functions find the tables in the schema they were made in, and nowhere else.
DO $fn$
BEGIN
    EXECUTE format('ALTER FUNCTION simparo_nabubg_baru() SET search_path = pg_catalog, %I, pg_temp', current_schema());
    EXECUTE format('ALTER FUNCTION simparo_daftar_baru() SET search_path = pg_catalog, %I, pg_temp', current_schema());
END$fn$;
