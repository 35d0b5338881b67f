#!/usr/bin/env python3
"""Fill the till's local member table t_member from a CSV file.

The first CSV line names the columns (any order, any subset, but member_id always):
    member_id,cardno,grade_level,grade_name,member_name,birthday,mobile,address,status
Values are trimmed. The import matches members by member_id, so loading the same file
twice leaves the same table: a new member id is added (missing columns stored empty, a
missing or empty status stored as '1', active); a member id already there is updated in
the file's columns and keeps its other values, and rows an earlier load made twice are
merged into one. Within the file, the last line of a member id counts. The table and
its indexes are created when absent.

SQLite (DbType=SQLITE):
    load_members.py --sqlite /path/to/pelmun members.csv
MariaDB/MySQL (DbType=MYSQL), through the mariadb (or mysql) command-line client:
    load_members.py --mariadb pelmun [--host H] [--port P] [--socket S]
                    [--user U] [--password PW] members.csv

The file is read as UTF-8 (with or without byte-order mark) and, when it is not UTF-8,
as GB18030 (GBK's superset, what a spreadsheet on a Chinese Windows saves);
--encoding names another code page. --replace empties the table first.
Every error is one line on standard error and a non-zero exit status; nothing is
loaded then.
"""

import argparse
import csv
import io
import os
import shutil
import sqlite3
import subprocess
import sys

COLUMNS = ["member_id", "cardno", "grade_level", "grade_name", "member_name",
           "birthday", "mobile", "address", "status"]
HERE = os.path.dirname(os.path.abspath(__file__))


class Refusal(Exception):
    """What went wrong, as the one line the user reads."""


def decode(path, encoding):
    with open(path, "rb") as f:
        data = f.read()
    if encoding:
        try:
            return data.decode(encoding), encoding
        except LookupError:
            raise Refusal("unknown --encoding %s" % encoding)
        except UnicodeDecodeError as e:
            raise Refusal("%s is not %s text (byte 0x%02x at offset %d); give its code page with "
                          "--encoding" % (path, encoding, data[e.start], e.start))
    for name in ("utf-8-sig", "gb18030"):
        try:
            return data.decode(name), name
        except UnicodeDecodeError:
            pass
    raise Refusal("%s is neither UTF-8 nor GBK/GB18030 text; give its code page with --encoding"
                  % path)


def read_members(path, encoding):
    """The file's columns and its members, one row of all COLUMNS per member id."""
    text, used = decode(path, encoding)
    reader = csv.reader(io.StringIO(text, newline=""))
    expected = "expected a first line naming some of %s" % ",".join(COLUMNS)
    header = [name.strip() for name in next(reader, [])]
    if not any(header):
        raise Refusal("%s is empty: %s" % (path, expected) if not text.strip()
                      else "%s has no header line: %s" % (path, expected))
    # A column without a name (a spreadsheet's trailing comma) is left out.
    unknown = [name for name in header if name and name not in COLUMNS]
    if unknown:
        raise Refusal("%s: unknown column(s) %s; %s"
                      % (path, ", ".join(repr(n) for n in unknown), expected))
    twice = sorted({name for name in header if name and header.count(name) > 1})
    if twice:
        raise Refusal("%s: column(s) named twice: %s" % (path, ", ".join(twice)))
    if "member_id" not in header:
        raise Refusal("%s: no member_id column; members are matched by member_id" % path)
    members = {}
    for record in reader:
        if not any(value.strip() for value in record):
            continue
        if len(record) > len(header):
            raise Refusal("%s line %d: %d values for %d columns"
                          % (path, reader.line_num, len(record), len(header)))
        values = dict(zip(header, (value.strip() for value in record)))
        row = [values.get(c, "") for c in COLUMNS]
        if not row[0]:
            raise Refusal("%s line %d: member_id is empty" % (path, reader.line_num))
        row[-1] = row[-1] or "1"
        members[row[0]] = row
    return header, list(members.values()), used


def merge_statements(header, mariadb):
    """SQL that moves the staged members (table load_members) into t_member."""
    cols = ",".join(COLUMNS)
    updated = [c for c in header if c != "member_id"]
    statements = []
    if updated:
        if mariadb:
            statements.append("UPDATE t_member t JOIN load_members s ON t.member_id = s.member_id SET "
                              + ", ".join("t.%s = s.%s" % (c, c) for c in updated))
        else:
            statements.append("UPDATE t_member SET " + ", ".join("%s = s.%s" % (c, c) for c in updated)
                              + " FROM load_members s WHERE t_member.member_id = s.member_id")
    # Rows an earlier load made twice become one, each column's largest value kept.
    temp = "TEMPORARY" if mariadb else "TEMP"
    statements += [
        "CREATE %s TABLE load_merged AS SELECT member_id, %s FROM t_member WHERE member_id IN "
        "(SELECT member_id FROM load_members) GROUP BY member_id HAVING COUNT(*) > 1"
        % (temp, ", ".join("MAX(%s) AS %s" % (c, c) for c in COLUMNS[1:])),
        "DELETE FROM t_member WHERE member_id IN (SELECT member_id FROM load_merged)",
        "INSERT INTO t_member (%s) SELECT %s FROM load_merged" % (cols, cols),
    ]
    return statements


