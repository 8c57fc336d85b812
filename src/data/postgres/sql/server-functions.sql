-- The functions through which an operator's role (and the lookup role) does
-- what it may not do on the tables themselves. Each runs with the owner's
-- rights and a fixed search path (set afterwards for every simparo_ function),
-- checks what it is given, and writes its own jejak row: a write that reaches
-- the register never goes without its trail row. Made again by every
-- simparo-initdb, so each statement may run again.

-- A write that other writes of the same scope and value must not interleave
-- with waits for them and keeps them out until its transaction ends (an
-- account's postings, say). PUBLIC may not take the server's advisory locks
-- itself: a lock held by a session that stays would stop the branch.
CREATE OR REPLACE FUNCTION simparo_kunci(lingkup text, nilai text) RETURNS void
LANGUAGE sql VOLATILE SECURITY DEFINER AS $fn$
SELECT pg_advisory_xact_lock(hashtext(lingkup), hashtext(nilai))$fn$;

-- Whether the trail's lock is free: then every write that appended its trail
-- row before has ended for good. Taken until this transaction ends.
CREATE OR REPLACE FUNCTION simparo_jejak_bebas() RETURNS boolean
LANGUAGE sql VOLATILE SECURITY DEFINER AS $fn$
SELECT pg_try_advisory_xact_lock({{trail_lock}})$fn$;

-- The role of the first operator in stored order, without his name: a password
-- typed before any user name is checked against him. The name is read on his
-- own connection once the password proved right.
CREATE OR REPLACE FUNCTION simparo_operator_pertama() RETURNS text
LANGUAGE sql STABLE SECURITY DEFINER AS $fn$
SELECT simparo_peran_operator(t.simparo_key) FROM tpassword t ORDER BY t.simparo_key LIMIT 1$fn$;

-- A new operator's name: letters, digits, ".", "_" and "-", words apart by one
-- blank, at most 32 characters (no control or invisible character).
CREATE OR REPLACE FUNCTION simparo_cek_nama(nama text) RETURNS void LANGUAGE plpgsql IMMUTABLE AS $fn$
BEGIN
    IF nama IS NULL OR length(nama) > 32 OR nama !~ '^[A-Za-z0-9._-]+( [A-Za-z0-9._-]+)*$' THEN
        RAISE EXCEPTION USING MESSAGE = 'user hanya boleh berisi huruf, angka, titik, garis bawah dan tanda minus, '
            'kata dipisah satu spasi, paling banyak 32 karakter', ERRCODE = 'invalid_parameter_value';
    END IF;
END$fn$;

-- A SCRAM-SHA-256 verifier as libpq makes it: iterations within bounds, a salt of
-- at least 16 bytes, and keys of 32 bytes, all in base64.
CREATE OR REPLACE FUNCTION simparo_cek_verifier(verifier text) RETURNS void LANGUAGE plpgsql IMMUTABLE AS $fn$
DECLARE
    bagian text[] := regexp_match(verifier,
        '^SCRAM-SHA-256[$]([0-9]{4,7}):([A-Za-z0-9+/]{22,88}={0,2})[$]([A-Za-z0-9+/]{43}=):([A-Za-z0-9+/]{43}=)$');
BEGIN
    IF bagian IS NULL OR CAST(bagian[1] AS integer) NOT BETWEEN 4096 AND 1000000
       OR octet_length(decode(bagian[2], 'base64')) < 16 OR octet_length(decode(bagian[3], 'base64')) <> 32
       OR octet_length(decode(bagian[4], 'base64')) <> 32 THEN
        RAISE EXCEPTION USING MESSAGE = 'password harus berupa verifier SCRAM-SHA-256 yang sah',
            ERRCODE = 'invalid_parameter_value';
    END IF;
END$fn$;

-- The user name of the session's own operator (his only).
CREATE OR REPLACE FUNCTION simparo_nama_sesi() RETURNS text LANGUAGE sql STABLE SECURITY DEFINER AS $fn$
SELECT t."user" FROM tpassword t WHERE t.simparo_key = simparo_kunci_sesi()$fn$;

-- The counter's zone and name as a trail row records them.
CREATE OR REPLACE FUNCTION simparo_cek_loket(zona_loket text, nama_loket text) RETURNS void
LANGUAGE plpgsql IMMUTABLE AS $fn$
BEGIN
    IF zona_loket IS NULL OR zona_loket !~ '^[+-][0-9]{2}:[0-9]{2}$' OR length(nama_loket) > 255 THEN
        RAISE EXCEPTION USING MESSAGE = 'zona atau nama loket tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
END$fn$;

-- The register's columns in stored order, as the functions below name them.
CREATE OR REPLACE FUNCTION simparo_kolom_daftar() RETURNS text[] LANGUAGE sql IMMUTABLE AS $fn$
SELECT ARRAY['norekening', 'nama', 'tempat', 'tgllahir', 'alamat', 'kota', 'kode', 'pendidikan', 'telphon']$fn$;

-- Columns named by a caller: each a column of the register, each once, with as
-- many values as names.
CREATE OR REPLACE FUNCTION simparo_cek_kolom(kolom text[], nilai text[]) RETURNS void
LANGUAGE plpgsql IMMUTABLE AS $fn$
BEGIN
    IF kolom IS NULL OR nilai IS NULL OR array_ndims(kolom) IS DISTINCT FROM 1
       OR array_ndims(nilai) IS DISTINCT FROM 1 OR cardinality(kolom) <> cardinality(nilai)
       OR NOT (kolom <@ simparo_kolom_daftar())
       OR cardinality(kolom) <> (SELECT count(DISTINCT k) FROM unnest(kolom) AS k) THEN
        RAISE EXCEPTION USING MESSAGE = 'kolom daftar tidak sah', ERRCODE = 'invalid_parameter_value';
    END IF;
END$fn$;

-- The balance of an account's latest ledger row, 0 without rows; NULL when its
-- saldo is empty or no number.
CREATE OR REPLACE FUNCTION simparo_saldo_terakhir(nomor text, OUT ada boolean, OUT saldo double precision)
LANGUAGE plpgsql STABLE AS $fn$
BEGIN
    SELECT n.saldo INTO saldo FROM nabubg n WHERE n.norekening = nomor ORDER BY n.simparo_key DESC LIMIT 1;
    ada := FOUND;
    IF NOT ada THEN
        saldo := 0;
    ELSIF saldo = 'NaN' OR saldo IN ('Infinity', '-Infinity') THEN
        saldo := NULL;
    END IF;
END$fn$;

-- A new customer, with his trail row; his row's key.
CREATE OR REPLACE FUNCTION simparo_nasabah_tambah(kolom text[], nilai text[], zona_loket text, nama_loket text)
RETURNS bigint LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    semua text[] := simparo_kolom_daftar();
    baris text[] := array_fill(CAST(NULL AS text), ARRAY[9]);
    kunci_baru bigint;
BEGIN
    PERFORM simparo_cek_loket(zona_loket, nama_loket);
    PERFORM simparo_cek_kolom(kolom, nilai);
    FOR i IN 1 .. cardinality(kolom) LOOP
        baris[array_position(semua, kolom[i])] := nilai[i];
    END LOOP;
    -- No posting on the number runs meanwhile.
    PERFORM simparo_kunci('nabubg.norekening', coalesce(baris[1], ''));
    INSERT INTO daftar (norekening, nama, tempat, tgllahir, alamat, kota, kode, pendidikan, telphon)
    VALUES (baris[1], baris[2], baris[3], baris[4], baris[5], baris[6], baris[7], baris[8], baris[9])
    RETURNING simparo_key INTO kunci_baru;
    INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, norekening)
    VALUES (zona_loket, nama_loket, 'nasabah baru', 'daftar', kunci_baru, baris[1]);
    RETURN kunci_baru;
