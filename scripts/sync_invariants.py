"""What a synchronisation must come to after any interruption, for the kill harness and the
power-cut check: how a trial folder is set up and synchronised, and the invariants of a
recovered one compared with an uninterrupted run (see scripts/crash-harness).
"""
import hashlib
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BIN = os.path.join(os.environ.get("NB_BUILD_DIR", os.path.join(ROOT, "build")), "bin")
PROGRAM = "desktop/drive_c/Program Files/Valtrix"
# Temporaries of the durable write (".~PID-N"), a table's staged replacement (".~new"), and
# the older forms of both.
LEFTOVER = re.compile(
    r"(\.~\d+-\d+|\.~new|\.vxa\.\w{6}|\.tmp(\.\d+)?|\.ini\.\w{6}|\.tmp\.\d+)$", re.I)


def run_env(trial):
    env = dict(os.environ)
    # The trial's runtime state stays in its desktop, where the checks look for it.
    env.pop("XDG_RUNTIME_DIR", None)
    env.update(NB_PREFIX=os.path.join(trial, "desktop"), NB_UI="headless",
               NB_UI_LOG=os.path.join(trial, "ui.log.txt"))
    return env


def start_valtrix(trial, env):
    out = open(os.path.join(trial, "valtrix.out"), "ab")
    p = subprocess.Popen([os.path.join(trial, PROGRAM, "valtrix")], env=env, stdout=out,
                         stderr=subprocess.STDOUT)
    windows = os.path.join(trial, "desktop/run/windows")
    for _ in range(100):
        if os.path.isdir(windows) and any("frmValtrix" in open(os.path.join(windows, f),
                                                               errors="replace").read()
                                          for f in os.listdir(windows) if f.endswith(".info")):
            break
        time.sleep(0.05)
    return p


def start_sync(trial, env):
    out = open(os.path.join(trial, "sync.out"), "ab")
    return subprocess.Popen([os.path.join(BIN, "hotsync"), "sync", "--handheld",
                             os.path.join(trial, "handheld")], env=env, stdout=out,
                            stderr=subprocess.STDOUT)


def stop(p, timeout=30):
    try:
        return p.wait(timeout)
    except subprocess.TimeoutExpired:
        p.kill()
        p.wait()
        return None


# The risky moments valtrix reports; a traced kill waits for one, then a moment more.
TRACE = ["stage A>B", "exported appraisal", "export done", "imported ", "common responses",
         "import done", "stage B>A"]


def wait_for_trace(trial, start, marker, procs):
    path = os.path.join(trial, "valtrix.out")
    for _ in range(5000):
        with open(path, "rb") as f:
            f.seek(start)
            if marker.encode() in f.read():
                return
        if any(p.poll() is not None for p in procs):
            return
        time.sleep(0.001)


def one_sync(trial, env, kill=None):
    """One press of the button with valtrix running; kill = (victim, delay, marker) kills one,
    delay seconds after the start or, with a marker, after valtrix reported it."""
    out = os.path.join(trial, "valtrix.out")
    start = os.path.getsize(out) if os.path.exists(out) else 0
    v = start_valtrix(trial, env)
    s = start_sync(trial, env)
    hung = False
    if kill:
        victim, delay, marker = kill
        if marker:
            wait_for_trace(trial, start, marker, (v, s))
        time.sleep(delay)
        (s if victim == "hotsync" else v).send_signal(signal.SIGKILL)
    if stop(s) is None:
        hung = True
    v.send_signal(signal.SIGTERM)
    if stop(v, 10) is None:
        hung = True
    return hung


# The desktops a trial starts from: the appraisals aprgen marks for export (all with DELSYNC),
# and the appraiser's change on the handheld after the crash, an unmarked appraisal's address.
SUBJECTS = "EvXA10000_APRSUBJ.pdb"
BASES = {
    "demo": ("1,3,5", b"7545 Lakeview Dr", b"7546 Lakeview Dr"),
    # 5 and 6 leave the tables; the two imports take their AprIDs.
    "reused": ("3,5,6", b"3390 Birch St", b"3391 Birch St"),
}


def edit_on_handheld(trial, edit):
    path = os.path.join(trial, "handheld", SUBJECTS)
    with open(path, "rb") as f:
        data = f.read()
    if edit[0] not in data:
        return False
    with open(path + ".edit", "wb") as f:
        f.write(data.replace(edit[0], edit[1]))
    os.rename(path + ".edit", path)
    return True


def edit_kept(trial, edit):
    with open(os.path.join(trial, "handheld", SUBJECTS), "rb") as f:
        data = f.read()
    return [] if edit[1] in data and edit[0] not in data else [
        "the change made on the handheld after the crash was undone"]


def pdb_records(path):
    with open(path, "rb") as f:
        head = f.read(78)
    if len(head) < 78:
        return None
    return struct.unpack(">H", head[76:78])[0]


def record_items(record):
    """A table record's length-prefixed items, an empty text (a lone NUL) written as the empty
    item that a table's round trip through the desktop makes of it."""
    items, pos = [], 0
    while pos < len(record):
        n, pos = record[pos], pos + 1
        if n == 0xFF:
            n, pos = struct.unpack(">H", record[pos:pos + 2])[0], pos + 2
        item, pos = record[pos:pos + n], pos + n
        items.append(b"" if item == b"\0" else item)
    return tuple(items)


def pdb_record_data(path):
    """The records' items, sorted: the order of records is the handheld's business."""
    with open(path, "rb") as f:
        data = f.read()
    n = struct.unpack(">H", data[76:78])[0]
    offsets = [struct.unpack(">I", data[78 + 8 * i:82 + 8 * i])[0] for i in range(n)]
    return sorted(record_items(data[a:b]) for a, b in zip(offsets, offsets[1:] + [len(data)]))


