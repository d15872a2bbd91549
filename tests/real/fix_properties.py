#!/usr/bin/env python3
"""`ostrameld fix --write` on copies of the labelled real repositories, with its properties:

- no indicator of either profile scores lower after it, and no new metadata conflict;
- a CITATION.cff it leaves is not made invalid;
- a second `ostrameld fix` proposes nothing (exit 0).

  tests/real/fix_properties.py [--dir DIR] [--copies DIR] [--bin PROGRAM] [NAME...]

Clones as tests/real/clone.sh makes them; repositories over 150 MB are skipped (copied whole).
"""
import argparse
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--dir", default=os.environ.get("OSTRAMELD_REAL", "/tmp/real"))
    ap.add_argument("--copies", default="/tmp/ostrameld-fix-properties")
    ap.add_argument("--bin", default=os.path.join(HERE, "..", "..", "build", "ostrameld"))
    ap.add_argument("names", nargs="*")
    args = ap.parse_args()

    def assess(d, profile):
        r = subprocess.run([args.bin, "assess", d, "--profile", profile, "--offline", "-f", "json"],
                           capture_output=True, text=True)
        return json.loads(r.stdout)

    def by_id(a):
        return {i["indicator_id"]: i for i in a["indicators"]}

    os.makedirs(args.copies, exist_ok=True)
    bad = 0
    for name in args.names or sorted(os.listdir(args.dir)):
        src = os.path.join(args.dir, name)
        size = int(subprocess.run(["du", "-sm", src], capture_output=True, text=True).stdout.split()[0])
        if size > 150:
            print("skipped (size)", name)
            continue
        d = os.path.join(args.copies, name)
        shutil.rmtree(d, ignore_errors=True)
        shutil.copytree(src, d, symlinks=True)
        before = {p: by_id(assess(d, p)) for p in ("fair4rs", "fair4rs-full")}
        r = subprocess.run([args.bin, "fix", d, "--write"], capture_output=True, text=True)
        after = {p: by_id(assess(d, p)) for p in ("fair4rs", "fair4rs-full")}
        problems = []
        for p in before:
            for key, i in before[p].items():
                if (after[p][key].get("score") or 0) + 1e-9 < (i.get("score") or 0):
                    problems.append(f"{p} {key}: {i.get('score')} -> {after[p][key].get('score')}")
        fields = lambda a: {c["field"] for c in (a["metadata_consistency"].get("facts") or {}).get("conflicts", [])}
        if fields(after["fair4rs-full"]) - fields(before["fair4rs-full"]):
            problems.append(f"new conflicts {sorted(fields(after['fair4rs-full']) - fields(before['fair4rs-full']))}")
        valid = lambda a: (a["citation_metadata"].get("facts") or {}).get("schema_valid")
        if valid(after["fair4rs-full"]) is False and valid(before["fair4rs-full"]) is not False:
            problems.append("CITATION.cff made invalid")
        again = subprocess.run([args.bin, "fix", d], capture_output=True, text=True)
        if again.returncode != 0:
            problems.append("a second fix proposes: " + again.stdout[:200])
        wrote = [line[6:].split(":")[0] for line in r.stdout.splitlines() if line.startswith("wrote ")]
        print("ok " if not problems else "BAD", name, wrote, "; ".join(problems))
        bad += bool(problems)
    print(f"{bad} with a broken property")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
