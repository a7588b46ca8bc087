#!/usr/bin/env python3
"""Turns the sampler's output (scripts/dev/mutants.py) into a kill matrix report:
per folder how many mutants were killed, every survivor, and per test file and
per test how many mutants it kills and how many only it kills.

  scripts/dev/mutant_matrix.py mutants-1.jsonl [more.jsonl ...] > report.md
  scripts/dev/mutant_matrix.py after-1.jsonl --before mutants-1.jsonl   # kills lost or gained
  scripts/dev/mutant_matrix.py mutants-1.jsonl --pairs matrix.tsv       # mutant, test: one line per kill"""
import argparse
import collections
import gzip
import json
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parents[2]
KILLED = ("killed", "timeout")
COUNTED = ("killed", "timeout", "survived")


def read(paths):
    runs, mutants = [], {}
    for path in paths:
        for line in (gzip.open if str(path).endswith(".gz") else open)(path, "rt"):
            if not line.strip():
                continue
            r = json.loads(line)
            if r["kind"] == "run":
                runs.append(dict(r, file=str(path)))
            elif r["kind"] == "mutant":
                mutants[r["id"]] = r  # a later line for the same mutant wins
    return runs, list(mutants.values())


def test_files():
    """(suite, case) -> the test source that defines it."""
    where = {}
    for path in sorted((ROOT / "tests").rglob("*.cc")):
        rel = str(path.relative_to(ROOT))
        for suite, case in re.findall(r"^\s*(?:TEST|TEST_F|TEST_P|TYPED_TEST)\(\s*(\w+)\s*,\s*(\w+)\s*\)",
                                      path.read_text(), re.M):
            where[(suite, case)] = rel
    return where


def test_file(name, where):
    if name.endswith("(test listing)"):
        return name.split()[0]
    name = name.split("  # ")[0]
    suite_case = name.split("/")[1] if name.count("/") >= 1 and "." not in name.split("/")[0] else name
    suite, _, case = suite_case.partition(".")
    return where.get((suite, case), "?")


def short(text, width=50):
    text = " ".join(text.split())
    return text if len(text) <= width else text[:width - 3] + "..."


def change(m):
    if m["op"] in ("call", "return"):
        return f"delete `{short(m['from'])}`"
    if m["op"] == "negate":
        return f"negate `{short(m['from'])}`"
    return f"`{short(m['from'])}` -> `{short(m['to'])}`"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(str(c).replace("|", "\\|") for c in row) + " |" for row in rows]
    return "\n".join(lines)


def read_notes(path):
    """Judgements of survivors: mutant id, verdict, why (tab-separated, # comments)."""
    notes = {}
    for line in open(path) if path else []:
        if line.strip() and not line.startswith("#"):
            mutant, verdict, why = (line.rstrip("\n").split("\t") + ["", ""])[:3]
            notes[mutant] = (verdict, why)
    return notes


