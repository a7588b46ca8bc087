#!/usr/bin/env python3
"""Mutation sampler: puts one small fault at a time into product code, rebuilds
what it feeds, runs the fast tests that link or run it, puts the file back and
writes one JSON line per mutant (scripts/dev/mutant_matrix.py turns them into a
kill matrix). A development tool; never part of the test run's pass/fail.

  scripts/dev/mutants.py run --seed 1 --budget 60 --out mutants-1.jsonl
  scripts/dev/mutants.py run --seed 1 --count 300 --out mutants-1.jsonl --resume
  scripts/dev/mutants.py run --replay mutants-1.jsonl --out after-1.jsonl
  scripts/dev/mutants.py list --seed 1 --count 20 --only manager/
  scripts/dev/mutants.py restore

The same seed on the same product files gives the same sequence of mutants;
--count (compiling mutants in the output, resumed ones included) or --replay
repeats a run exactly. The sampler builds in its own tree (build-mutants/ by
default: -O1, no debug information, through ccache when it is installed), so
build/ is never left holding a mutant."""
import argparse
import collections
import contextlib
import ctypes
import fcntl
import gzip
import hashlib
import json
import os
import pathlib
import random
import re
import shlex
import shutil
import signal
import subprocess
import sys
import time

sys.dont_write_bytecode = True
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import mutant_sites  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[2]
# The simulated-host checks boot a sandbox each; they are not fast tests.
SLOW_TESTS = re.compile(r"^e2e\.|^app\.quit_during_connect$")
NEVER_MUTATED = re.compile(r"^(tests|bench|fuzz|scripts|third_party)/|^platform/mac/|_mac\.cc$")
CONFIGURE = ["-G", "Ninja", "-DTAVLUNE_PROGRAMS_ONLY=OFF", "-DTAVLUNE_WERROR=ON", "-DTAVLUNE_CRASH_POINTS=ON",
             "-DCMAKE_BUILD_TYPE=Release"]
# Half the compile time of -O2 -g; NDEBUG as in the release build.
FAST_FLAGS = "-O1 -DNDEBUG"
TEST_PHASE_CAP = 180
COMPILED = ("killed", "timeout", "survived", "unchanged")  # seconds of tests per mutant before the rest are given up


class Stop(Exception):
    """SIGTERM or SIGHUP: stop like Ctrl-C, putting the file back first."""


def _stop(signum, frame):
    raise Stop(signal.Signals(signum).name)


def product_folders():
    """The folders of the layering table in docs/architecture.md."""
    table = (ROOT / "docs/architecture.md").read_text()
    return sorted(set(re.findall(r"^\| `([a-z]+)/` \|", table, re.M)))


def sha(data):
    return hashlib.sha256(data).hexdigest()