END$fn$;

-- A change of some columns of a customer's row, with its trail row ("kolom: lama
-- -> baru" for each column changed). Each column to change must still hold what
-- the clerk saw (lama): a change made meanwhile elsewhere is not overwritten
-- unseen (SQLSTATE SMP02); a row gone is SMP01. A customer with ledger rows
-- keeps his number (SMP03). False when nothing changes.
CREATE OR REPLACE FUNCTION simparo_nasabah_ubah(kunci_baris bigint, kolom text[], lama text[], baru text[],
    zona_loket text, nama_loket text) RETURNS boolean LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    semua text[] := simparo_kolom_daftar();
    sekarang text[];
    hasil text[];
    nomor text;
    nomor_baru text;
    baris text[] := ARRAY[]::text[];
    ke integer;
    n bigint;
BEGIN
    PERFORM simparo_cek_loket(zona_loket, nama_loket);
    PERFORM simparo_cek_kolom(kolom, lama);
    PERFORM simparo_cek_kolom(kolom, baru);
    SELECT d.norekening INTO nomor FROM daftar d WHERE d.simparo_key = kunci_baris;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'nasabah ini sudah dihapus di tempat lain', ERRCODE = 'SMP01';
    END IF;
    nomor_baru := nomor;
    IF 'norekening' = ANY (kolom) THEN
        nomor_baru := baru[array_position(kolom, 'norekening')];
    END IF;
    -- Both numbers' postings wait, taken in one order as every write takes them.
    PERFORM simparo_kunci('nabubg.norekening', k)
    FROM (SELECT DISTINCT coalesce(x, '') AS k FROM unnest(ARRAY[nomor, nomor_baru]) AS x ORDER BY 1) AS urut;
    SELECT ARRAY[d.norekening, d.nama, d.tempat, d.tgllahir, d.alamat, d.kota, d.kode, d.pendidikan, d.telphon]
    INTO sekarang FROM daftar d WHERE d.simparo_key = kunci_baris FOR UPDATE;
    IF NOT FOUND THEN
        RAISE EXCEPTION USING MESSAGE = 'nasabah ini sudah dihapus di tempat lain', ERRCODE = 'SMP01';
    END IF;
    hasil := sekarang;
    FOR i IN 1 .. cardinality(kolom) LOOP
        ke := array_position(semua, kolom[i]);
        IF sekarang[ke] IS DISTINCT FROM lama[i] THEN
            RAISE EXCEPTION USING MESSAGE = 'data ini sudah diubah di tempat lain sejak ditampilkan', ERRCODE = 'SMP02';
        END IF;
        hasil[ke] := baru[i];
    END LOOP;
    IF hasil IS NOT DISTINCT FROM sekarang THEN
        RETURN false;
    END IF;
    IF hasil[1] IS DISTINCT FROM sekarang[1] THEN
        SELECT count(*) INTO n FROM nabubg b WHERE b.norekening = sekarang[1];
        IF n > 0 THEN
            RAISE EXCEPTION USING MESSAGE = format('NO REKENING tidak bisa diubah: nasabah ini sudah punya %s '
                'transaksi di buku tabungan atas nomor %s.', n, sekarang[1]), ERRCODE = 'SMP03';
        END IF;
    END IF;
    UPDATE daftar SET norekening = hasil[1], nama = hasil[2], tempat = hasil[3], tgllahir = hasil[4],
        alamat = hasil[5], kota = hasil[6], kode = hasil[7], pendidikan = hasil[8], telphon = hasil[9]
    WHERE simparo_key = kunci_baris;
    FOR ke IN 1 .. 9 LOOP
        IF hasil[ke] IS DISTINCT FROM sekarang[ke] THEN
            baris := baris || (semua[ke] || ': ' || simparo_rincian(coalesce(sekarang[ke], '')) || ' -> '
                               || simparo_rincian(coalesce(hasil[ke], '')));
        END IF;
    END LOOP;
    INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, norekening, rincian)
    VALUES (zona_loket, nama_loket, 'nasabah ubah', 'daftar', kunci_baris, hasil[1], array_to_string(baris, E'\n'));
    RETURN true;
