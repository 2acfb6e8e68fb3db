#!/usr/bin/env python3
"""Builds the translation file zaptor.lng from translations/<code>.tsv.

Each source line is "English<TAB>translation"; "@language<TAB>code" and
"@name<TAB>display name" set the meta rows; "#" starts a comment line. In the
texts, \\t, \\n and \\\\ stand for a tab, a line break and a backslash.

The file gets the tables meta(key, value), base_lang(word_id, text) and one
table per language code (word_id, text). It is written to a temporary file
and renamed, so a failed build never leaves half a file behind.
"""
import argparse
import os
import re
import sqlite3
import sys

RESERVED = {"meta", "base_lang"}


class SourceError(Exception):
    pass


def unescape(text, where):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == "\\":
            if i + 1 >= len(text):
                raise SourceError(f"{where}: lone backslash at the end of a text")
            nxt = text[i + 1]
            mapped = {"t": "\t", "n": "\n", "\\": "\\"}.get(nxt)
            if mapped is None:
                raise SourceError(f"{where}: unknown escape \\{nxt}")
            out.append(mapped)
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read_source(path):
    """Returns (code, display name, [(english, translated)])."""
    code = None
    name = None
    rows = []
    seen = {}
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            where = f"{path}:{number}"
            line = raw.rstrip("\r\n")
            if not line.strip() or line.startswith("#"):
                continue
            parts = line.split("\t")
            if len(parts) != 2:
                raise SourceError(f"{where}: expected one tab between two texts, found {len(parts) - 1}")
            left, right = parts
            if left == "@language":
                code = right
                continue
            if left == "@name":
                name = right
                continue
            if left.startswith("@"):
                raise SourceError(f"{where}: unknown directive {left}")
            english = unescape(left, where)
            translated = unescape(right, where)
            if not english or not translated:
                raise SourceError(f"{where}: empty text")
            if english in seen:
                raise SourceError(f"{where}: '{english}' already given on line {seen[english]}")
            seen[english] = number
            rows.append((english, translated))
    if code is None:
        code = os.path.splitext(os.path.basename(path))[0]
    if not re.fullmatch(r"[A-Za-z][A-Za-z0-9_]*", code) or code in RESERVED:
        raise SourceError(f"{path}: '{code}' cannot be a language code")
    return code, name, rows


def build(sources, output):
    languages = [read_source(p) for p in sources]
    codes = [c for c, _, _ in languages]
    if len(set(codes)) != len(codes):
        raise SourceError("a language code is given by more than one source")

    word_ids = {}
    for _, _, rows in languages:
        for english, _ in rows:
            word_ids.setdefault(english, len(word_ids) + 1)

    temporary = output + ".tmp"
    if os.path.exists(temporary):
        os.remove(temporary)
    db = sqlite3.connect(temporary)
    try:
        db.execute("CREATE TABLE meta (key TEXT, value TEXT)")
        db.execute("CREATE TABLE base_lang (word_id INTEGER PRIMARY KEY, text TEXT)")
        db.executemany("INSERT INTO base_lang VALUES (?, ?)",
                       [(i, e) for e, i in word_ids.items()])
        for code, name, rows in languages:
            db.execute("INSERT INTO meta VALUES ('language', ?)", (code,))
            if name:
                db.execute("INSERT INTO meta VALUES (?, ?)", (name, code))
            db.execute(f'CREATE TABLE "{code}" (word_id INTEGER PRIMARY KEY, text TEXT)')
            db.executemany(f'INSERT INTO "{code}" VALUES (?, ?)',
                           [(word_ids[e], t) for e, t in rows])
        db.commit()
    finally:
        db.close()
    os.replace(temporary, output)
    return sum(len(rows) for _, _, rows in languages)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--output", required=True)
    parser.add_argument("sources", nargs="+")
    args = parser.parse_args()
    try:
        count = build(args.sources, args.output)
    except (SourceError, OSError, sqlite3.Error) as e:
        print(f"build_lng: {e}", file=sys.stderr)
        return 1
    print(f"build_lng: {count} texts in {len(args.sources)} language(s) -> {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