def _die_with_parent():
    """Child side: a sampler killed outright takes its ninja or ctest along."""
    os.setsid()
    ctypes.CDLL(None).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def run_quiet(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


# ---------------------------------------------------------------- the file guard

class Guard:
    """Owns the one mutated file. The original is journalled in the build tree
    before the mutant is written, so a run killed outright is undone by the next
    start (or `restore`); signals are held while either write happens."""

    SIGNALS = {signal.SIGINT, signal.SIGTERM, signal.SIGHUP}

    def __init__(self, build):
        self.journal = build / "mutants" / "pending.json"
        self.journal.parent.mkdir(parents=True, exist_ok=True)
        self.touched = {}  # path -> sha of the original

    @contextlib.contextmanager
    def _held(self):
        signal.pthread_sigmask(signal.SIG_BLOCK, self.SIGNALS)
        try:
            yield
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, self.SIGNALS)

    @staticmethod
    def _write(path, data):
        tmp = path.with_name(path.name + ".mutant-tmp")
        tmp.write_bytes(data)
        shutil.copymode(path, tmp)
        os.replace(tmp, path)

    def apply(self, path, original, mutated):
        with self._held():
            self.journal.write_text(json.dumps({"path": str(path), "original": original.decode("utf-8"),
                                                "sha": sha(original)}))
            with open(self.journal) as f:
                os.fsync(f.fileno())
            self.touched.setdefault(str(path), sha(original))
            self._write(path, mutated)

    def restore(self):
        """Puts back the journalled file, if any; returns its path."""
        if not self.journal.exists():
            return None
        with self._held():
            entry = json.loads(self.journal.read_text())
            path, original = pathlib.Path(entry["path"]), entry["original"].encode("utf-8")
            if sha(original) != entry["sha"]:
                sys.exit(f"mutants: journal {self.journal} is damaged; restore {path} with git")
            if not path.exists() or path.read_bytes() != original:
                self._write(path, original)
            self.journal.unlink()
            return path

    def verify(self, status_before):
        bad = [p for p, h in self.touched.items() if sha(pathlib.Path(p).read_bytes()) != h]
        now = git_status()
        if bad or now != status_before:
            print("mutants: PRODUCT FILES DIFFER FROM BEFORE THE RUN:", *bad, now, sep="\n  ", file=sys.stderr)
            return False
        return True


def git_status():
    return run_quiet(["git", "-C", str(ROOT), "status", "--porcelain", "--", *product_folders()]).stdout


# ---------------------------------------------------------------- the build tree

class Build:
    def __init__(self, path, jobs):
        self.path = path
        self.jobs = jobs
        self.env = dict(os.environ)
        self.env.setdefault("CCACHE_DIR", str(path / "ccache"))
        self.env.setdefault("CCACHE_MAXSIZE", "5G")
        # The mutated file is always brand new; its timestamp says nothing.
        self.env.setdefault("CCACHE_SLOPPINESS", "include_file_mtime,include_file_ctime")

    def configure(self):
        if (self.path / "build.ninja").exists():
            return
        options = CONFIGURE + [f"-DCMAKE_CXX_FLAGS_RELEASE={FAST_FLAGS}", f"-DCMAKE_C_FLAGS_RELEASE={FAST_FLAGS}"]
        if shutil.which("ccache"):
            options += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(self.path), *options], check=True,
                       stdout=subprocess.DEVNULL)

    def test_executables(self):
        out = run_quiet(["ninja", "-C", str(self.path), "-t", "targets", "all"]).stdout
        return sorted({line.split(":")[0] for line in out.splitlines()
                       if line.startswith("tests/") and ": CXX_EXECUTABLE_LINKER" in line and "[" not in line})

    def ninja(self, targets):
        """Builds the targets; returns (ok, output)."""
        proc = subprocess.Popen(["nice", "ninja", "-C", str(self.path), "-j", str(self.jobs), *targets],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=self.env,
                                preexec_fn=_die_with_parent)
        with killed_on_exit(proc):
            out, _ = proc.communicate()
        return proc.returncode == 0, out

    def tests(self):
        """CTest's fast tests as (number, name, executable relative to the tree)."""
        out = run_quiet(["ctest", "--test-dir", str(self.path), "--show-only=json-v1"]).stdout
        found = []
        for number, test in enumerate(json.loads(out)["tests"], 1):
            command = test.get("command") or [""]
            exe = os.path.relpath(command[0], self.path)
            if not SLOW_TESTS.search(test["name"]) and exe.startswith("tests/"):
                found.append((number, test["name"], exe))
        return found

    def reach(self, exes):
        """For each product file, the test executables whose programs compile it."""
        inputs = {exe: set(run_quiet(["ninja", "-C", str(self.path), "-t", "inputs", exe]).stdout.split())
                  for exe in exes}
        return {rel: sorted(os.path.basename(e) for e in exes if units & inputs[e])
                for rel, units in self.units.items()}

    def runtime_programs(self, exe, compile_db):
        """Programs a test executable starts: its order-only dependencies and the
        paths its sources are compiled with; a program inside a bundle brings the
        whole bundle."""
        programs = set()
        query = run_quiet(["ninja", "-C", str(self.path), "-t", "query", exe]).stdout
        for line in query.split("outputs:")[0].splitlines():
            if line.strip().startswith("||"):
                programs.add(line.strip()[2:].strip())
        obj_dir = f"{os.path.dirname(exe)}/CMakeFiles/{os.path.basename(exe)}.dir/"
        for entry in compile_db:
            if obj_dir in entry["command"]:
                for value in re.findall(r'-D\w+=\\?"([^"\\]+)\\?"', entry["command"]):
                    if value.startswith(str(self.path) + "/"):
                        programs.add(os.path.relpath(value, self.path))
        files = set()
        for program in programs:
            full = self.path / program
            if program.endswith(".a") or not full.is_file() or not os.access(full, os.X_OK):
                continue
            bundle = re.match(r"^(.*?\.app)/", program)
            if bundle:
                files.update(os.path.relpath(p, self.path) for p in (self.path / bundle.group(1)).rglob("*")
                             if p.is_file())
            else:
                files.add(program)
        return sorted(files)


