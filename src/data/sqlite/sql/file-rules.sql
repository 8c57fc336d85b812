-- The rules every row written into the ledger and the register keeps, kept by
-- the file itself: a row that no screen writes is refused whoever writes it.
-- Made after the rows of a new file (an import or a move keeps its rows as they
-- were), lifted by the owner's maintenance only, and made again by every
-- simparo-initdb --upgrade.

-- A ledger row the program writes: amounts not negative, finite and in whole sen;
-- the code, the kind and the amounts agreeing (a deposit of at least 1000 into
-- kredit, a withdrawal from debet, a correction one or the other); texts within
-- the screens' limits. Made anew: an older file's rule knows fewer codes.
DROP TRIGGER IF EXISTS nabubg_isi_sah;
CREATE TRIGGER nabubg_isi_sah BEFORE INSERT ON nabubg
WHEN NOT (
    typeof(NEW.norekening) = 'text' AND length(NEW.norekening) BETWEEN 1 AND 10
    AND (NEW.nama IS NULL OR length(NEW.nama) <= 255)
    AND typeof(NEW.debet) IN ('integer', 'real') AND typeof(NEW.kredit) IN ('integer', 'real')
    AND typeof(NEW.saldo) IN ('integer', 'real')
    AND NEW.debet >= 0 AND NEW.kredit >= 0 AND NEW.debet < 1e13 AND NEW.kredit < 1e13
    AND NEW.saldo > -1e13 AND NEW.saldo < 1e13
    AND abs(NEW.debet * 100 - round(NEW.debet * 100)) < 0.01
    AND abs(NEW.kredit * 100 - round(NEW.kredit * 100)) < 0.01
    AND abs(NEW.saldo * 100 - round(NEW.saldo * 100)) < 0.01
    AND ((NEW.kode = '01' AND NEW.Jenis = 'Penyetoran' AND NEW.debet = 0 AND NEW.kredit >= 1000)
         OR (NEW.kode = '02' AND NEW.Jenis = 'Penarikan' AND NEW.kredit = 0 AND NEW.debet > 0)
         OR (NEW.kode = '03' AND NEW.Jenis IN ('Bagi Hasil', 'Bonus') AND NEW.debet = 0 AND NEW.kredit > 0)
         OR (NEW.kode = '04' AND NEW.Jenis = 'Pajak' AND NEW.kredit = 0 AND NEW.debet > 0)
         OR (NEW.kode = '05' AND NEW.Jenis = 'Koreksi'
             AND ((NEW.debet > 0 AND NEW.kredit = 0) OR (NEW.kredit > 0 AND NEW.debet = 0)))))
BEGIN SELECT RAISE(ABORT, 'nabubg: isi baris tidak sah (jumlah, kode, jenis atau panjang isian)'); END;

-- Its date is today's (a posting made in the last moment of a day may still carry that day).
CREATE TRIGGER IF NOT EXISTS nabubg_tanggal BEFORE INSERT ON nabubg
WHEN NEW.TANGGAL IS NOT date('now', 'localtime') AND NEW.TANGGAL IS NOT date('now', 'localtime', '-1 minute')
BEGIN SELECT RAISE(ABORT, 'nabubg: TANGGAL harus tanggal hari ini'); END;

-- Its account is a customer's, and its name his.
CREATE TRIGGER IF NOT EXISTS nabubg_nasabah BEFORE INSERT ON nabubg
WHEN NOT EXISTS (SELECT 1 FROM daftar d WHERE d.norekening = NEW.norekening)
    OR NEW.nama IS NOT (SELECT d.nama FROM daftar d WHERE d.norekening = NEW.norekening ORDER BY d.rowid LIMIT 1)
BEGIN SELECT RAISE(ABORT, 'nabubg: rekening tidak ada di daftar nasabah, atau nama bukan nama nasabahnya'); END;

-- Its balance is the account's previous balance (readable) plus kredit minus
-- debet; a withdrawal may not take it below 0.
CREATE TRIGGER IF NOT EXISTS nabubg_saldo BEFORE INSERT ON nabubg
WHEN (SELECT typeof(n.saldo) FROM nabubg n WHERE n.norekening = NEW.norekening ORDER BY n.rowid DESC LIMIT 1)
         NOT IN ('integer', 'real')
    OR round(NEW.saldo * 100) IS NOT coalesce((SELECT round(n.saldo * 100) FROM nabubg n
                                               WHERE n.norekening = NEW.norekening ORDER BY n.rowid DESC LIMIT 1), 0)
                                      + round(NEW.kredit * 100) - round(NEW.debet * 100)
    OR (NEW.debet > 0 AND round(NEW.saldo * 100) < 0)
BEGIN SELECT RAISE(ABORT, 'nabubg: saldo tidak bersambung dengan saldo sebelumnya, atau penarikan melebihi saldo'); END;

