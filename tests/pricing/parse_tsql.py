#!/usr/bin/env python3
"""Parses every statement text of a file (one per line) with the T-SQL grammar of sqlglot.

Each line must parse as exactly one statement. Exits 0 when every text parses, 1 when one does
not (naming it), 77 when sqlglot is not installed (the test is then skipped).
"""
import sys
from concurrent.futures import ProcessPoolExecutor

try:
    import sqlglot
    from sqlglot.errors import ErrorLevel
except ImportError:
    print("SKIP: sqlglot is not installed (Debian package python3-sqlglot)")
    sys.exit(77)


def check(text):
    try:
        statements = [s for s in sqlglot.parse(text, read="tsql", error_level=ErrorLevel.RAISE) if s]
    except Exception as error:  # sqlglot raises ParseError, TokenError and others
        return f"{type(error).__name__}: {error}".splitlines()[0]
    if len(statements) != 1:
        return f"{len(statements)} statements instead of one"
    return None


def main():
    if len(sys.argv) != 2:
        print("usage: parse_tsql.py FILE")
        return 2
    with open(sys.argv[1], encoding="utf-8") as file:
        texts = [line.rstrip("\n") for line in file if line.strip()]
    if not texts:
        print("no statement texts")
        return 1
    with ProcessPoolExecutor(max_workers=2) as pool:
        results = list(pool.map(check, texts, chunksize=8))
    failures = [(text, why) for text, why in zip(texts, results) if why]
    for text, why in failures[:10]:
        print(f"REJECTED: {why}\n  {text[:400]}")
    print(f"{len(texts) - len(failures)} of {len(texts)} statement texts parse as T-SQL "
          f"(sqlglot {sqlglot.__version__})")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