@contextlib.contextmanager
def killed_on_exit(proc):
    try:
        yield proc
    finally:
        if proc.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()


class Fingerprints:
    """Content hashes of the test executables and the programs they run, so that
    only the tests whose code a mutant changed are run."""

    def __init__(self, build, watched):
        self.build = build
        self.watched = watched  # exe -> [files whose content decides its results]
        self.files = sorted({f for fs in watched.values() for f in fs})
        self.seen = {}
        self.baseline = self._hashes()

    def _hashes(self):
        hashes = {}
        for f in self.files:
            p = self.build.path / f
            st = p.stat()
            key = (st.st_mtime_ns, st.st_size)
            if self.seen.get(f, (None,))[0] != key:
                self.seen[f] = (key, sha(p.read_bytes()))
            hashes[f] = self.seen[f][1]
        return hashes

    def changed(self):
        now = self._hashes()
        changed = {f for f in self.files if now[f] != self.baseline[f]}
        return sorted(exe for exe, fs in self.watched.items() if changed.intersection(fs))


# ---------------------------------------------------------------- the mutants

def candidate_files(build, only):
    """Product sources the Linux build compiles: .cc files in the compile
    database and the headers they include."""
    compile_db = json.loads((build.path / "compile_commands.json").read_text())
    folders = tuple(f + "/" for f in product_folders())
    files = {}
    build.units = collections.defaultdict(set)  # file -> the .cc files that compile it

    def consider(path, tu):
        try:
            rel = str(pathlib.Path(path).resolve().relative_to(ROOT))
        except ValueError:
            return
        if rel.startswith(folders) and not NEVER_MUTATED.search(rel):
            if not only or any(rel == o.rstrip("/") or rel.startswith(o.rstrip("/") + "/") for o in only):
                files.setdefault(rel, tu)
                build.units[rel].add(str(pathlib.Path(tu["file"]).resolve()))

    by_object = {}
    for entry in compile_db:
        consider(entry["file"], entry)
        obj = re.search(r"-o (\S+)", entry["command"])
        if obj:
            by_object[obj.group(1)] = entry
    deps = run_quiet(["ninja", "-C", str(build.path), "-t", "deps"]).stdout
    tu = None
    for line in deps.splitlines():
        if line and not line.startswith(" "):
            tu = by_object.get(line.split(":")[0])
        elif tu and line.strip().endswith(".h"):
            path = line.strip()
            consider(path if os.path.isabs(path) else build.path / path, tu)
    return dict(sorted(files.items())), compile_db


