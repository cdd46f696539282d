"""The test command's verdict over a suite whose tests may have run twice.

A Windows test or an end-to-end case that fails is run once more, but only a first failure that
wine-run.sh marked as an emulator death before the program's own code ran or in a helper
("wine-run: emulator death (start-up|helper): ..." in the failed run's output, or a line it wrote
to the start-up death log for an end-to-end case) may be redeemed by a pass on the second try.
Any other first failure counts as a failure even when the second try passed: that is a race or a
timing fault of ours, not the emulator. A Windows test that failed only by Wine's own plumbing
dying after every case passed ("wine-run: emulator death (teardown): ...") is excused, and said so.

The verdict also holds what ran against what should have: a test the suite lists (ctest -N) or
collected (pytest) without a result, a module that failed to import, a run cut short or a
missing record fails, named.

    retry_verdict.py ctest FIRST_LastTest.log [SECOND_LastTest.log] [--expect NAMES] [--status N]
    retry_verdict.py e2e ATTEMPTS.json [--status N]

Prints "retry: ", "failed: " (no second try given), "excused: " and "not run: " lines, then "suite: collected N, run N, passed N,
failed N, excused N" and "verdict: N passed, N failed" (excused tests count as passed).
"""
import json
import re
import sys

from wine_deaths import SIGNAL, WINE_PLUMBING

DEATH_MARKER = re.compile(r"^wine-run: emulator death \((start-up|helper|teardown)\): (.*)$", re.M)
PYTEST_STATUS = {2: "interrupted", 3: "internal error", 4: "usage error", 5: "no tests collected"}


class Tally:
    def __init__(self):
        self.collected = self.run = self.passed = self.failed = self.excused = 0
        self.lines = []

    def count(self, good, line=None, excused=False):
        self.run += 1
        self.passed += good
        self.failed += not good
        self.excused += excused
        if line:
            self.lines.append(line)

    def fail(self, line):
        """A failure that is not a test's own result: something that should have run did not."""
        self.failed += 1
        self.lines.append(line)

    def report(self):
        return self.lines + ["suite: collected %d, run %d, passed %d, failed %d, excused %d"
                             % (self.collected, self.run, self.passed, self.failed, self.excused),
                             "verdict: %d passed, %d failed" % (self.passed, self.failed)]


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
        # A plain test ends "Test Passed."; one judged by its output's regular expression ends
        # "Test Pass Reason:" instead.
        results[name] = ("\nTest Passed." in block or "\nTest Pass Reason:" in block, output)
    return results


def death_in(output, kinds=("start-up", "helper")):
    for match in DEATH_MARKER.finditer(output):
        if match.group(1) in kinds:
            return match.group(2).strip()
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


def verdict_ctest(first_path, second_path=None, expected=None, status=0):
    first = parse_ctest_log(first_path)
    second = parse_ctest_log(second_path) if second_path else {}
    tally = Tally()
    names = list(expected) if expected is not None else list(first)
    tally.collected = len(names)
    for name in names:
        if name not in first:
            tally.fail("not run: %s: no result in the test log" % name)
            continue
        ok, output = first[name]
        if ok:
            # The program ended with status 0, but another process of its run (one of Wine's own,
            # started on its behalf) died under the emulator: shown, never hidden.
            died = next((line for line in output.splitlines() if SIGNAL.search(line) or WINE_PLUMBING.search(line)), None)
            tally.count(True, died and "excused: %s: passed with exit status 0; a process of its run died under the "
                        "emulator (%s)" % (name, died.strip()), excused=bool(died))
            continue
        teardown = death_in(output, ("teardown",))
        if teardown:
            tally.count(True, "excused: %s: every case passed, then Wine's own plumbing died under the emulator (%s)"
                        % (name, teardown), excused=True)
            continue
        if second_path is None:
            tally.count(False, "failed: %s" % name)  # a suite without second tries
            continue
        again = second.get(name)
        good, why = judge(death_in(output), again[0] if again else None)
        tally.count(good, "retry: %s: %s" % (name, why), excused=good)
    for name in first:
        if expected is not None and name not in expected:
            tally.fail("unexpected: %s: in the test log but not in the suite's list" % name)
    if status and not tally.failed and not tally.lines:
        tally.fail("not run: ctest ended with status %d although every test passed" % status)
    return tally


def verdict_e2e(path, status=None):
    tally = Tally()
    try:
        with open(path, encoding="utf-8") as f:
            record = json.load(f)
        cases, collected = record["cases"], record["collected"]
    except (OSError, ValueError, KeyError, TypeError) as error:
        tally.fail("not run: the whole end-to-end suite: no record of the run (%s)" % error)
        return tally
    errors = record.get("collect_errors", {})
    tally.collected = len(collected) + len(errors)
    for module, why in errors.items():
        tally.fail("not run: %s: could not be collected: %s" % (module, why))
    for nodeid in collected:
        tries = cases.get(nodeid)
        if not tries:
            tally.fail("not run: %s: collected but never ran" % nodeid)
            continue
        if not tries[-1].get("finished"):
            tally.fail("not run: %s: cut short before its end" % nodeid)
            continue
        if all(t["skipped"] for t in tries):
            continue
        if not tries[0]["failed"]:
            tally.count(True)
            continue
        second = None if len(tries) < 2 else not tries[1]["failed"]
        good, why = judge(tries[0]["death"], second)
        tally.count(good, "retry: %s: %s" % (nodeid, why), excused=good)
    for code in {record.get("exitstatus"), status} - {None, 0, 1}:
        tally.fail("not run: pytest ended with status %d (%s)" % (code, PYTEST_STATUS.get(code, "unknown")))
    if 1 in (record.get("exitstatus"), status) and not tally.failed:
        tally.fail("not run: pytest ended with status 1 although no case recorded a failure")
    return tally


def _option(argv, name, convert=str):
    if name in argv:
        at = argv.index(name)
        value = convert(argv[at + 1])
        del argv[at:at + 2]
        return value
    return None


def main(argv):
    argv = list(argv)
    try:
        status = _option(argv, "--status", int)
        expect = _option(argv, "--expect")
    except (IndexError, ValueError):
        print(__doc__)
        return 2
    if len(argv) in (3, 4) and argv[1] == "ctest":
        expected = None
        if expect is not None:
            with open(expect, encoding="utf-8") as f:
                expected = [line.strip() for line in f if line.strip()]
        tally = verdict_ctest(argv[2], argv[3] if len(argv) > 3 else None, expected, status or 0)
    elif len(argv) == 3 and argv[1] == "e2e":
        tally = verdict_e2e(argv[2], status)
    else:
        print(__doc__)
        return 2
    for line in tally.report():
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
