-- The rules of a clerk's rows lifted, for the owner's maintenance (see
-- server-rules.sql), without a word when they are not there.
DO $fn$
BEGIN
    IF EXISTS (SELECT FROM pg_trigger WHERE tgname = 'nabubg_aturan' AND tgrelid = CAST('nabubg' AS regclass)) THEN
        DROP TRIGGER nabubg_aturan ON nabubg;
    END IF;
    IF EXISTS (SELECT FROM pg_trigger WHERE tgname = 'daftar_aturan' AND tgrelid = CAST('daftar' AS regclass)) THEN
        DROP TRIGGER daftar_aturan ON daftar;
    END IF;
    IF EXISTS (SELECT FROM pg_constraint WHERE conname = 'nabubg_isi_sah' AND conrelid = CAST('nabubg' AS regclass)) THEN
        ALTER TABLE nabubg DROP CONSTRAINT nabubg_isi_sah;
    END IF;
    -- A check of the register written by an earlier version goes too.
    IF EXISTS (SELECT FROM pg_constraint WHERE conname = 'daftar_isi_sah' AND conrelid = CAST('daftar' AS regclass)) THEN
        ALTER TABLE daftar DROP CONSTRAINT daftar_isi_sah;
    END IF;
END$fn$;
