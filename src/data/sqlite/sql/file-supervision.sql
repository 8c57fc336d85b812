-- Supervisors and settings in a file: the kind of each operator by his user
-- name, and the settings a supervisor keeps. A file has no roles: the program
-- checks a supervisor's password itself. Each statement may run again (a new
-- file, every simparo-initdb --upgrade, a move onto a file).

-- An operator without a row is a clerk (kasir): an older file's operators, and
-- those brought over from the old program.
CREATE TABLE IF NOT EXISTS jenis_operator (
    nama TEXT PRIMARY KEY NOT NULL,
    jenis TEXT NOT NULL CHECK (jenis IN ('kasir', 'penyelia')));

-- The last supervisor stays one: nobody could change a setting or approve again.
CREATE TRIGGER IF NOT EXISTS jenis_operator_penyelia_ubah AFTER UPDATE ON jenis_operator
WHEN OLD.jenis = 'penyelia' AND NOT EXISTS (SELECT 1 FROM jenis_operator WHERE jenis = 'penyelia')
BEGIN SELECT RAISE(ABORT, 'penyelia terakhir tidak boleh dihapus atau dijadikan kasir'); END;
CREATE TRIGGER IF NOT EXISTS jenis_operator_penyelia_hapus AFTER DELETE ON jenis_operator
WHEN OLD.jenis = 'penyelia' AND NOT EXISTS (SELECT 1 FROM jenis_operator WHERE jenis = 'penyelia')
BEGIN SELECT RAISE(ABORT, 'penyelia terakhir tidak boleh dihapus atau dijadikan kasir'); END;

-- The settings, one row a key; a key without a row has its default.
CREATE TABLE IF NOT EXISTS pengaturan (kunci TEXT PRIMARY KEY NOT NULL, nilai TEXT NOT NULL);

-- The account blocks, events appended and never changed; an account's state is
-- its latest event ('debet': no withdrawal, 'semua': no posting, 'buka': lifted).
CREATE TABLE IF NOT EXISTS blokir (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    norekening TEXT NOT NULL CHECK (length(norekening) BETWEEN 1 AND 10),
    jenis TEXT NOT NULL CHECK (jenis IN ('debet', 'semua', 'buka')),
    alasan TEXT NOT NULL CHECK (length(alasan) <= 255),
    keterangan TEXT NOT NULL CHECK (length(keterangan) <= 255),
    penyelia TEXT NOT NULL,
    waktu TEXT NOT NULL);
CREATE INDEX IF NOT EXISTS blokir_rekening ON blokir (norekening, id);
CREATE TRIGGER IF NOT EXISTS blokir_hanya_ditambah_ubah BEFORE UPDATE ON blokir
BEGIN SELECT RAISE(ABORT, 'blokir: baris hanya bisa ditambah, tidak diubah atau dihapus'); END;
CREATE TRIGGER IF NOT EXISTS blokir_hanya_ditambah_hapus BEFORE DELETE ON blokir
BEGIN SELECT RAISE(ABORT, 'blokir: baris hanya bisa ditambah, tidak diubah atau dihapus'); END;

-- A ledger row (dibalik) reversed by a correction row (nabubg_kunci), at most
-- once, with the reason, the clerk and the supervisor who approved it; rows are
-- appended and never changed.
CREATE TABLE IF NOT EXISTS koreksi (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    dibalik INTEGER NOT NULL UNIQUE,
    nabubg_kunci INTEGER NOT NULL UNIQUE,
    norekening TEXT NOT NULL,
    alasan TEXT NOT NULL CHECK (length(trim(alasan)) BETWEEN 1 AND 255),
    kasir TEXT NOT NULL,
    penyelia TEXT NOT NULL,
    waktu TEXT NOT NULL);
CREATE TRIGGER IF NOT EXISTS koreksi_hanya_ditambah_ubah BEFORE UPDATE ON koreksi
BEGIN SELECT RAISE(ABORT, 'koreksi: baris hanya bisa ditambah, tidak diubah atau dihapus'); END;
CREATE TRIGGER IF NOT EXISTS koreksi_hanya_ditambah_hapus BEFORE DELETE ON koreksi
BEGIN SELECT RAISE(ABORT, 'koreksi: baris hanya bisa ditambah, tidak diubah atau dihapus'); END;

-- The month-end runs, one a month (bulan 'YYYY-MM'): the contract, its inputs
-- and totals in sen, the supervisor, and the key range of the ledger rows it
-- wrote, filled in once by the run's own transaction (baris still NULL). A run
-- taken back whole (batal: when, batal_penyelia: by whom, batal_penyetuju: with
-- whose approval, and the key range of its correction rows) no longer counts:
-- its month may be posted again.
CREATE TABLE IF NOT EXISTS bagi_hasil (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    bulan TEXT NOT NULL CHECK (bulan GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]'),
    akad TEXT NOT NULL CHECK (akad IN ('mudharabah', 'wadiah')),
    pendapatan INTEGER NOT NULL,
    nisbah INTEGER NOT NULL,
    bonus INTEGER NOT NULL,
    dibagi INTEGER NOT NULL,
    pajak_batas INTEGER NOT NULL,
    pajak_tarif INTEGER NOT NULL,
    jumlah_bagi INTEGER NOT NULL,
    jumlah_pajak INTEGER NOT NULL,
    sisa INTEGER NOT NULL,
    rekening INTEGER NOT NULL,
    penyelia TEXT NOT NULL,
    waktu TEXT NOT NULL,
    nabubg_awal INTEGER,
    nabubg_akhir INTEGER,
    baris INTEGER,
    txid INTEGER,
    peran TEXT,
    batal TEXT,
    batal_penyelia TEXT,
    batal_penyetuju TEXT,
    batal_awal INTEGER,
    batal_akhir INTEGER,
    batal_baris INTEGER);
CREATE UNIQUE INDEX IF NOT EXISTS bagi_hasil_bulan_sekali ON bagi_hasil (bulan) WHERE batal IS NULL;
-- A run is closed once (baris), then taken back at most once: marked (batal),
-- then the range of its correction rows named (batal_baris); nothing else changes.
CREATE TRIGGER IF NOT EXISTS bagi_hasil_tetap_ubah BEFORE UPDATE ON bagi_hasil
WHEN NEW.bulan IS NOT OLD.bulan OR NEW.jumlah_bagi IS NOT OLD.jumlah_bagi OR NEW.jumlah_pajak IS NOT OLD.jumlah_pajak
    OR (OLD.baris IS NULL AND NEW.batal IS NOT NULL)
    OR (OLD.baris IS NOT NULL AND (OLD.batal_baris IS NOT NULL OR NEW.batal IS NULL
        OR NEW.baris IS NOT OLD.baris OR NEW.nabubg_awal IS NOT OLD.nabubg_awal OR NEW.nabubg_akhir IS NOT OLD.nabubg_akhir
        OR (OLD.batal IS NOT NULL AND (NEW.batal IS NOT OLD.batal OR NEW.batal_penyelia IS NOT OLD.batal_penyelia
            OR NEW.batal_penyetuju IS NOT OLD.batal_penyetuju))))
BEGIN SELECT RAISE(ABORT, 'bagi_hasil: baris hanya bisa ditambah, tidak diubah atau dihapus'); END;
CREATE TRIGGER IF NOT EXISTS bagi_hasil_tetap_hapus BEFORE DELETE ON bagi_hasil
BEGIN SELECT RAISE(ABORT, 'bagi_hasil: baris hanya bisa ditambah, tidak diubah atau dihapus'); END;
