#!/usr/bin/env python3
"""Random SQL queries over small random relations, answered by veltra -FS and by
SQLite (Python's sqlite3 module); the result sets must agree.

Usage: sql_sqlite.py VELTRA_BINARY
The seed is fixed; VELTRA_SQL_QUERIES=N sets the number of queries (default 120)
and VELTRA_SQL_SEED=S the seed (default 18). Exits 77 (skipped) when the sqlite3
module is missing.
"""
import os
import random
import subprocess
import sys
import tempfile

try:
    import sqlite3
except ImportError:
    print("skipped: Python has no sqlite3 module")
    sys.exit(77)

KEYWORDS = ["WITH", "RECURSIVE", "AS", "UNION", "ALL", "SELECT", "DISTINCT", "FROM", "WHERE", "AND",
            "DATALOG-SCHEMA"]
VALUES = [0, 1, 2, "p", "q"]


class Scope:
    """The relations a query may read: name -> attribute list."""

    def __init__(self, relations):
        self.relations = dict(relations)


def make_relations(rng):
    """Three or four base relations, their attributes drawn from a small pool so
    that attribute names are shared between relations."""
    relations = {}
    for name in ["r", "s", "t", "u"][: rng.randint(3, 4)]:
        arity = rng.randint(1, 3)
        relations[name] = rng.sample(["a", "b", "c", "d", "e"], arity)
    return relations


def make_data(rng, relations):
    data = {}
    for name, attributes in relations.items():
        rows = set()
        for _ in range(rng.choice([0, 0, 1, 2, 3, 4, 5, 6])):
            rows.add(tuple(rng.choice(VALUES) for _ in attributes))
        data[name] = sorted(rows, key=str)
    return data


def reference(rng, scope, items, correlation, attribute):
    """A column reference, unqualified where exactly one FROM item has the
    attribute (so that neither system finds it ambiguous)."""
    holders = [c for c, rel in items if attribute in scope.relations[rel]]
    if len(holders) == 1 and rng.random() < 0.5:
        return attribute
    return correlation + "." + attribute


def make_block(rng, scope, width, readable):
    """One SELECT block of width columns over one to three FROM items of the
    relations in readable, with equality conditions joined by AND."""
    items = []
    used_unaliased = set()
    for i in range(rng.randint(1, 3)):
        relation = rng.choice(readable)
        if relation not in used_unaliased and rng.random() < 0.5:
            used_unaliased.add(relation)
            items.append((relation, relation))
        else:
            items.append(("x%d" % i, relation))
    columns = [(c, a) for c, rel in items for a in scope.relations[rel]]
    if rng.random() < 0.3:  # an item none of whose columns is named still restricts the result
        items.append(("x%d" % len(items), rng.choice(readable)))
    select = [reference(rng, scope, items, *rng.choice(columns)) for _ in range(width)]
    conditions = []
    for _ in range(rng.choice([0, 1, 1, 2, 2, 3, 4])):
        left, right = rng.choice(columns), rng.choice(columns)
        conditions.append(reference(rng, scope, items, *left) + " = " + reference(rng, scope, items, *right))
    text = "SELECT "
    if rng.random() < 0.2:
        text += "DISTINCT "
    text += ", ".join(select) + " FROM "
    text += ", ".join(rel if c == rel else "%s %s%s" % (rel, rng.choice(["", "AS "]), c) for c, rel in items)
    if conditions:
        text += " WHERE " + " AND ".join(conditions)
    return text


def make_union(rng, scope, width, readable):
    blocks = [make_block(rng, scope, width, readable) for _ in range(rng.randint(1, 3))]
    text = blocks[0]
    for block in blocks[1:]:
        operator = rng.choice(["UNION", "UNION ALL"])
        if rng.random() < 0.3:  # SQLite takes no parenthesised members
            block = "{(" + block + ")}"
        text += "\n" + operator + " " + block
    return text


