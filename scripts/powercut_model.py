"""What a power cut can leave on a disk that keeps only what was synced.

Reads the log NB_RECORD writes (platform/src/record.h) and replays it over a snapshot of the
folders it concerns. At each point of the log the model knows what the processes saw (the kill
state) and what a file system keeping only what was synced holds:
  - data written to a file since its last fsync (or msync) may be lost, or kept in part, in
    whole 4 KiB pages, in any order;
  - a create, rename, unlink, mkdir or symlink is durable only once its folder is synced;
  - changes to different files and folders reach the disk in any order unless a sync
    orders them.
A state is the trees of the roots, {relative path: ("dir",) | ("file", bytes) |
("link", target)}, with for each loss the rule and the file that made it.
"""
import os
import random
import struct

PAGE = 4096
OPEN, WRITE, TRUNCATE, FSYNC, RENAME, UNLINK, MKDIR, MSYNC, MUNMAP, SYMLINK, CHMOD = range(1, 12)
KINDS = {OPEN: "open", WRITE: "write", TRUNCATE: "truncate", FSYNC: "fsync", RENAME: "rename",
         UNLINK: "unlink", MKDIR: "mkdir", MSYNC: "msync", MUNMAP: "munmap",
         SYMLINK: "symlink", CHMOD: "chmod"}


def read_log(path, start=0):
    """The records from byte `start` on: (kind, pid, fields) with fields a dict."""
    with open(path, "rb") as f:
        data = f.read()
    out, at = [], start

    def u(n):
        nonlocal at
        at += n
        return int.from_bytes(data[at - n:at], "little")

    def text():
        nonlocal at
        n = u(4)
        at += n
        return data[at - n:at]

    while at + 9 <= len(data):
        end = at + 4 + struct.unpack_from("<I", data, at)[0]
        at += 4
        kind, pid = u(1), u(4)
        r = {}
        if kind in (OPEN, WRITE, TRUNCATE, FSYNC, MSYNC, MUNMAP):
            r["file"] = (u(8), u(8))
        if kind == OPEN:
            r["flags"], r["mode"], r["path"] = u(4), u(4), text().decode()
        elif kind in (WRITE, MSYNC, MUNMAP):
            r["offset"], r["bytes"] = u(8), text()
        elif kind == TRUNCATE:
            r["size"] = u(8)
        elif kind == FSYNC:
            r["folder"], r["path"] = u(1), text().decode()
        elif kind == RENAME:
            r["from"], r["to"] = text().decode(), text().decode()
        elif kind in (UNLINK, MKDIR):
            r["path"] = text().decode()
        elif kind == SYMLINK:
            r["target"], r["path"] = text().decode(), text().decode()
        elif kind == CHMOD:
            r["path"], r["mode"] = text().decode(), u(4)
        at = end
        out.append((kind, pid, r))
    return out


class Node:
    def __init__(self, kind, name, content=b"", target=""):
        self.kind, self.name = kind, name  # the name it was first known by, for reports
        self.content = self.durable = content  # files: what the processes see, what is synced
        self.pending = []  # ("write", offset, bytes, position) | ("truncate", size, position)
        self.entries = {}  # folders: name -> Node, as the processes see them
        self.durable_entries = {}
        self.changes = []  # (name, Node or None, position) since the folder's last sync
        self.target = target
        self.device = False  # on the handheld: kept whatever the desktop's power does


def apply(content, op):
    if op[0] == "truncate":
        return content[:op[1]] + b"\0" * max(0, op[1] - len(content))
    _, offset, data = op[:3]
    if offset > len(content):
        content += b"\0" * (offset - len(content))
    return content[:offset] + data + content[offset + len(data):]


