#!/usr/bin/env python3
"""The power-cut model's rules, case by case: what the synced and the kill state hold."""
import os
import random
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import powercut_model as m  # noqa: E402

D = "/r/d"  # the root "d"; "h" is a device root (a handheld keeps its own power)
OLD = ("file", b"old")


def op(kind, **fields):
    return (kind, 1, fields)


def durable_write(name, data, ident, sync_folder=True, folder=D):
    """WriteFileDurably: temporary, write, fsync, rename over, folder sync."""
    temp = folder + "/" + name + ".~1-0"
    out = [op(m.OPEN, file=ident, flags=os.O_CREAT, mode=0, path=temp),
           op(m.WRITE, file=ident, offset=0, bytes=data),
           op(m.FSYNC, file=ident, folder=0, path=temp),
           op(m.RENAME, **{"from": temp, "to": folder + "/" + name})]
    ident = (9, 9) if folder == D else (8, 8)
    return out + ([op(m.FSYNC, file=ident, folder=1, path=folder)] if sync_folder else [])


CASES = [
    # (what, tree before, records, synced state's d tree, kill state's d tree)
    ("a new file unsynced is lost", {}, [op(m.OPEN, file=(1, 1), flags=os.O_CREAT, mode=0,
                                            path=D + "/a"),
                                         op(m.WRITE, file=(1, 1), offset=0, bytes=b"x")],
     {}, {"a": ("file", b"x")}),
    ("a synced file without its folder's sync has no name",
     {}, durable_write("a", b"new", (1, 1), sync_folder=False), {}, {"a": ("file", b"new")}),
    ("a durable write is whole", {"a": OLD}, durable_write("a", b"new", (1, 1)),
     {"a": ("file", b"new")}, {"a": ("file", b"new")}),
    ("a rename before its folder's sync leaves the old file", {"a": OLD},
     durable_write("a", b"new", (1, 1), sync_folder=False), {"a": OLD}, {"a": ("file", b"new")}),
    ("an in-place change without fsync is lost", {"a": OLD},
     [op(m.OPEN, file=(5, 5), flags=os.O_RDWR, mode=0, path=D + "/a"),
      op(m.WRITE, file=(5, 5), offset=0, bytes=b"NEW")], {"a": OLD}, {"a": ("file", b"NEW")}),
    ("a folder made and synced inside, its parent never, vanishes with its files", {},
     [op(m.MKDIR, path=D + "/Inbox")] + durable_write("x", b"1", (1, 1), folder=D + "/Inbox"),
     {}, {"Inbox": ("dir",), "Inbox/x": ("file", b"1")}),
    ("msync brings a mapping's bytes to the disk", {"a": OLD},
     [op(m.OPEN, file=(5, 5), flags=os.O_RDWR, mode=0, path=D + "/a"),
      op(m.MSYNC, file=(5, 5), offset=1, bytes=b"LD")], {"a": ("file", b"oLD")},
     {"a": ("file", b"oLD")}),
    ("a file moved to another folder is under one name at least", {"a": OLD, "s": ("dir",)},
     [op(m.RENAME, **{"from": D + "/a", "to": D + "/s/a"})],
     {"a": OLD, "s": ("dir",)}, {"s": ("dir",), "s/a": OLD}),
    ("the sync of the folder a file left makes its new name durable", {"a": OLD, "s": ("dir",)},
     [op(m.RENAME, **{"from": D + "/a", "to": D + "/s/a"}),
      op(m.FSYNC, file=(9, 9), folder=1, path=D)],
     {"s": ("dir",), "s/a": OLD}, {"s": ("dir",), "s/a": OLD}),
    ("a new folder's sync counts though its inode was a removed file's", {"a": OLD},
     [op(m.UNLINK, path=D + "/a"), op(m.MKDIR, path=D + "/n"),
      op(m.OPEN, file=(1, 1), flags=os.O_CREAT, mode=0, path=D + "/n/x"),
      op(m.FSYNC, file=(1, 1), folder=0, path=D + "/n/x"),
      op(m.FSYNC, file=(5, 5), folder=1, path=D + "/n"), op(m.FSYNC, file=(9, 9), folder=1,
                                                            path=D)],
     {"n": ("dir",), "n/x": ("file", b"")}, {"n": ("dir",), "n/x": ("file", b"")}),
    ("a handheld keeps what it was sent", {}, [op(m.OPEN, file=(1, 1), flags=os.O_CREAT,
                                                  mode=0, path="/r/h/a")], {}, {}),
]


class Rules(unittest.TestCase):
    def model(self, before):
        return m.Model({"d": D, "h": "/r/h"}, {"d": before, "h": {}},
                       {"d": {"a": (5, 5), "": (9, 9)}}, device=("h",))

    def test_cases(self):
        for what, before, records, synced, killed in CASES:
            with self.subTest(what):
                model = self.model(before)
                for r in records:
                    model.step(r)
                self.assertEqual(model.state("synced")[0]["d"], synced)
                self.assertEqual(model.state("kill")[0]["d"], killed)
                if what.startswith("a handheld"):
                    self.assertEqual(model.state("synced")[0]["h"], {"a": ("file", b"")})

    def test_a_moved_file_is_never_under_no_name(self):
        model = self.model({"a": OLD, "s": ("dir",), "t": ("dir",)})
        model.step(op(m.RENAME, **{"from": D + "/a", "to": D + "/s/a"}))
        model.step(op(m.RENAME, **{"from": D + "/s/a", "to": D + "/t/a"}))
        for seed in range(40):
            tree = model.state("sampled", random.Random(seed))[0]["d"]
            self.assertTrue({"a", "s/a", "t/a"} & set(tree), tree)

    def test_unsynced_pages_are_kept_or_lost_each_whole(self):
        model = self.model({"a": ("file", b"o" * 3 * m.PAGE)})
        model.step(op(m.OPEN, file=(5, 5), flags=os.O_RDWR, mode=0, path=D + "/a"))
        model.step(op(m.WRITE, file=(5, 5), offset=0, bytes=b"n" * 3 * m.PAGE))
        seen = set()
        for seed in range(40):
            data = model.state("sampled", random.Random(seed))[0]["d"]["a"][1]
            seen.add(tuple(data[p * m.PAGE:(p + 1) * m.PAGE] in (b"o" * m.PAGE, b"n" * m.PAGE)
                           and data[p * m.PAGE:p * m.PAGE + 1] for p in range(3)))
        self.assertTrue(all(all(pages) for pages in seen))
        self.assertGreater(len(seen), 4)  # pages in any combination, not only a prefix


if __name__ == "__main__":
    unittest.main()
