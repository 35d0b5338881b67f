#!/usr/bin/env python3
"""Fill the till's local member table t_member from a CSV file.

The first CSV line names the columns (any order, any subset of):
    member_id,cardno,grade_level,grade_name,member_name,birthday,mobile,address,status
Missing columns are stored empty; a missing or empty status is stored as '1'
(active). The table and its indexes are created when absent.

SQLite (DbType=SQLITE):
    load_members.py --sqlite /path/to/pelmun members.csv
MariaDB/MySQL (DbType=MYSQL), through the mariadb (or mysql) command-line client:
    load_members.py --mariadb pelmun [--host H] [--port P] [--socket S]
                    [--user U] [--password PW] members.csv

--replace empties the table first; --encoding reads a CSV saved in another code
page (for example gbk from a spreadsheet on a Chinese Windows).
"""

import argparse
import csv
import os
import shutil
import sqlite3
import subprocess
import sys

COLUMNS = ["member_id", "cardno", "grade_level", "grade_name", "member_name",
           "birthday", "mobile", "address", "status"]
HERE = os.path.dirname(os.path.abspath(__file__))


def read_rows(path, encoding):
    with open(path, newline="", encoding=encoding) as f:
        reader = csv.DictReader(f)
        unknown = [c for c in (reader.fieldnames or []) if c.strip() not in COLUMNS]
        if unknown or not reader.fieldnames:
            sys.exit("load_members: unknown or missing CSV header columns: %s" % ", ".join(unknown))
        rows = []
        for record in reader:
            values = {k.strip(): (v or "") for k, v in record.items() if k is not None}
            row = [values.get(c, "") for c in COLUMNS]
            if not row[-1]:
                row[-1] = "1"
            rows.append(row)
        return rows


def load_sqlite(path, rows, replace):
    with open(os.path.join(HERE, "t_member.sqlite.sql"), encoding="utf-8") as f:
        schema = f.read()
    con = sqlite3.connect(path)
    try:
        con.executescript(schema)
        with con:
            if replace:
                con.execute("DELETE FROM t_member")
            con.executemany("INSERT INTO t_member (%s) VALUES (%s)"
                            % (",".join(COLUMNS), ",".join("?" * len(COLUMNS))), rows)
    finally:
        con.close()


def mariadb_literal(value):
    # Backslashes are escapes in MariaDB string literals unless NO_BACKSLASH_ESCAPES.
    return "'" + value.replace("\\", "\\\\").replace("'", "''") + "'"


def load_mariadb(args, rows):
    client = shutil.which("mariadb") or shutil.which("mysql")
    if not client:
        sys.exit("load_members: neither mariadb nor mysql client found")
    with open(os.path.join(HERE, "t_member.mariadb.sql"), encoding="utf-8") as f:
        script = ["SET NAMES utf8mb4;", f.read()]
    script.append("START TRANSACTION;")
    if args.replace:
        script.append("DELETE FROM t_member;")
    for start in range(0, len(rows), 500):
        values = ",\n".join("(" + ",".join(mariadb_literal(v) for v in row) + ")"
                            for row in rows[start:start + 500])
        script.append("INSERT INTO t_member (%s) VALUES\n%s;" % (",".join(COLUMNS), values))
    script.append("COMMIT;")
    command = [client, "--no-defaults", "--default-character-set=utf8mb4",
               "--user=" + args.user]
    if args.password:
        command.append("--password=" + args.password)
    if args.socket:
        command.append("--socket=" + args.socket)
    if args.host:
        command.append("--host=" + args.host)
    if args.port:
        command.append("--port=%d" % args.port)
    command.append(args.mariadb)
    result = subprocess.run(command, input="\n".join(script).encode("utf-8"))
    if result.returncode != 0:
        sys.exit("load_members: %s failed with exit code %d" % (client, result.returncode))


def main():
    parser = argparse.ArgumentParser(description="Fill t_member from a CSV file.")
    target = parser.add_mutually_exclusive_group(required=True)
    target.add_argument("--sqlite", metavar="FILE", help="SQLite database file")
    target.add_argument("--mariadb", metavar="DATABASE", help="MariaDB/MySQL database name")
    parser.add_argument("--host")
    parser.add_argument("--port", type=int)
    parser.add_argument("--socket")
    parser.add_argument("--user", default="root")
    parser.add_argument("--password")
    parser.add_argument("--replace", action="store_true", help="empty the table first")
    parser.add_argument("--encoding", default="utf-8-sig", help="CSV encoding (default UTF-8)")
    parser.add_argument("csv", help="CSV file with a header line")
    args = parser.parse_args()

    rows = read_rows(args.csv, args.encoding)
    if args.sqlite:
        load_sqlite(args.sqlite, rows, args.replace)
    else:
        load_mariadb(args, rows)
    print("load_members: %d members loaded" % len(rows))


if __name__ == "__main__":
    main()