def edited(record, edit):
    return tuple(i.replace(edit[0], edit[1]) for i in record)


def apr_id(record):
    """The record's first item, the AprID of every appraisal table."""
    return struct.unpack(">i", record[0])[0] if record and len(record[0]) == 4 else "?"


def table_records(trial, edit=None):
    """The application's tables on the handheld, record by record; with `edit`, as they are
    after the appraiser's change."""
    hh = os.path.join(trial, "handheld")
    tables = {}
    for name in sorted(os.listdir(hh)):
        if name.startswith("EvXA1") and name.endswith(".pdb"):
            records = pdb_record_data(os.path.join(hh, name))
            if edit and name == SUBJECTS:
                records = sorted(edited(r, edit) for r in records)
            tables[name] = records
    return tables


def records_differ(trial, clean_records, edit):
    out = []
    try:
        got = table_records(trial)
    except (OSError, struct.error) as e:
        return ["handheld tables unreadable: %s" % e]
    want = {name: sorted(edited(r, edit) for r in recs) if edit and name == SUBJECTS else recs
            for name, recs in clean_records.items()}
    for name in sorted(set(want) | set(got)):
        mine, theirs = got.get(name, []), want.get(name, [])
        if mine != theirs:
            ids = sorted({str(apr_id(r)) for r in mine if r not in theirs} |
                         {str(apr_id(r)) for r in theirs if r not in mine})
            out.append("handheld/%s records: AprID %s not as in the clean run (rows from "
                       "another appraisal, or lost or doubled)" % (name, ", ".join(ids)))
    return out


def fingerprint(trial):
    state = {}
    hh = os.path.join(trial, "handheld")
    for name in sorted(os.listdir(hh)):
        if name.endswith((".pdb", ".prc")):
            state["handheld/" + name] = pdb_records(os.path.join(hh, name))
    inbox = os.path.join(trial, PROGRAM, "Inbox")
    for name in sorted(os.listdir(inbox)) if os.path.isdir(inbox) else []:
        with open(os.path.join(inbox, name), "rb") as f:
            state["Inbox/" + name] = hashlib.md5(f.read()).hexdigest()
    state["Outbox"] = sorted(os.listdir(os.path.join(trial, PROGRAM, "Outbox")))
    return state


def leftovers(trial):
    found = []
    for folder, _, files in os.walk(trial):
        if "/run" in folder[len(trial):]:
            continue
        found += [os.path.join(folder, f)[len(trial) + 1:] for f in files if LEFTOVER.search(f)]
    return found


def violations(trial, clean):
    out = []
    got = fingerprint(trial)
    for key in sorted(set(clean) | set(got)):
        if clean.get(key) != got.get(key):
            out.append("%s: %s, clean run %s" % (key, got.get(key), clean.get(key)))
    out += ["left behind: " + f for f in leftovers(trial)]
    with open(os.path.join(trial, "sync.out"), errors="replace") as f:
        out += [l.strip() for l in f if "not a usable database file" in l]
    return out


def copy_base(base, trial):
    shutil.rmtree(trial, ignore_errors=True)
    shutil.copytree(base, trial, symlinks=True, ignore=shutil.ignore_patterns("run"))



def make_base(work, name):
    """The demo desktop `name` of BASES in WORK/base-NAME and its clean run: (base, clean
    fingerprint, clean table records, seconds of one sync, the handheld edit), or None with
    the reason printed."""
    base = os.path.join(work, "base-" + name)
    env = dict(os.environ, NB_DEMO_SETUP_ONLY="1", NB_BUILD_DIR=os.path.dirname(BIN),
               NB_DEMO_MARKED=BASES[name][0])
    r = subprocess.run([os.path.join(ROOT, "scripts/demo"), base], env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if r.returncode != 0:
        sys.stdout.write(r.stdout.decode(errors="replace"))
        return None
    # The clean run: what every interrupted one must come to.
    clean_dir = os.path.join(work, "clean-" + name)
    copy_base(base, clean_dir)
    t0 = time.monotonic()
    one_sync(clean_dir, run_env(clean_dir))
    span = time.monotonic() - t0
    one_sync(clean_dir, run_env(clean_dir))
    one_sync(clean_dir, run_env(clean_dir))
    clean = fingerprint(clean_dir)
    bad_clean = violations(clean_dir, clean)
    if bad_clean:
        print("the uninterrupted run itself is wrong:\n  " + "\n  ".join(bad_clean))
        return None
    return base, clean, table_records(clean_dir), span, BASES[name][1:]


def recover_and_check(trial, base_entry):
    """Two recovery synchronisations after the appraiser's change on the handheld, then the
    invariants: the broken ones, each a line."""
    _, clean, clean_records, _, edit = base_entry
    e = run_env(trial)
    edited = edit_on_handheld(trial, edit)
    hung = False
    for _ in range(2):
        hung = one_sync(trial, e) or hung
    return check(trial, clean, clean_records, edit if edited else None, hung)


def check(trial, clean, clean_records, edit, hung):
    bad = violations(trial, clean)
    bad += records_differ(trial, clean_records, edit)
    if edit:
        bad += edit_kept(trial, edit)
    if hung:
        bad.append("a program did not end")
    return bad


def kind_of(line):
    """A broken invariant without its numbers, for counting by kind."""
    return re.sub(r"[0-9a-f]{32}|\d+", "#", line.split(":")[0])
