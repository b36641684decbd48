"""The install's two synchronisations for scripts/powercut: scripts/demo run with NB_RECORD,
its snapshot taken just before the install (NB_DEMO_BEFORE_INSTALL), and the check of a state:
a HotSync after the cut must run, keep the HotSync user and the runtime's conduit made before
the install, read every handheld database and leave no temporary file.

  python3 scripts/powercut_install.py snapshot DEMO   (what the demo runs at the hook)
"""
import os
import pickle
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import powercut_model as pm  # noqa: E402
import sync_invariants as si  # noqa: E402

USER = "Pat Appraiser"


def snapshot(demo):
    trees, ids = {}, {}
    trees["desktop"], ids["desktop"] = pm.tree_of(os.path.join(demo, "desktop"), skip={"run"})
    trees["handheld"], ids["handheld"] = pm.tree_of(os.path.join(demo, "handheld"))
    with open(os.path.join(demo, "powercut-snapshot.pickle"), "wb") as f:
        pickle.dump((trees, ids, os.path.getsize(os.environ["NB_RECORD"])), f)


def record(work):
    """Runs the demo's setup recorded: (folder, log, (trees, ids), first record's offset)."""
    demo = os.path.join(work, "install")
    log = os.path.join(work, "install.log")
    for path in (log,):
        if os.path.exists(path):
            os.unlink(path)
    env = dict(os.environ, NB_DEMO_SETUP_ONLY="1", NB_BUILD_DIR=os.path.dirname(si.BIN),
               NB_RECORD=log, NB_DEMO_BEFORE_INSTALL="%s %s snapshot" % (
                   sys.executable, os.path.abspath(__file__)))
    r = subprocess.run([os.path.join(si.ROOT, "scripts/demo"), demo], env=env,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if r.returncode != 0:
        sys.stdout.write(r.stdout.decode(errors="replace"))
        return None
    with open(os.path.join(demo, "powercut-snapshot.pickle"), "rb") as f:
        trees, ids, start = pickle.load(f)
    return demo, log, (trees, ids), start


def check(trial):
    env = si.run_env(trial)
    hung = si.stop(si.start_sync(trial, env)) is None
    bad = ["a program did not end"] if hung else []

    def listing(what):
        r = subprocess.run([os.path.join(si.BIN, "hotsync"), what], env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        return r.returncode, r.stdout.decode(errors="replace")

    status, users = listing("users")
    if status or USER not in users:
        bad.append("HotSync user made before the install lost: %s" % users.strip()[:200])
    status, conduits = listing("conduits")
    if status or "QMNB" not in conduits:
        bad.append("runtime's conduit registered before the install lost: %s" %
                   conduits.strip()[:200])
    hh = os.path.join(trial, "handheld")
    for name in sorted(os.listdir(hh)):
        if name.endswith((".pdb", ".prc")) and si.pdb_records(os.path.join(hh, name)) is None:
            bad.append("handheld/%s: unreadable" % name)
    bad += ["left behind: " + f for f in si.leftovers(trial)]
    with open(os.path.join(trial, "sync.out"), errors="replace") as f:
        bad += [line.strip() for line in f if "not a usable database file" in line]
    return bad


if __name__ == "__main__" and sys.argv[1:2] == ["snapshot"]:
    snapshot(sys.argv[2])
