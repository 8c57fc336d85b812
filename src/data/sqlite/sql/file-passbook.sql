-- The passbook's prints in a file: one row for every print ('cetak'), reprint
-- ('ulang'), new book ('baru') and position set by hand ('atur'), appended and
-- never changed; see the server's cetak_buku for what each row says. The rules
-- below refuse a row that does not fit the book as it stands. Each statement
-- may run again (a new file, every simparo-initdb --upgrade, a move onto a file).
CREATE TABLE IF NOT EXISTS cetak_buku (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    norekening TEXT NOT NULL CHECK (length(norekening) BETWEEN 1 AND 10),
    nobuku INTEGER NOT NULL CHECK (nobuku BETWEEN 1 AND 9999),
    jenis TEXT NOT NULL CHECK (jenis IN ('cetak', 'ulang', 'baru', 'atur')),
    kunci_awal INTEGER,
    kunci_akhir INTEGER,
    halaman_awal INTEGER NOT NULL CHECK (halaman_awal BETWEEN 1 AND 99),
    baris_awal INTEGER NOT NULL CHECK (baris_awal BETWEEN 0 AND 99),
    halaman_akhir INTEGER NOT NULL CHECK (halaman_akhir BETWEEN 1 AND 99),
    baris_akhir INTEGER NOT NULL CHECK (baris_akhir BETWEEN 0 AND 99),
    saldo_pindahan INTEGER,
    penyelia TEXT NOT NULL DEFAULT '',
    kasir TEXT NOT NULL DEFAULT '',
    loket TEXT NOT NULL DEFAULT '' CHECK (length(loket) <= 255),
    waktu TEXT NOT NULL,
    CHECK (halaman_akhir > halaman_awal OR (halaman_akhir = halaman_awal AND baris_akhir >= baris_awal)),
    CHECK (kunci_awal IS NULL OR kunci_akhir >= kunci_awal));
CREATE INDEX IF NOT EXISTS cetak_buku_rekening ON cetak_buku (norekening, id);
CREATE TRIGGER IF NOT EXISTS cetak_buku_hanya_ditambah_ubah BEFORE UPDATE ON cetak_buku
BEGIN SELECT RAISE(ABORT, 'cetak_buku: baris hanya bisa ditambah, tidak diubah atau dihapus'); END;
CREATE TRIGGER IF NOT EXISTS cetak_buku_hanya_ditambah_hapus BEFORE DELETE ON cetak_buku
BEGIN SELECT RAISE(ABORT, 'cetak_buku: baris hanya bisa ditambah, tidak diubah atau dihapus'); END;

-- The printed rows are the account's own.
CREATE TRIGGER IF NOT EXISTS cetak_buku_rekening_baris BEFORE INSERT ON cetak_buku
WHEN (NEW.kunci_awal IS NOT NULL
      AND NOT EXISTS (SELECT 1 FROM nabubg n WHERE n.rowid = NEW.kunci_awal AND n.norekening = NEW.norekening))
  OR (NEW.kunci_akhir IS NOT NULL
      AND NOT EXISTS (SELECT 1 FROM nabubg n WHERE n.rowid = NEW.kunci_akhir AND n.norekening = NEW.norekening))
BEGIN SELECT RAISE(ABORT, 'cetak_buku: baris bukan baris rekening ini'); END;
-- A print takes only rows after the last one printed, in the book in use.
CREATE TRIGGER IF NOT EXISTS cetak_buku_sekali BEFORE INSERT ON cetak_buku
WHEN NEW.jenis = 'cetak' AND (NEW.kunci_awal IS NULL OR NEW.baris_awal < 1
      OR NEW.kunci_awal <= coalesce((SELECT c.kunci_akhir FROM cetak_buku c WHERE c.norekening = NEW.norekening
                                     AND c.jenis <> 'ulang' ORDER BY c.id DESC LIMIT 1), 0)
      OR NEW.nobuku IS NOT coalesce((SELECT c.nobuku FROM cetak_buku c WHERE c.norekening = NEW.norekening
                                     AND c.jenis <> 'ulang' ORDER BY c.id DESC LIMIT 1), 1))
BEGIN SELECT RAISE(ABORT, 'cetak_buku: baris ini sudah dicetak'); END;
-- A reprint takes only rows printed before, with a supervisor's approval.
CREATE TRIGGER IF NOT EXISTS cetak_buku_ulang BEFORE INSERT ON cetak_buku
WHEN NEW.jenis = 'ulang' AND (NEW.kunci_awal IS NULL OR trim(NEW.penyelia) = ''
      OR NEW.kunci_akhir > coalesce((SELECT c.kunci_akhir FROM cetak_buku c WHERE c.norekening = NEW.norekening
                                     AND c.jenis <> 'ulang' ORDER BY c.id DESC LIMIT 1), 0))
BEGIN SELECT RAISE(ABORT, 'cetak_buku: cetak ulang hanya baris yang sudah dicetak'); END;
-- A new book is the next number, its line 1 the carried balance after the last row printed.
CREATE TRIGGER IF NOT EXISTS cetak_buku_baru BEFORE INSERT ON cetak_buku
WHEN NEW.jenis = 'baru' AND (NEW.halaman_awal <> 1 OR NEW.baris_awal <> 1 OR NEW.halaman_akhir <> 1
      OR NEW.baris_akhir <> 1 OR NEW.kunci_awal IS NOT NULL OR NEW.saldo_pindahan IS NULL
      OR NEW.nobuku IS NOT coalesce((SELECT c.nobuku FROM cetak_buku c WHERE c.norekening = NEW.norekening
                                     AND c.jenis <> 'ulang' ORDER BY c.id DESC LIMIT 1), 1) + 1
      OR NEW.kunci_akhir IS NOT (SELECT c.kunci_akhir FROM cetak_buku c WHERE c.norekening = NEW.norekening
                                 AND c.jenis <> 'ulang' ORDER BY c.id DESC LIMIT 1))
BEGIN SELECT RAISE(ABORT, 'cetak_buku: buku baru tidak sah'); END;
-- A position set by hand, with a supervisor's approval, in the book in use.
CREATE TRIGGER IF NOT EXISTS cetak_buku_atur BEFORE INSERT ON cetak_buku
WHEN NEW.jenis = 'atur' AND (trim(NEW.penyelia) = '' OR NEW.kunci_awal IS NOT NULL
      OR NEW.nobuku IS NOT coalesce((SELECT c.nobuku FROM cetak_buku c WHERE c.norekening = NEW.norekening
                                     AND c.jenis <> 'ulang' ORDER BY c.id DESC LIMIT 1), 1))
BEGIN SELECT RAISE(ABORT, 'cetak_buku: atur posisi tidak sah'); END;
