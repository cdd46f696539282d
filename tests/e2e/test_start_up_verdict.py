"""The test command's judgement of hangs and host-side aborts: a Windows test program that hung
before its first line was the emulator's start-up and earns its second try; one that hung after
it is ours, and so is a host C library abort in the middle of a run."""
import sys

import pytest

from conftest import BIN, ROOT, wine_run
from test_retry_verdict import run_ctest_verdict

sys.path.insert(0, str(ROOT / "scripts"))
import wine_deaths  # noqa: E402

STARTED = wine_deaths.STARTED_LINE + "\n"
HUNG = "wine-run: no first line within 90 s: the start-up hung"
STACK = "*** stack smashing detected ***: terminated"
ABORTED = "qemu: uncaught target signal 6 (Aborted) - core dumped"
RAN = STARTED + "[==========] Running 3 tests from 1 test suite.\n[ RUN      ] A.B\n[       OK ] A.B (1 ms)\n"
PASSED = RAN + "[==========] 3 tests from 1 test suite ran. (5 ms total)\n[  PASSED  ] 3 tests.\n"


def runner_output(program, output, status, emulated=True):
    """What cmake/wine/wine-run.sh prints for a run: the output, then its judgement's marker."""
    verdict = wine_deaths.judge(program, output, status, emulated)
    if verdict and verdict[0] != "unhandled":
        output += "wine-run: emulator death (%s): %s\n" % verdict
    return output


def test_a_hang_before_the_first_line_is_retried_and_one_after_it_is_ours(tmp_path):
    # The runner ended the first start after its bound; ctest's own time limit ended the second
    # try of a program that had printed its first line (nothing judged it: the log just stops).
    first = [("hung_at_start", False, runner_output("a_tests.exe", HUNG + "\n", 137)),
             ("hung_in_a_case", False, RAN),
             ("hung_at_start_natively", False, runner_output("c_tests.exe", HUNG + "\n", 137, emulated=False)),
             ("hung_at_start_twice", False, runner_output("d_test.exe", HUNG + "\n", 137))]
    second = [("hung_at_start", True, PASSED), ("hung_in_a_case", True, PASSED),
              ("hung_at_start_natively", True, PASSED),
              ("hung_at_start_twice", False, runner_output("d_test.exe", HUNG + "\n", 137))]
    tally = run_ctest_verdict(tmp_path, first, second)
    assert (tally.passed, tally.failed, tally.excused) == (1, 3, 1)
    by_name = {line.split(":")[1].strip(): line for line in tally.lines}
    assert "after an emulator start-up death (%s)" % HUNG in by_name["hung_at_start"]
    assert "FLAKY" in by_name["hung_in_a_case"]
    assert "FLAKY" in by_name["hung_at_start_natively"]
    assert "failed both tries" in by_name["hung_at_start_twice"]


@pytest.mark.parametrize("program, output, status, emulated, expected", [
    # The runner's line is credited only where the program's own first line never came.
    ("x/asyncftp_test.exe", HUNG + "\n", 137, True, ("start-up", HUNG)),
    ("QuenlorLauncher.exe", HUNG + "\n", 137, True, ("start-up", HUNG)),
    ("x/asyncftp_test.exe", STARTED + HUNG + "\n", 137, True, None),
    ("x/asyncftp_test.exe", HUNG + "\n", 137, False, None),
    # The host C library aborting: before the first line, in a helper, or after every case passed.
    ("x/asyncftp_test.exe", STACK + "\n" + ABORTED + "\n", 134, True, ("start-up", STACK)),
    ("uiauto.exe", '{"found": true}\n' + STACK + "\n", 134, True, ("helper", STACK)),
    ("x/asyncftp_test.exe", PASSED + STACK + "\n" + ABORTED + "\n", 134, True, ("teardown", STACK)),
    ("x/asyncftp_test.exe", RAN + "free(): invalid pointer\n" + ABORTED + "\n", 134, True, None),
    # In the middle of a run it may be a wild write of ours: a failure, as a signal there is.
    ("x/asyncftp_test.exe", RAN + STACK + "\n" + ABORTED + "\n", 134, True, None),
    ("x/asyncftp_test.exe", STARTED + STACK + "\n", 134, True, None),
    ("x/asyncftp_test.exe", STACK + "\n" + PASSED, 134, True, None),
    # An abort with a fault of ours reported first is ours; natively nothing is excused.
    ("x/asyncftp_test.exe", PASSED + "wine: Unhandled page fault on read access to 00000010 at address 0040162E "
     "(thread 0124), starting debugger...\n" + STACK + "\n", 134, True,
     ("unhandled", "wine: Unhandled page fault on read access to 00000010 at address 0040162E (thread 0124), "
      "starting debugger...")),
    ("x/asyncftp_test.exe", STACK + "\n", 134, False, None),
])
def test_a_host_abort_or_a_hung_start_is_credited_only_before_the_program_ran(program, output, status, emulated,
                                                                               expected):
    assert wine_deaths.judge(program, output, status, emulated) == expected


def test_a_host_abort_mid_run_fails_even_when_the_second_try_passes(tmp_path):
    first = [("aborted_mid_run", False, runner_output("a_test.exe", RAN + STACK + "\n" + ABORTED + "\n", 134)),
             ("aborted_at_start", False, runner_output("b_test.exe", STACK + "\n" + ABORTED + "\n", 134)),
             ("aborted_after_the_last_case", False, runner_output("c_test.exe", PASSED + STACK + "\n", 134))]
    tally = run_ctest_verdict(tmp_path, first, [("aborted_mid_run", True, PASSED), ("aborted_at_start", True, PASSED)])
    assert (tally.passed, tally.failed, tally.excused) == (2, 1, 2)
    assert any(line.startswith("retry: aborted_mid_run: FLAKY") for line in tally.lines)
    assert any(line.startswith("excused: aborted_after_the_last_case: ") and STACK in line for line in tally.lines)


def test_a_windows_test_program_prints_its_first_line_before_anything_else(wine):
    result = wine_run([BIN / "asyncftp_test.exe", "--gtest_filter=NoSuchCase"], timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
    assert result.stdout.replace("\r", "").splitlines()[0] == wine_deaths.STARTED_LINE
