-- Local member table of the till, SQLite (config.ini: DbType=SQLITE).
-- The offline lookup asks for one of mobile, member_id, cardno or member_name
-- together with status='1'; each of the four has an index on (column, status),
-- so every lookup is an index search, however many members the till holds.
-- Text comparison is exact (binary), as on the MariaDB table.
CREATE TABLE IF NOT EXISTS t_member (
    member_id   TEXT DEFAULT '',
    cardno      TEXT DEFAULT '',
    grade_level TEXT DEFAULT '',
    grade_name  TEXT DEFAULT '',
    member_name TEXT DEFAULT '',
    birthday    TEXT DEFAULT '',
    mobile      TEXT DEFAULT '',
    address     TEXT DEFAULT '',
    -- '1' is an active member; any other value keeps the row out of the lookup.
    status      TEXT DEFAULT '1'
);
CREATE INDEX IF NOT EXISTS idx_t_member_mobile ON t_member (mobile, status);
CREATE INDEX IF NOT EXISTS idx_t_member_member_id ON t_member (member_id, status);
CREATE INDEX IF NOT EXISTS idx_t_member_cardno ON t_member (cardno, status);
CREATE INDEX IF NOT EXISTS idx_t_member_member_name ON t_member (member_name, status);
