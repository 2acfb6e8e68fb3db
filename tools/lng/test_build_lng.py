#!/usr/bin/env python3
"""Tests of build_lng.py on small sources written to a temporary folder."""
import os
import sqlite3
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import build_lng  # noqa: E402


class BuildLngTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.out = os.path.join(self.dir.name, "zaptor.lng")

    def tearDown(self):
        self.dir.cleanup()

    def source(self, name, text):
        path = os.path.join(self.dir.name, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path

    def test_tables_meta_and_escapes(self):
        de = self.source("de.tsv", "# comment\n@language\tde\n@name\tDeutsch\n\n"
                                   "Delete\tLöschen\nTab\\there\tTab\\tda\n"
                                   "Back\\\\slash\\nline\tRück\\\\strich\\nZeile\n"
                                   "Star \U0001F31F\tStern \U0001F31F\n")
        fr = self.source("fr.tsv", "@name\tFrancais\nDelete\tSupprimer\nOnly French\tSeulement\n")
        self.assertEqual(build_lng.build([de, fr], self.out), 6)
        db = sqlite3.connect(self.out)
        meta = db.execute("SELECT key, value FROM meta ORDER BY rowid").fetchall()
        self.assertEqual(meta, [("language", "de"), ("Deutsch", "de"),
                                ("language", "fr"), ("Francais", "fr")])
        rows = dict(db.execute("SELECT base_lang.text, de.text FROM base_lang "
                               "JOIN de USING (word_id)").fetchall())
        self.assertEqual(rows["Tab\there"], "Tab\tda")
        self.assertEqual(rows["Back\\slash\nline"], "Rück\\strich\nZeile")
        self.assertEqual(rows["Star \U0001F31F"], "Stern \U0001F31F")
        # Both languages share the word ids of base_lang.
        self.assertEqual(db.execute("SELECT fr.text FROM base_lang JOIN fr USING (word_id) "
                                    "WHERE base_lang.text='Delete'").fetchone()[0], "Supprimer")
        self.assertEqual(db.execute("SELECT count(*) FROM base_lang").fetchone()[0], 5)
        db.close()

    def test_bad_sources_fail_and_leave_the_old_file(self):
        good = self.source("de.tsv", "Delete\tLöschen\n")
        build_lng.build([good], self.out)
        with open(self.out, "rb") as f:
            before = f.read()
        bad_sources = {
            "duplicate": "Delete\tLöschen\nDelete\tEntfernen\n",
            "no tab": "Delete Löschen\n",
            "two tabs": "Delete\tLöschen\tx\n",
            "empty": "Delete\t\n",
            "escape": "Delete\\q\tx\n",
            "code": "@language\tde'; DROP TABLE meta; --\nDelete\tx\n",
        }
        for what, text in bad_sources.items():
            with self.subTest(what):
                path = self.source("de.tsv", text)
                with self.assertRaises(build_lng.SourceError):
                    build_lng.build([path], self.out)
                with open(self.out, "rb") as f:
                    self.assertEqual(f.read(), before)


if __name__ == "__main__":
    unittest.main()