def pieces(op):
    """A write as the whole pages a disk may keep or lose, each on its own."""
    if op[0] != "write":
        return [op]
    _, offset, data, pos = op
    out, at = [], offset
    while at < offset + len(data):
        end = min((at // PAGE + 1) * PAGE, offset + len(data))
        out.append(("write", at, data[at - offset:end - offset], pos))
        at = end
    return out


class Model:
    """The roots {name: absolute folder}, their trees as before the run (tree_of), and the
    identities (st_dev, st_ino) of what they held then. `device` names roots whose changes are
    kept whatever happens (the handheld keeps its own power)."""

    def __init__(self, roots, trees, identities, device=(), ignored=()):
        self.roots = {name: os.path.realpath(path) for name, path in roots.items()}
        self.ignored = [os.path.realpath(p) for p in ignored]
        self.top = {}
        self.by_id = {}
        self.folders = []  # every folder, for the choices a state makes before its walk
        self.forced = set()  # changes made durable by another folder's sync
        self.position = 0
        for name, tree in trees.items():
            top = self.top[name] = self._folder(name)
            top.device = name in device
            for rel in sorted(tree):
                node = self._node(tree[rel], name + "/" + rel)
                node.device = top.device
                parent = self._lookup_rel(name, os.path.dirname(rel))
                parent.entries[os.path.basename(rel)] = node
                parent.durable_entries[os.path.basename(rel)] = node
                if rel in identities.get(name, {}):
                    self.by_id[tuple(identities[name][rel])] = node
            self.by_id[tuple(identities.get(name, {}).get("", (-1, -1)))] = top

    def _node(self, entry, name):
        if entry[0] == "dir":
            return self._folder(name)
        if entry[0] == "link":
            return Node("link", name, target=entry[1])
        return Node("file", name, content=entry[1])

    def _folder(self, name):
        node = Node("dir", name)
        self.folders.append(node)
        return node

    def _lookup_rel(self, root, rel):
        node = self.top[root]
        for part in [p for p in rel.split("/") if p]:
            node = node.entries[part]
        return node

    def _display(self, path):
        for root, top in self.roots.items():
            if path.startswith(top + "/"):
                return root + path[len(top):]
        return path

    def _split(self, path):
        """(root, folder node, name) of an absolute path in a root, or None."""
        if any(path == p or path.startswith(p + "/") for p in self.ignored):
            return None
        for root, top in self.roots.items():
            if path.startswith(top + "/"):
                rel = path[len(top) + 1:]
                try:
                    folder = self._lookup_rel(root, os.path.dirname(rel))
                except KeyError:
                    return None
                return root, folder, os.path.basename(rel)
        return None

    def _name_change(self, folder, *names, after=None):
        """names: (name, Node or None) pairs that reach the disk together; `after`: the change
        this one cannot reach the disk without (a rename's new name in another folder)."""
        for name, node in names:
            if node is None:
                folder.entries.pop(name, None)
            else:
                folder.entries[name] = node
        change = (names, self.position, after)
        folder.changes.append(change)
        if folder.device:
            self._sync_folder(folder)
        return change

    def _sync_folder(self, folder):
        # A rename out of this folder is one change with its new name: that one is durable too.
        self.forced.update(id(c[2]) for c in folder.changes if c[2] is not None)
        folder.durable_entries = dict(folder.entries)
        folder.changes = []

    def _data_change(self, node, op, synced=False):
        node.content = apply(node.content, op)
        if synced or node.device:
            node.durable = apply(node.durable, op)
        else:
            node.pending.append(op + (self.position,))

    def step(self, record):
        """Replays one record."""
        kind, _, r = record
        self.position += 1
        if kind == OPEN:
            where = self._split(r["path"])
            if not where:
                return
            _, folder, name = where
            node = folder.entries.get(name)
            if node is None or node.kind != "file":
                node = Node("file", self._display(r["path"]))
                node.device = folder.device
                self._name_change(folder, (name, node))
            elif r["flags"] & os.O_TRUNC:
                self._data_change(node, ("truncate", 0))
            self.by_id[r["file"]] = node
        elif kind in (WRITE, MUNMAP, MSYNC, TRUNCATE):
            node = self.by_id.get(r["file"])
            if node is None or node.kind != "file":
                return
            op = ("truncate", r["size"]) if kind == TRUNCATE else ("write", r["offset"],
                                                                   r["bytes"])
            self._data_change(node, op, synced=kind == MSYNC)
        elif kind == FSYNC:
            # A folder by its name: the inode number of a removed file may be a new folder's.
            where = self._split(r["path"]) if r["folder"] else None
            node = where and where[1].entries.get(where[2])
            if node is None or node.kind != "dir":
                node = self.by_id.get(r["file"])
            if node is None:
                return
            self.by_id[r["file"]] = node
            if node.kind == "dir":
                self._sync_folder(node)
            else:
                node.durable, node.pending = node.content, []
        elif kind == RENAME:
            a, b = self._split(r["from"]), self._split(r["to"])
            node = a and a[1].entries.get(a[2])
            if node is None:
                return
            # Reports name a file as it is called last.
            node.name = self._display(r["to"])
            # Within one folder a rename is one change: the old name or the new, never none.
            if b and a[1] is b[1]:
                self._name_change(a[1], (a[2], None), (b[2], node))
                return
            # Across folders a file may show under both names, never under none.
            added = self._name_change(b[1], (b[2], node)) if b else None
            self._name_change(a[1], (a[2], None), after=added)
        elif kind == UNLINK:
            where = self._split(r["path"])
            if where:
                self._name_change(where[1], (where[2], None))
        elif kind in (MKDIR, SYMLINK):
            where = self._split(r["path"])
            if where:
                shown = self._display(r["path"])
                node = self._folder(shown) if kind == MKDIR else Node(
                    "link", shown, target=r["target"])
                node.device = where[1].device
                self._name_change(where[1], (where[2], node))

    def state(self, how, rnd=None):
        """The trees a power cut now leaves: how = "kill" (all kept), "synced" (only what was
        synced) or "sampled" (each unsynced change kept or lost at random by `rnd`); and the
        losses, [(rule, file, log position)]."""
        trees, losses = {}, []
        self._kept = {}
        if how == "sampled":
            for folder in self.folders:
                keep = rnd.randint(0, len(folder.changes)) if folder.changes else 0
                self._kept[id(folder)] = keep
        self._lost = {id(c) for f in self.folders for c in f.changes[self._keep(f, how):]
                      if id(c) not in self.forced} if how != "kill" else set()
        for root, top in self.top.items():
            tree = trees[root] = {}
            self._walk(top, "", tree, how, rnd, losses, set())
        return trees, losses

    def _entries(self, folder, how, rnd, losses):
        if how == "kill" or not folder.changes:
            return folder.entries
        keep = self._keep(folder, how)
        entries = dict(folder.durable_entries)
        kept = folder.changes[:keep] + [c for c in folder.changes[keep:]
                                        if id(c) in self.forced]
        for names, _, after in kept:
            for name, node in names:
                if node is None and after is not None and id(after) in self._lost:
                    continue
                if node is None:
                    entries.pop(name, None)
                else:
                    entries[name] = node
        for names, pos, _ in [c for c in folder.changes[keep:] if id(c) not in self.forced]:
            losses.append(("name not synced in its folder", folder.name + "/" + names[-1][0],
                           pos))
        return entries

    def _keep(self, folder, how):
        """How many of the folder's changes since its last sync this state keeps."""
        if how == "kill":
            return len(folder.changes)
        return self._kept.get(id(folder), 0) if how == "sampled" else 0

    def _content(self, node, how, rnd, losses):
        if how == "kill" or not node.pending:
            return node.content
        content = node.durable
        for op in node.pending:
            for piece in pieces(op):
                if how == "sampled" and rnd.random() < 0.5:
                    content = apply(content, piece)
                else:
                    losses.append(("data not synced", node.name, op[-1]))
        return content

    def _walk(self, folder, rel, tree, how, rnd, losses, seen):
        if id(folder) in seen:
            return
        seen.add(id(folder))
        for name, node in sorted(self._entries(folder, how, rnd, losses).items()):
            path = rel + name
            if node.kind == "dir":
                tree[path] = ("dir",)
                self._walk(node, path + "/", tree, how, rnd, losses, seen)
            elif node.kind == "link":
                tree[path] = ("link", node.target)
            else:
                tree[path] = ("file", self._content(node, how, rnd, losses))


def tree_of(folder, skip=()):
    """A folder as the model's tree and the identities of what it holds, {rel: (dev, ino)},
    "" for the folder itself; names in `skip` (relative) are left out."""
    tree, ids = {}, {}
    st = os.lstat(folder)
    ids[""] = (st.st_dev, st.st_ino)
    for dirpath, dirs, files in os.walk(folder):
        rel_dir = os.path.relpath(dirpath, folder)
        rel_dir = "" if rel_dir == "." else rel_dir + "/"
        dirs[:] = [d for d in dirs if rel_dir + d not in skip]
        for name in dirs + files:
            path, rel = os.path.join(dirpath, name), rel_dir + name
            if rel in skip:
                continue
            st = os.lstat(path)
            ids[rel] = (st.st_dev, st.st_ino)
            if os.path.islink(path):
                tree[rel] = ("link", os.readlink(path))
                if name in dirs:
                    dirs.remove(name)
            elif os.path.isdir(path):
                tree[rel] = ("dir",)
            else:
                with open(path, "rb") as f:
                    tree[rel] = ("file", f.read())
    return tree, ids


def materialise(trees, folders):
    """Writes each root's tree into folders[root] (made anew)."""
    for root, tree in trees.items():
        top = folders[root]
        os.makedirs(top, exist_ok=True)
        for rel in sorted(tree):
            entry, path = tree[rel], os.path.join(top, rel)
            if entry[0] == "dir":
                os.makedirs(path, exist_ok=True)
            elif entry[0] == "link":
                os.symlink(entry[1], path)
            else:
                with open(path, "wb") as f:
                    f.write(entry[1])


def digest(trees):
    import hashlib
    h = hashlib.sha1()
    for root in sorted(trees):
        for rel in sorted(trees[root]):
            h.update(repr((root, rel, trees[root][rel])).encode())
    return h.hexdigest()


def count_syncs(records):
    """fsyncs of files and of folders, msyncs."""
    files = sum(1 for k, _, r in records if k == FSYNC and not r["folder"])
    folders = sum(1 for k, _, r in records if k == FSYNC and r["folder"])
    msyncs = sum(1 for k, _, r in records if k == MSYNC)
    return files, folders, msyncs


def crash_points(records, n, rnd):
    """Where to cut: after every fsync, msync and rename, then others at random, n in all at
    most (the sync and rename points first)."""
    must = [i + 1 for i, (k, _, _) in enumerate(records) if k in (FSYNC, MSYNC, RENAME)]
    taken = set(must)
    rest = [i for i in range(len(records) + 1) if i not in taken]
    rnd.shuffle(rest)
    if len(must) > n:
        must = sorted(rnd.sample(must, n))
    return sorted(set(must + rest[:max(0, n - len(must))]))


def states(model, records, points, per_point, seed):
    """Yields (position, how, trees, losses) at each point: the synced state, the kill state
    and per_point - 2 sampled ones, each sample seeded by (seed, position, index)."""
    at = 0
    for point in points:
        while at < point:
            model.step(records[at])
            at += 1
        for i in range(per_point):
            how = ("synced", "kill")[i] if i < 2 else "sampled"
            rnd = random.Random("%d/%d/%d" % (seed, point, i))
            trees, losses = model.state(how, rnd)
            yield point, how, trees, losses