def preprocessed_lines(rel, tu):
    """For a file with conditional directives, the lines the preprocessor passes
    on (short skipped stretches come out as blank lines, so they are among
    them) and those of them with text, which are compiled; None without
    directives."""
    text = (ROOT / rel).read_text()
    if not re.search(r"^\s*#\s*(if|ifdef|ifndef|elif|else)\b", text, re.M):
        return None
    args = shlex.split(tu["command"])
    cleaned, skip = [], False
    for a in args:
        if skip:
            skip = False
        elif a in ("-o", "-MT", "-MF"):
            skip = True
        elif a not in ("-c", "-MD"):
            cleaned.append(a)
    out = run_quiet(cleaned + ["-E"], cwd=tu["directory"]).stdout
    target = str((ROOT / rel).resolve())
    passed, compiled, current, number = set(), set(), None, 0
    for line in out.splitlines():
        marker = re.match(r'^# (\d+) "([^"]*)"', line)
        if marker:
            number, current = int(marker.group(1)), marker.group(2)
            continue
        if current and os.path.normpath(os.path.join(tu["directory"], current)) == target:
            passed.add(number)
            if line.strip():
                compiled.add(number)
        number += 1
    return passed, compiled


def enumerate_mutants(files):
    """Every site, in a fixed order. The seeds' sequences are drawn from the
    sites on lines the preprocessor passes on; a site on a blank one of those
    (inside a short skipped stretch) is marked and passed over when its turn
    comes, so that the sequences stay those of the recorded runs."""
    mutants = []
    for rel, tu in files.items():
        text = (ROOT / rel).read_text()
        lines_of = preprocessed_lines(rel, tu)
        lines = text.splitlines()
        for s in mutant_sites.sites(text):
            last_line = s.line + s.original.count("\n")
            if lines_of is not None and not all(n in lines_of[0] for n in range(s.line, last_line + 1)):
                continue
            skipped = lines_of is not None and not (s.line in lines_of[1] and last_line in lines_of[1])
            mutants.append({"id": f"{rel}:{s.line}:{s.col}:{s.op}", "file": rel, "line": s.line, "col": s.col,
                            "op": s.op, "from": s.original, "to": s.replacement, "start": s.start,
                            "end": s.end, "context": lines[s.line - 1].strip(), "not_compiled": skipped})
    return mutants


def sequence(mutants, seed, spread):
    """The seed's order: each folder's mutants shuffled, folders taken in turn."""
    rng = random.Random(seed)
    if spread == "none":
        order = list(mutants)
        rng.shuffle(order)
        return order
    queues = collections.defaultdict(list)
    for m in mutants:
        queues[m["file"].split("/")[0] if spread == "folder" else os.path.dirname(m["file"])].append(m)
    for folder in sorted(queues):
        rng.shuffle(queues[folder])
    order = []
    while any(queues.values()):
        for folder in sorted(queues):
            if queues[folder]:
                order.append(queues[folder].pop(0))
    return order


def replayed(mutants, path):
    """The mutants of an earlier output, found again in today's files."""
    by_anchor = collections.defaultdict(list)
    for m in mutants:
        by_anchor[(m["file"], m["op"], m["from"], m["to"], m["context"])].append(m)
    order, seen = [], set()
    for record in read_records(path):
        if record.get("kind") != "mutant" or record["id"] in seen:
            continue
        seen.add(record["id"])
        same = by_anchor.get((record["file"], record["op"], record["from"], record["to"], record["context"]), [])
        same = sorted(same, key=lambda m: (abs(m["line"] - record["line"]), m["col"] != record["col"]))
        order.append(same[0] if same else dict(record, stale=True))
    return order


def ordered(mutants, args):
    order = replayed(mutants, args.replay) if args.replay else sequence(mutants, args.seed, args.spread)
    for path in args.exclude:
        excluded = {r["id"] for r in read_records(path) if r.get("kind") == "mutant"}
        order = [m for m in order if m["id"] not in excluded]
    return order


def read_records(path):
    with (gzip.open if str(path).endswith(".gz") else open)(path, "rt") as f:
        return [json.loads(line) for line in f if line.strip()]