END$fn$;

-- A customer's row deleted, its trail row first ("kolom=nilai" for each
-- column). A customer whose balance is not 0 stays (SMP03). False when the row
-- is gone already.
CREATE OR REPLACE FUNCTION simparo_nasabah_hapus(kunci_baris bigint, zona_loket text, nama_loket text)
RETURNS boolean LANGUAGE plpgsql VOLATILE SECURITY DEFINER AS $fn$
DECLARE
    semua text[] := simparo_kolom_daftar();
    sekarang text[];
    nomor text;
    akhir record;
    baris text[] := ARRAY[]::text[];
BEGIN
    PERFORM simparo_cek_loket(zona_loket, nama_loket);
    SELECT d.norekening INTO nomor FROM daftar d WHERE d.simparo_key = kunci_baris;
    IF NOT FOUND THEN
        RETURN false;
    END IF;
    PERFORM simparo_kunci('nabubg.norekening', coalesce(nomor, ''));
    SELECT ARRAY[d.norekening, d.nama, d.tempat, d.tgllahir, d.alamat, d.kota, d.kode, d.pendidikan, d.telphon]
    INTO sekarang FROM daftar d WHERE d.simparo_key = kunci_baris FOR UPDATE;
    IF NOT FOUND THEN
        RETURN false;
    END IF;
    IF sekarang[1] IS DISTINCT FROM nomor THEN
        RAISE EXCEPTION USING MESSAGE = 'data ini sudah diubah di tempat lain sejak ditampilkan', ERRCODE = 'SMP02';
    END IF;
    akhir := simparo_saldo_terakhir(nomor);
    IF akhir.saldo IS NULL OR round(akhir.saldo * 100) <> 0 THEN
        RAISE EXCEPTION USING MESSAGE = format('nasabah %s tidak bisa dihapus: saldonya masih %s', nomor,
            coalesce(CAST(akhir.saldo AS text), 'tidak terbaca')), ERRCODE = 'SMP03';
    END IF;
    FOR ke IN 1 .. 9 LOOP
        baris := baris || (semua[ke] || '=' || simparo_rincian(coalesce(sekarang[ke], '')));
    END LOOP;
    INSERT INTO jejak (zona, loket, tindakan, tabel, kunci, norekening, rincian)
    VALUES (zona_loket, nama_loket, 'nasabah hapus', 'daftar', kunci_baris, nomor, array_to_string(baris, E'\n'));
    DELETE FROM daftar WHERE simparo_key = kunci_baris;
    RETURN true;
END$fn$;
