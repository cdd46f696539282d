"""The test command's verdict over tests that may have run twice.

A Windows test or an end-to-end case that fails is run once more, but only a first failure that
was an emulator start-up death (wine-run.sh's marker line "wine-run: emulator start-up death: ..."
in the failed run's output, or a line it wrote to the start-up death log for an end-to-end case)
may be redeemed by a pass on the second try. Any other first failure counts as a failure even when
the second try passed: that is a race or a timing fault of ours, not the emulator.

    retry_verdict.py ctest FIRST_LastTest.log [SECOND_LastTest.log]
    retry_verdict.py e2e ATTEMPTS.json

Prints one line per test that needed a second try, then "verdict: N passed, N failed".
"""
import json
import re
import sys

DEATH_MARKER = "wine-run: emulator start-up death:"


def parse_ctest_log(path):
    """name -> (passed, output) from a ctest LastTest.log."""
    results = {}
    try:
        text = open(path, encoding="utf-8", errors="replace").read()
    except OSError:
        return results
    blocks = re.split(r"^\d+/\d+ Test: ", text, flags=re.M)[1:]
    for block in blocks:
        name = block.split("\n", 1)[0].strip()
        match = re.search(r"^Output:\n-+\n(.*?)<end of output>", block, flags=re.M | re.S)
        output = match.group(1) if match else ""
        results[name] = ("\nTest Passed." in block, output)
    return results


def death_in(output):
    for line in output.splitlines():
        if line.startswith(DEATH_MARKER):
            return line[len(DEATH_MARKER):].strip()
    return None


def judge(first_failed_death, second_passed):
    """The verdict of a test whose first try failed."""
    if second_passed is None:
        return False, "failed, not run again"
    if first_failed_death and second_passed:
        return True, "passed on the second try after an emulator start-up death (%s)" % first_failed_death
    if second_passed:
        return False, "FLAKY: failed on the first try without a start-up death, passed on the second; counted as failed"
    if first_failed_death:
        return False, "failed both tries (first a start-up death: %s)" % first_failed_death
    return False, "failed both tries"


def verdict_ctest(first_path, second_path=None):
    first = parse_ctest_log(first_path)
    second = parse_ctest_log(second_path) if second_path else {}
    passed = failed = 0
    lines = []
    for name, (ok, output) in first.items():
        if ok:
            passed += 1
            continue
        again = second.get(name)
        good, why = judge(death_in(output), again[0] if again else None)
        lines.append("retry: %s: %s" % (name, why))
        passed, failed = passed + good, failed + (not good)
    return passed, failed, lines


def verdict_e2e(path):
    with open(path, encoding="utf-8") as f:
        attempts = json.load(f)
    passed = failed = 0
    lines = []
    for nodeid, tries in attempts.items():
        if all(t["skipped"] for t in tries):
            continue
        if not tries[0]["failed"]:
            passed += 1
            continue
        second = None if len(tries) < 2 else not tries[1]["failed"]
        good, why = judge(tries[0]["death"], second)
        lines.append("retry: %s: %s" % (nodeid, why))
        passed, failed = passed + good, failed + (not good)
    return passed, failed, lines


def main(argv):
    if len(argv) >= 3 and argv[1] == "ctest":
        passed, failed, lines = verdict_ctest(argv[2], argv[3] if len(argv) > 3 else None)
    elif len(argv) == 3 and argv[1] == "e2e":
        passed, failed, lines = verdict_e2e(argv[2])
    else:
        print(__doc__)
        return 2
    for line in lines:
        print(line)
    print("verdict: %d passed, %d failed" % (passed, failed))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
