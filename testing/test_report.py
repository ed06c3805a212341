#!/usr/bin/python3
"""./tev test's report: reads the JUnit file of the one ctest run over every build and prints each
build's results under its own heading (the failures with their whole output), the tests a build
leaves to another by design with the reason, and last the one summary line:
    tests: P passed, F failed[, S skipped]
S counts the i686 tests that could not run because this kernel refuses 32-bit programs: they are
named, never passed.
    test_report.py RESULTS.xml BUILD_DIR SECONDS [WHY_I686_DID_NOT_RUN]"""
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

BUILDS = (  # test-name prefix, build folder, heading
    ("native", "native", "native: the portable core (clang, AddressSanitizer and UBSan)"),
    ("i686", "x86-test", "i686: the shipped 32-bit configuration (build/x86-test; the signature tests run the "
                         "shipped build/x86 itself, signed by the test)"),
    ("x64", "x64", "x64: the x86_64 twin (build/x64)"),
)


def results(path):
    """Each test's name -> (passed, seconds, output)."""
    found = {}
    if not os.path.exists(path):
        return found
    for case in ET.parse(path).getroot().iter("testcase"):
        failed = case.get("status") != "run" or any(case.find(t) is not None for t in ("failure", "error", "skipped"))
        found[case.get("name")] = (not failed, float(case.get("time") or 0), case.findtext("system-out") or "")
    return found


def listed_tests(build_dir):
    """The names of the tests a build folder holds, as ctest lists them."""
    proc = subprocess.run(["ctest", "-N"], cwd=build_dir, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    return re.findall(r"^\s*Test\s+#\d+: (\S+)$", proc.stdout, re.MULTILINE)


def main(path, build, seconds, i686_not_run):
    found = results(path)
    passed = failed = skipped = 0
    for prefix, folder, heading in BUILDS:
        mine = {name: r for name, r in found.items() if name.startswith(prefix + ".")}
        not_run_file = os.path.join(build, folder, "tests-not-run.txt")
        not_run = open(not_run_file, encoding="utf-8").read().splitlines() if os.path.exists(not_run_file) else []
        print(f"\n== {heading}")
        if prefix == "i686" and i686_not_run:
            names = listed_tests(os.path.join(build, folder))
            skipped += len(names)
            print(f"   NOT RUN, ALL {len(names)} OF THEM: {i686_not_run}")
            for name in names:
                print(f"   not run  {name}")
            continue
        for name, (ok, time, _) in sorted(mine.items()):
            print(f"   {'passed' if ok else 'FAILED'}  {time:7.1f} s  {name}")
        for line in filter(None, not_run):
            print(f"   not run here by design: {line}")
        good = sum(1 for ok, _, _ in mine.values() if ok)
        passed += good
        failed += len(mine) - good
        print(f"   {prefix}: {good} passed, {len(mine) - good} failed")
        if not mine:
            print(f"   {prefix}: NO TEST RAN")
            failed += 1
    for name, (ok, _, output) in sorted(found.items()):
        if not ok:
            print(f"\n---- output of {name} (failed) ----\n{output.rstrip()}")
    if not found:
        print("\nctest left no results")
    print(f"\ntests took {seconds} s")
    print(f"tests: {passed} passed, {failed} failed" + (f", {skipped} skipped" if skipped else ""))
    return 0 if failed == 0 and found else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) > 4 else ""))