def report(runs, mutants, notes):
    where = test_files()
    out = []
    for r in runs:
        out.append(f"- `{r['file']}`: seed {r['seed']}" + (f", replay of {r['replay']}" if r.get("replay") else "")
                   + (f", only {' '.join(r['only'])}" if r.get("only") else "")
                   + f", HEAD {r['head'][:10]}, product tree {r['tree'][:12]}, {r['sites']} sites in "
                   f"{r['files']} files, {r['fast_tests']} fast tests ({r['baseline_s']} s), started {r['started']}")
    out.append("")

    per_folder = collections.defaultdict(collections.Counter)
    for m in mutants:
        per_folder[m["file"].split("/")[0]][m["status"]] += 1
    rows, total = [], collections.Counter()
    for folder in sorted(per_folder):
        c = per_folder[folder]
        total.update(c)
        rows.append(_folder_row(folder, c))
    rows.append(_folder_row("**all**", total))
    out += ["## Per folder", "",
            "Counted: killed (timeouts included) + survived. Unchanged: it compiled but no program a fast test "
            "runs changed (equivalent there, or only the end-to-end tests run that code); uncompilable ones do "
            "not count.", "",
            table(["folder", "counted", "killed", "of which by time-out", "survived", "kill rate", "unchanged",
                   "uncompilable"], rows), ""]

    ops = collections.defaultdict(collections.Counter)
    for m in mutants:
        ops[m["op"]][m["status"]] += 1
    out += ["## Per operator", "", table(["operator", "counted", "killed", "survived", "unchanged", "uncompilable"], [
        (op, sum(c[s] for s in COUNTED), c["killed"] + c["timeout"], c["survived"], c["unchanged"],
         c["uncompilable"]) for op, c in sorted(ops.items())]), ""]

    survivors = sorted((m for m in mutants if m["status"] == "survived"), key=lambda m: (m["file"], m["line"]))
    out += ["## Survivors", "", table(["mutant", "change", "fast tests run", "verdict", "why"], [
        (f"`{m['file']}:{m['line']}`", change(m), m["tests_run"], *notes.get(m["id"], ("", "")))
        for m in survivors]), ""]
    verdicts = collections.Counter(notes.get(m["id"], ("not judged",))[0] for m in survivors)
    if notes:
        out += ["Verdicts: " + ", ".join(f"{v} {n}" for v, n in sorted(verdicts.items())), ""]
    unchanged = sorted((m for m in mutants if m["status"] == "unchanged"), key=lambda m: (m["file"], m["line"]))
    out += ["## Unchanged programs", "", table(["mutant", "change", "fast test programs that compile the file", "why"], [
        (f"`{m['file']}:{m['line']}`", change(m), ", ".join(m.get("reaches", [])) or "none",
         notes.get(m["id"], ("", ""))[1]) for m in unchanged]), ""]

    killed = [m for m in mutants if m["status"] in KILLED]
    by_file = collections.defaultdict(set)
    by_test = collections.defaultdict(set)
    for m in killed:
        for t in m["killers"]:
            by_test[t].add(m["id"])
            by_file[test_file(t, where)].add(m["id"])
    files_of = {m["id"]: {test_file(t, where) for t in m["killers"]} for m in killed}
    all_tests = set()
    for r in runs:
        all_tests.update(r.get("tests", []))
    tests_in = collections.Counter(test_file(t, where) for t in all_tests)
    for f in tests_in:
        by_file.setdefault(f, set())
    counted = [m for m in mutants if m["status"] in COUNTED]

    def own_folder(f):
        """Counted mutants in the product folder the test file mirrors (tests/X/Y/z_test.cc: X/Y/)."""
        folder = str(pathlib.PurePath(f).parent.relative_to("tests")) + "/" if f.startswith("tests/") else None
        return [m for m in counted if folder and m["file"].startswith(folder)]

    out += ["## Per test file", "",
            f"Kills: mutants (of {len(killed)} killed) that at least one test of the file kills. Only here: "
            "mutants that no other file kills. Its folder: counted mutants in the product folder the file "
            "mirrors, and how many of those it kills; few there means the sample says little about the file.", "",
            table(["test file", "tests", "kills", "only here", "its folder: mutants", "killed by it"], [
                (f"`{f}`", tests_in.get(f, "?"), len(ids), sum(1 for i in ids if files_of[i] == {f}),
                 len(own_folder(f)), sum(1 for m in own_folder(f) if m["id"] in ids))
                for f, ids in sorted(by_file.items(), key=lambda kv: (-len(kv[1]), kv[0]))]), ""]
    killers_of = {m["id"]: m["killers"] for m in killed}
    rows = [(f"`{t.split('  # ')[0]}`", f"`{test_file(t, where)}`", len(ids),
             sum(1 for i in ids if len(killers_of[i]) == 1))
            for t, ids in sorted(by_test.items(), key=lambda kv: (-len(kv[1]), kv[0]))]
    out += ["## Per test", "", table(["test", "file", "kills", "only it"], rows), ""]
    idle = sorted(all_tests - set(by_test))
    out += [f"Tests that killed no mutant ({len(idle)} of {len(all_tests)}):", "",
            ", ".join(f"`{t.split('  # ')[0]}`" for t in idle), ""]
    flaky = collections.Counter(t for m in mutants for t in m.get("flaky", []))
    if flaky:
        out += ["## Failed once, passed on the second run (not counted as kills)", "",
                table(["test", "mutants"], sorted(flaky.items())), ""]
    return "\n".join(out)


def _folder_row(folder, c):
    counted = sum(c[s] for s in COUNTED)
    kills = c["killed"] + c["timeout"]
    rate = f"{100 * kills / counted:.0f} %" if counted else "-"
    return (folder, counted, kills, c["timeout"], c["survived"], rate, c["unchanged"], c["uncompilable"])


def compare(before, after):
    b = {m["id"]: m for m in before}
    a = {m["id"]: m for m in after}
    lost = [i for i in b if b[i]["status"] in KILLED and i in a and a[i]["status"] not in KILLED]
    gained = [i for i in b if b[i]["status"] not in KILLED and i in a and a[i]["status"] in KILLED]
    missing = [i for i in b if i not in a]
    out = [f"before: {sum(m['status'] in KILLED for m in before)} killed of "
           f"{sum(m['status'] in COUNTED for m in before)}; after: {sum(m['status'] in KILLED for m in after)} "
           f"killed of {sum(m['status'] in COUNTED for m in after)}", "",
           f"lost ({len(lost)}):", *[f"  {i}  {change(b[i])}" for i in lost],
           f"gained ({len(gained)}):", *[f"  {i}  {change(b[i])}" for i in gained],
           f"not in the later run ({len(missing)}):", *[f"  {i}" for i in missing]]
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("results", nargs="+")
    parser.add_argument("--before", help="an earlier output of the same mutants: list kills lost and gained")
    parser.add_argument("--pairs", help="write the kill matrix as TSV: mutant, status, test, test file")
    parser.add_argument("--notes", help="TSV of judged survivors: mutant id, verdict, why")
    args = parser.parse_args()
    runs, mutants = read(args.results)
    if args.before:
        print(compare(read([args.before])[1], mutants))
        return
    if args.pairs:
        where = test_files()
        with open(args.pairs, "w") as f:
            f.write("mutant\tstatus\tchange\ttest\ttest_file\n")
            for m in mutants:
                for t in m["killers"] or [""]:
                    f.write(f"{m['id']}\t{m['status']}\t{change(m)}\t{t}\t{test_file(t, where) if t else ''}\n")
    print(report(runs, mutants, read_notes(args.notes)))


if __name__ == "__main__":
    main()