-- Its key comes right after the last one: a key chosen by the writer would stand
-- anywhere in posting order.
CREATE TRIGGER IF NOT EXISTS nabubg_kunci AFTER INSERT ON nabubg
WHEN NEW.rowid IS NOT coalesce((SELECT max(n.rowid) FROM nabubg n WHERE n.rowid < NEW.rowid), 0) + 1
    OR EXISTS (SELECT 1 FROM nabubg n WHERE n.rowid > NEW.rowid)
BEGIN SELECT RAISE(ABORT, 'nabubg: kunci baris harus tepat sesudah kunci terakhir'); END;

-- A blocked account: 'debet' takes no withdrawal, 'semua' no posting at all (the month's share
-- and its tax reach it still).
CREATE TRIGGER IF NOT EXISTS nabubg_blokir BEFORE INSERT ON nabubg
WHEN NEW.kode IS NOT '03' AND NEW.kode IS NOT '04'
    AND NOT (NEW.kode IS '05' AND EXISTS (SELECT 1 FROM bagi_hasil b WHERE b.batal IS NOT NULL AND b.batal_baris IS NULL))
    AND (SELECT b.jenis = 'semua' OR (b.jenis = 'debet' AND NEW.debet > 0) FROM blokir b
      WHERE b.norekening = NEW.norekening ORDER BY b.id DESC LIMIT 1)
BEGIN SELECT RAISE(ABORT, 'nabubg: rekening diblokir'); END;

-- A correction reverses, in the same write, the row its koreksi link names: a
-- deposit or withdrawal of the same account, its amounts swapped; or, while a
-- month-end run is being taken back (marked, its range not yet named), a share or
-- tax row of that run.
CREATE TRIGGER IF NOT EXISTS nabubg_koreksi AFTER INSERT ON nabubg
WHEN NEW.kode = '05' AND NOT EXISTS (
    SELECT 1 FROM koreksi k JOIN nabubg a ON a.rowid = k.dibalik
    WHERE k.nabubg_kunci = NEW.rowid AND a.norekening = NEW.norekening
      AND (a.kode IN ('01', '02')
           OR (a.kode IN ('03', '04') AND EXISTS (SELECT 1 FROM bagi_hasil b WHERE b.batal IS NOT NULL
               AND b.batal_baris IS NULL AND a.rowid BETWEEN b.nabubg_awal AND b.nabubg_akhir)))
      AND round(a.debet * 100) = round(NEW.kredit * 100) AND round(a.kredit * 100) = round(NEW.debet * 100))
BEGIN SELECT RAISE(ABORT, 'nabubg: koreksi harus membalik baris yang disetujui'); END;

-- A new register row: its texts within the screens' limits.
CREATE TRIGGER IF NOT EXISTS daftar_baru_sah BEFORE INSERT ON daftar
WHEN coalesce(length(NEW.nama), 0) > 255 OR coalesce(length(NEW.tempat), 0) > 255
    OR coalesce(length(NEW.tgllahir), 0) > 255 OR coalesce(length(NEW.alamat), 0) > 255
    OR coalesce(length(NEW.kota), 0) > 255 OR coalesce(length(NEW.kode), 0) > 255
    OR coalesce(length(NEW.PENDIDIKAN), 0) > 255 OR coalesce(length(NEW.TELPHON), 0) > 255
BEGIN SELECT RAISE(ABORT, 'daftar: isian terlalu panjang (paling banyak 255 huruf)'); END;

-- A changed register row: what changed within the screens' limits.
CREATE TRIGGER IF NOT EXISTS daftar_ubah_sah BEFORE UPDATE ON daftar
WHEN (NEW.nama IS NOT OLD.nama AND coalesce(length(NEW.nama), 0) > 255)
    OR (NEW.tempat IS NOT OLD.tempat AND coalesce(length(NEW.tempat), 0) > 255)
    OR (NEW.tgllahir IS NOT OLD.tgllahir AND coalesce(length(NEW.tgllahir), 0) > 255)
    OR (NEW.alamat IS NOT OLD.alamat AND coalesce(length(NEW.alamat), 0) > 255)
    OR (NEW.kota IS NOT OLD.kota AND coalesce(length(NEW.kota), 0) > 255)
    OR (NEW.kode IS NOT OLD.kode AND coalesce(length(NEW.kode), 0) > 255)
    OR (NEW.TELPHON IS NOT OLD.TELPHON AND coalesce(length(NEW.TELPHON), 0) > 255)
BEGIN SELECT RAISE(ABORT, 'daftar: isian terlalu panjang (paling banyak 255 huruf)'); END;

-- A month's share ("03") and its tax ("04") come only with the month-end run
-- written in the same transaction (its row in bagi_hasil, still without its key range).
CREATE TRIGGER IF NOT EXISTS nabubg_bagi_hasil BEFORE INSERT ON nabubg
WHEN (NEW.kode = '03' OR NEW.kode = '04')
    AND NOT EXISTS (SELECT 1 FROM bagi_hasil b WHERE b.baris IS NULL)
BEGIN SELECT RAISE(ABORT, 'nabubg: bagi hasil dan pajaknya hanya dari posting bagi hasil penyelia'); END;
