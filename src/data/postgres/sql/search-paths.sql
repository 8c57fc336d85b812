-- Each function finds the tables and its helpers in the schema it was made in,
-- and nowhere else, whoever calls it.
DO $fn$
DECLARE f regprocedure;
BEGIN
    FOR f IN SELECT p.oid FROM pg_proc p
             WHERE p.pronamespace = CAST(current_schema() AS regnamespace) AND p.proname LIKE 'simparo\_%' LOOP
        EXECUTE format('ALTER FUNCTION %s SET search_path = pg_catalog, %I, pg_temp', f, current_schema());
    END LOOP;
END$fn$;