NEW_MEMBERS = ("SELECT COUNT(*) FROM load_members s "
               "WHERE NOT EXISTS (SELECT 1 FROM t_member t WHERE t.member_id = s.member_id)")
INSERT_NEW = ("INSERT INTO t_member (%s) SELECT %s FROM load_members s "
              "WHERE NOT EXISTS (SELECT 1 FROM t_member t WHERE t.member_id = s.member_id)"
              % (",".join(COLUMNS), ",".join("s." + c for c in COLUMNS)))


def load_sqlite(path, header, rows, replace):
    """Loads the members; the number of new ones."""
    with open(os.path.join(HERE, "t_member.sqlite.sql"), encoding="utf-8") as f:
        schema = f.read()
    try:
        return merge_into_sqlite(path, schema, header, rows, replace)
    except sqlite3.Error as e:
        raise Refusal("%s: %s" % (path, e))


def merge_into_sqlite(path, schema, header, rows, replace):
    con = sqlite3.connect(path)
    try:
        con.executescript(schema)
        con.execute("CREATE TEMP TABLE load_members AS SELECT * FROM t_member WHERE 0")
        con.execute("CREATE INDEX temp.idx_load_members ON load_members (member_id)")
        with con:
            if replace:
                con.execute("DELETE FROM t_member")
            con.executemany("INSERT INTO load_members (%s) VALUES (%s)"
                            % (",".join(COLUMNS), ",".join("?" * len(COLUMNS))), rows)
            for statement in merge_statements(header, False):
                con.execute(statement)
            new = con.execute(NEW_MEMBERS).fetchone()[0]
            con.execute(INSERT_NEW)
        return new
    finally:
        con.close()


def mariadb_literal(value):
    # Backslashes are escapes in MariaDB string literals unless NO_BACKSLASH_ESCAPES.
    return "'" + value.replace("\\", "\\\\").replace("'", "''") + "'"


def load_mariadb(args, header, rows):
    """Loads the members in one transaction of the command-line client; the number of new ones."""
    client = shutil.which("mariadb") or shutil.which("mysql")
    if not client:
        raise Refusal("neither the mariadb nor the mysql command-line client is installed")
    with open(os.path.join(HERE, "t_member.mariadb.sql"), encoding="utf-8") as f:
        script = ["SET NAMES utf8mb4;", f.read()]
    script += ["CREATE TEMPORARY TABLE load_members LIKE t_member;", "START TRANSACTION;"]
    if args.replace:
        script.append("DELETE FROM t_member;")
    for start in range(0, len(rows), 500):
        values = ",\n".join("(" + ",".join(mariadb_literal(v) for v in row) + ")"
                            for row in rows[start:start + 500])
        script.append("INSERT INTO load_members (%s) VALUES\n%s;" % (",".join(COLUMNS), values))
    script += [s + ";" for s in merge_statements(header, True) + [NEW_MEMBERS, INSERT_NEW]]
    script.append("COMMIT;")
    command = [client, "--no-defaults", "--default-character-set=utf8mb4", "--batch",
               "--skip-column-names", "--user=" + args.user]
    if args.password:
        command.append("--password=" + args.password)
    if args.socket:
        command.append("--socket=" + args.socket)
    if args.host:
        command.append("--host=" + args.host)
    if args.port:
        command.append("--port=%d" % args.port)
    command.append(args.mariadb)
    result = subprocess.run(command, input="\n".join(script).encode("utf-8"), capture_output=True)
    if result.returncode != 0:
        said = result.stderr.decode("utf-8", "replace").strip().splitlines()
        raise Refusal("%s: %s" % (os.path.basename(client),
                                  said[-1] if said else "exit status %d" % result.returncode))
    return int(result.stdout.split()[-1])


class Parser(argparse.ArgumentParser):
    def error(self, message):
        raise Refusal("%s (see --help)" % message)


def main():
    parser = Parser(description="Fill t_member from a CSV file, matching members by member_id.")
    target = parser.add_mutually_exclusive_group(required=True)
    target.add_argument("--sqlite", metavar="FILE", help="SQLite database file")
    target.add_argument("--mariadb", metavar="DATABASE", help="MariaDB/MySQL database name")
    parser.add_argument("--host")
    parser.add_argument("--port", type=int)
    parser.add_argument("--socket")
    parser.add_argument("--user", default="root")
    parser.add_argument("--password")
    parser.add_argument("--replace", action="store_true", help="empty the table first")
    parser.add_argument("--encoding",
                        help="the CSV's code page (default: UTF-8, else GB18030), e.g. gbk")
    parser.add_argument("csv", help="CSV file with a header line")
    args = parser.parse_args()

    header, rows, used = read_members(args.csv, args.encoding)
    if args.sqlite:
        new = load_sqlite(args.sqlite, header, rows, args.replace)
    else:
        new = load_mariadb(args, header, rows)
    note = "" if used == "utf-8-sig" or args.encoding else ", read as GB18030"
    print("load_members: %d members loaded (%d new, %d updated%s)"
          % (len(rows), new, len(rows) - new, note))


if __name__ == "__main__":
    try:
        main()
    except Refusal as e:
        sys.exit("load_members: %s" % e)
    except (OSError, csv.Error) as e:
        sys.exit("load_members: %s" % e)
