-- Local member table of the till, MariaDB/MySQL (config.ini: DbType=MYSQL).
-- The offline lookup asks for one of mobile, member_id, cardno or member_name
-- together with status='1'; each of the four has an index on (column, status),
-- so every lookup is an index search, however many members the till holds.
-- utf8mb4_nopad_bin compares exactly, like SQLite: a card number or name with a
-- trailing blank or in other letter case is another key, not the same member.
CREATE TABLE IF NOT EXISTS t_member (
    member_id   VARCHAR(32)  DEFAULT '',
    cardno      VARCHAR(32)  DEFAULT '',
    grade_level VARCHAR(16)  DEFAULT '',
    grade_name  VARCHAR(64)  DEFAULT '',
    member_name VARCHAR(64)  DEFAULT '',
    birthday    VARCHAR(20)  DEFAULT '',
    mobile      VARCHAR(20)  DEFAULT '',
    address     VARCHAR(255) DEFAULT '',
    -- '1' is an active member; any other value keeps the row out of the lookup.
    status      VARCHAR(4)   DEFAULT '1',
    KEY idx_t_member_mobile (mobile, status),
    KEY idx_t_member_member_id (member_id, status),
    KEY idx_t_member_cardno (cardno, status),
    KEY idx_t_member_member_name (member_name, status)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_nopad_bin;