def make_query(rng, relations):
    """A query statement of one of the supported kinds, and its kind."""
    scope = Scope(relations)
    base = list(relations)
    kind = rng.choice(["block", "block", "union", "with", "recursive"])
    width = rng.randint(1, 3)
    if kind == "block":
        return kind, make_block(rng, scope, width, base)
    if kind == "union":
        return kind, make_union(rng, scope, width, base)
    if kind == "with":
        columns = ["w%d" % i for i in range(rng.randint(1, 3))]
        inner = make_union(rng, scope, len(columns), base)
        scope.relations["w"] = columns
        outer = make_block(rng, scope, width, base + ["w", "w"])
        return kind, "WITH w(%s) AS (%s)\n%s" % (", ".join(columns), inner, outer)
    # The transitive closure of two columns of a relation, then a block over it.
    binary = [name for name in base if len(relations[name]) >= 2] or [base[0]]
    relation = rng.choice(binary)
    attributes = relations[relation]
    first, second = (rng.sample(attributes, 2) if len(attributes) >= 2 else (attributes[0], attributes[0]))
    exit_block = "SELECT %s.%s, %s.%s FROM %s" % (relation, first, relation, second, relation)
    step = "SELECT %s.%s, tc.y FROM %s, tc WHERE %s.%s = tc.x" % (relation, first, relation, relation, second)
    scope.relations["tc"] = ["x", "y"]
    outer = make_block(rng, scope, width, ["tc", "tc"] + base)
    return kind, "WITH RECURSIVE tc(x, y) AS (%s UNION %s)\n%s" % (exit_block, step, outer)


def value_text(value):
    return str(value)


def lower_keywords(text):
    for keyword in KEYWORDS:
        text = text.replace(keyword + " ", keyword.lower() + " ").replace(keyword + "\n", keyword.lower() + "\n")
    return text


def run_veltra(binary, workdir, relations, data, query, rng):
    program = "".join("%s(%s).\n" % (name, ", ".join(value_text(v) for v in row))
                      for name, rows in data.items() for row in rows)
    schema = "DATALOG-SCHEMA " + ", ".join("%s(%s)" % (n, ", ".join(a)) for n, a in relations.items()) + ";\n"
    text = "-- a random query\n" + schema + query.replace("{(", "(").replace(")}", ")") + ";\n"
    if rng.random() < 0.3:
        text = lower_keywords(text)
    with open(os.path.join(workdir, "data.dl"), "w") as f:
        f.write(program)
    with open(os.path.join(workdir, "query.sql"), "w") as f:
        f.write(text)
    result = subprocess.run([binary, "-silent", "-FS", "data.dl", "query.sql"], cwd=workdir,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    rows = []
    for line in result.stdout.decode().splitlines():
        rows.append(tuple(v for v in line.split("\t") if v != ""))
    return result.returncode, result.stderr.decode(), rows, text, program


def run_sqlite(relations, data, query):
    connection = sqlite3.connect(":memory:")
    for name, attributes in relations.items():
        connection.execute("CREATE TABLE %s (%s)" % (name, ", ".join(attributes)))
        for row in data[name]:
            connection.execute("INSERT INTO %s VALUES (%s)" % (name, ", ".join("?" * len(row))), row)
    rows = connection.execute(query.replace("{(", "").replace(")}", "")).fetchall()
    connection.close()
    return {tuple(value_text(v) for v in row) for row in rows}


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    binary = os.path.abspath(sys.argv[1])
    count = int(os.environ.get("VELTRA_SQL_QUERIES", "120"))
    seed = int(os.environ.get("VELTRA_SQL_SEED", "18"))
    rng = random.Random(seed)
    failures = 0
    kinds = {}
    with tempfile.TemporaryDirectory() as workdir:
        for index in range(count):
            relations = make_relations(rng)
            data = make_data(rng, relations)
            kind, query = make_query(rng, relations)
            kinds[kind] = kinds.get(kind, 0) + 1
            expected = run_sqlite(relations, data, query)
            status, stderr, rows, text, program = run_veltra(binary, workdir, relations, data, query, rng)
            problem = None
            if status != 0 or stderr:
                problem = "status %d, stderr:\n%s" % (status, stderr)
            elif len(rows) != len(set(rows)):
                problem = "duplicate rows: %s" % rows
            elif set(rows) != expected:
                problem = "veltra %s\nsqlite %s" % (sorted(set(rows)), sorted(expected))
            if problem:
                failures += 1
                print("query %d (seed %d, %s) differs:\n--- data.dl\n%s--- query.sql\n%s%s\n"
                      % (index, seed, kind, program, text, problem))
    print("kinds: " + ", ".join("%s %d" % (k, n) for k, n in sorted(kinds.items())))
    print("%d passed, %d failed" % (count - failures, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