# ---------------------------------------------------------------- the tests

TEST_LINE = re.compile(r"Test\s+#(\d+): ")


def run_tests(build, numbers, name_of, cap):
    """Runs the numbered CTest tests; returns {number: "pass"|"fail"|"timeout"|"notrun"}."""
    results = {}
    if not numbers:
        return results
    cmd = ["nice", "ctest", "--test-dir", str(build.path), "-j", str(build.jobs),
           "-I", "0,0,0," + ",".join(str(n) for n in sorted(numbers))]
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            preexec_fn=_die_with_parent)
    with killed_on_exit(proc):
        try:
            out, _ = proc.communicate(timeout=cap)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            out, _ = proc.communicate()
    for line in out.splitlines():
        m = TEST_LINE.search(line)
        n = int(m.group(1)) if m else None
        if n in name_of and line[m.end():].startswith(name_of[n]) and line.rstrip().endswith(" sec"):
            status = line[m.end() + len(name_of[n]):].lstrip(" .")
            results[n] = ("pass" if status.startswith("Passed") else
                          "timeout" if "Timeout" in status else "fail")
    for n in numbers:
        results.setdefault(n, "notrun")  # given up at the cap
    return results


# ---------------------------------------------------------------- the run

def prepare(args):
    build = Build(pathlib.Path(args.build_dir).resolve(), args.jobs)
    build.path.mkdir(parents=True, exist_ok=True)
    lock = open(build.path / "mutants.lock", "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        sys.exit(f"mutants: another run is using {build.path}")
    guard = Guard(build.path)
    left = guard.restore()
    if left:
        print(f"mutants: put back {left}, left mutated by an interrupted run")
    return build, guard, lock


def command_list(args):
    build, guard, _lock = prepare(args)
    build.configure()
    ok, out = build.ninja(build.test_executables())  # the headers come from the build's dependency log
    if not ok:
        sys.exit("mutants: the unmutated tree does not build:\n" + out[-4000:])
    files, _ = candidate_files(build, args.only)
    mutants = enumerate_mutants(files)
    order = [m for m in ordered(mutants, args) if not m.get("not_compiled")]
    print(f"# {len(mutants)} sites in {len(files)} files", file=sys.stderr)
    for i, m in enumerate(order[:args.count] if args.count else order):
        print(f"{i}\t{m['file']}:{m['line']}\t{m['op']}\t{short(m['from'])} -> {short(m['to'])}")


def short(text, width=60):
    text = " ".join(text.split())
    return json.dumps(text if len(text) <= width else text[:width - 3] + "...")


def command_restore(args):
    prepare(args)  # puts back what an interrupted run left, and says so
    print("mutants: no product file is mutated")


def command_run(args):
    signal.signal(signal.SIGTERM, _stop)
    signal.signal(signal.SIGHUP, _stop)
    started = time.monotonic()
    build, guard, _lock = prepare(args)
    status_before = git_status()
    build.configure()
    targets = build.test_executables()
    print(f"mutants: building {len(targets)} test programs in {build.path}", flush=True)
    ok, out = build.ninja(targets)
    if not ok:
        sys.exit("mutants: the unmutated tree does not build:\n" + out[-4000:])
    tests = build.tests()
    name_of = {n: name for n, name, _ in tests}
    exe_of = {n: exe for n, _, exe in tests}
    files, compile_db = candidate_files(build, args.only)
    watched = {exe: [exe] + build.runtime_programs(exe, compile_db) for exe in sorted(set(exe_of.values()))}
    fingerprints = Fingerprints(build, watched)
    # Every program a test runs, built whether or not the test declares it.
    reach = build.reach(sorted(watched))
    known = [f for f in fingerprints.files
             if subprocess.run(["ninja", "-C", str(build.path), "-t", "query", f],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0]
    targets = sorted(set(targets) | set(known))

    t0 = time.monotonic()
    baseline = run_tests(build, list(name_of), name_of, args.test_cap)
    baseline_s = time.monotonic() - t0
    broken = sorted(name_of[n] for n, r in baseline.items() if r != "pass")
    print(f"mutants: {len(tests)} fast tests in {baseline_s:.1f} s on the unmutated tree"
          + (f"; failing already (never counted as killers): {broken}" if broken else ""), flush=True)

    mutants = enumerate_mutants(files)
    tree = sha("".join(f + sha((ROOT / f).read_bytes()) for f in files).encode())
    order = ordered(mutants, args)
    done, compiling = set(), 0
    out_path = pathlib.Path(args.out)
    if args.resume and out_path.exists():
        for r in read_records(out_path):
            if r.get("kind") == "run" and r.get("tree") != tree:
                print("mutants: warning: the product files differ from the resumed run's", file=sys.stderr)
            if r.get("kind") == "mutant":
                done.add(r["id"])
                compiling += r["status"] in COMPILED
    elif out_path.exists():
        sys.exit(f"mutants: {out_path} exists (use --resume to add to it)")
    head = run_quiet(["git", "-C", str(ROOT), "rev-parse", "HEAD"]).stdout.strip()
    output = open(out_path, "a")

    def write(record):
        output.write(json.dumps(record) + "\n")
        output.flush()

    write({"kind": "run", "seed": args.seed, "replay": args.replay, "only": args.only, "spread": args.spread,
           "exclude": args.exclude,
           "head": head, "tree": tree, "sites": len(mutants), "files": len(files), "fast_tests": len(tests),
           "baseline_s": round(baseline_s, 1), "baseline_failures": broken, "tests": sorted(name_of.values()),
           "started": time.strftime("%Y-%m-%dT%H:%M:%S")})
    budget_end = started + args.budget * 60 if args.budget else None
    counts = collections.Counter()
    interrupted = None
    try:
        for index, m in enumerate(order):
            if budget_end and time.monotonic() > budget_end:
                break
            if args.count and compiling >= args.count:
                break
            if m["id"] in done or m.get("not_compiled"):
                continue
            record = mutate_and_test(m, index, build, targets, guard, fingerprints, name_of, exe_of,
                                     set(broken), args)
            record["reaches"] = reach.get(m["file"], [])
            write(record)
            counts[record["status"]] += 1
            compiling += record["status"] in COMPILED
            print(f"{record['status']:12} {m['file']}:{m['line']}  {m['op']:6} {short(m['from'], 40)} -> "
                  f"{short(m['to'], 40)}  build {record['build_s']}s tests {record['test_s']}s"
                  + (f"  by {len(record['killers'])}: {', '.join(record['killers'][:3])}" if record["killers"] else ""),
                  flush=True)
    except (KeyboardInterrupt, Stop) as e:
        interrupted = e
    finally:
        guard.restore()
        output.close()
    if not interrupted:
        print("mutants: rebuilding the unmutated programs", flush=True)
        build.ninja(targets)
    clean = guard.verify(status_before)
    elapsed = time.monotonic() - started
    print(f"mutants: {sum(counts.values())} mutants in {elapsed / 60:.1f} min: {dict(counts)}; "
          f"product files {'as before the run (git status)' if clean else 'CHANGED'}")
    if interrupted:
        sys.exit(130)
    sys.exit(0 if clean else 3)


def mutate_and_test(m, index, build, targets, guard, fingerprints, name_of, exe_of, broken, args):
    record = {"kind": "mutant", "index": index, **{k: m[k] for k in ("id", "file", "line", "col", "op", "from",
                                                                        "to", "context")},
              "status": "stale", "killers": [], "timeouts": [], "flaky": [], "tests_run": 0, "binaries": [],
              "build_s": 0, "test_s": 0}
    path = ROOT / m["file"]
    original = path.read_bytes()
    text = original.decode("utf-8")
    if m.get("stale") or text[m["start"]:m["end"]] != m["from"]:
        return record
    mutated = (text[:m["start"]] + m["to"] + text[m["end"]:]).encode("utf-8")
    t0 = time.monotonic()
    guard.apply(path, original, mutated)
    try:
        ok, out = build.ninja(targets)
    finally:
        guard.restore()
    record["build_s"] = round(time.monotonic() - t0, 1)
    if not ok:
        # A test program that builds but cannot list its tests fails at its
        # discovery step: the mutant broke it, which is a kill.
        broken_listing = re.findall(r"Error running test executable\.\s*\n\s*Path: '([^']+)'", out)
        if broken_listing:
            record.update(status="killed", killers=[os.path.basename(p) + " (test listing)" for p in broken_listing])
        else:
            record["status"] = "uncompilable"
            errors = [line.strip() for line in out.splitlines() if "error" in line]
            record["build_error"] = errors[0][-300:] if errors else out.strip()[-300:]
        return record
    exes = fingerprints.changed()
    record["binaries"] = [os.path.basename(e) for e in exes]
    if not exes:
        # No program a fast test runs changed: the compiler proved the mutant
        # equivalent there, or only the end-to-end tests run this code.
        record["status"] = "unchanged"
        return record
    numbers = [n for n in name_of if exe_of[n] in exes and name_of[n] not in broken]
    t0 = time.monotonic()
    results = run_tests(build, numbers, name_of, args.test_cap)
    failed = [n for n, r in results.items() if r == "fail"]
    if failed and not args.no_confirm:
        # A kill must repeat: a test that passes the second time is flaky here.
        again = run_tests(build, failed, name_of, args.test_cap)
        record["flaky"] = sorted(name_of[n] for n in failed if again.get(n) == "pass")
        failed = [n for n in failed if again.get(n) != "pass"]
    timeouts = [n for n, r in results.items() if r == "timeout"]
    given_up = [n for n, r in results.items() if r == "notrun"]
    record["test_s"] = round(time.monotonic() - t0, 1)
    record["tests_run"] = len(numbers) - len(given_up)
    record["killers"] = sorted(name_of[n] for n in failed + timeouts)
    record["timeouts"] = sorted(name_of[n] for n in timeouts)
    record["given_up"] = len(given_up)  # tests left when the test phase reached its cap
    record["status"] = "killed" if failed else "timeout" if timeouts or given_up else "survived"
    return record


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True)
    for name in ("run", "list", "restore"):
        p = sub.add_parser(name)
        p.add_argument("--build-dir", default=str(ROOT / "build-mutants"))
        p.add_argument("--jobs", type=int, default=2)
        if name == "restore":
            continue
        p.add_argument("--seed", type=int, default=1)
        p.add_argument("--count", type=int, help="stop after this many compiling mutants")
        p.add_argument("--only", nargs="*", default=[], help="folders or files (relative to the repository)")
        p.add_argument("--spread", choices=("folder", "dir", "none"), default="folder",
                       help="folder: take the top-level folders in turn (default); dir: every folder that "
                            "holds sources in turn; none: uniform over sites")
        p.add_argument("--replay", help="run exactly the mutants of an earlier output file")
        p.add_argument("--exclude", nargs="*", default=[],
                       help="leave out the mutants of these output files (a held-out sample)")
        if name == "run":
            p.add_argument("--out", required=True, help="JSON lines, one per mutant")
            p.add_argument("--resume", action="store_true", help="add to --out, skipping the mutants in it")
            p.add_argument("--budget", type=float, help="minutes; no new mutant starts after it")
            p.add_argument("--test-cap", type=int, default=TEST_PHASE_CAP,
                           help="seconds of tests per mutant before the rest count as timed out")
            p.add_argument("--no-confirm", action="store_true", help="do not re-run failing tests")
    args = parser.parse_args()
    {"run": command_run, "list": command_list, "restore": command_restore}[args.command](args)


if __name__ == "__main__":
    main()
