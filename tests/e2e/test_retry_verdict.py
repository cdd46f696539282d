"""The test command's judgement of second tries and of Wine runs: only an emulator death that
cannot be ours is redeemed by a passing second try or excused; a race of ours that passes the
second time, a crash after the last case and a signal inside a program under test still fail."""
import json
import subprocess
import sys

import pytest

from conftest import ROOT, WINE_HOME, WINE_RUN

sys.path.insert(0, str(ROOT / "scripts"))
import retry_verdict  # noqa: E402
import wine_deaths  # noqa: E402

SIGNAL = "qemu: uncaught target signal 11 (Segmentation fault) - core dumped"
DEATH = "wine-run: emulator death (start-up): " + SIGNAL
GTEST_RAN = "[==========] Running 3 tests from 1 test suite.\n[ RUN      ] A.B\n[       OK ] A.B (1 ms)\n"
GTEST_PASSED = GTEST_RAN + "[==========] 3 tests from 1 test suite ran. (5 ms total)\n[  PASSED  ] 3 tests.\n"


def ctest_log(tests):
    """A LastTest.log as ctest writes it, for (name, passed, output) triples."""
    parts = ["Start testing: Dec 09 10:49 UTC\n" + "-" * 58 + "\n"]
    for index, (name, passed, output) in enumerate(tests, 1):
        parts.append("%d/%d Testing: %s\n%d/%d Test: %s\nCommand: \"x\"\nDirectory: /\n\"%s\" start time: now\n"
                     "Output:\n%s\n%s<end of output>\nTest time =   0.20 sec\n%s\n%s\n\"%s\" end time: now\n%s\n"
                     % (index, len(tests), name, index, len(tests), name, name, "-" * 58, output, "-" * 58,
                        "Test Passed." if passed else "Test Failed.", name, "-" * 58))
    return "".join(parts)


def run_ctest_verdict(tmp_path, first, second=None):
    (tmp_path / "first.log").write_text(ctest_log(first))
    args = [str(tmp_path / "first.log")]
    if second is not None:
        (tmp_path / "second.log").write_text(ctest_log(second))
        args.append(str(tmp_path / "second.log"))
    return retry_verdict.verdict_ctest(*args)


def test_ctest_second_tries_are_redeemed_only_after_a_start_up_death(tmp_path):
    first = [("steady", True, "[  PASSED  ] 3 tests.\n"),
             ("died_at_start", False, DEATH + "\n"),
             ("racy", False, "[  FAILED  ] Deque.PopCount\n"),
             ("broken", False, "[  FAILED  ] Always\n"),
             ("died_then_broken", False, DEATH + "\n")]
    second = [("died_at_start", True, ""), ("racy", True, ""), ("broken", False, ""),
              ("died_then_broken", False, "")]
    tally = run_ctest_verdict(tmp_path, first, second)
    assert (tally.passed, tally.failed, tally.excused) == (2, 3, 1)
    by_name = {line.split(":")[1].strip(): line for line in tally.lines}
    assert set(by_name) == {"died_at_start", "racy", "broken", "died_then_broken"}
    assert "passed on the second try after an emulator start-up death" in by_name["died_at_start"]
    assert "FLAKY" in by_name["racy"] and "counted as failed" in by_name["racy"]


def test_ctest_tests_judged_by_their_output_count_by_that_judgement(tmp_path):
    # ctest writes a reason instead of "Test Passed." / "Test Failed." for a test with a pass regex.
    log = ctest_log([("by_regex", True, "[  PASSED  ] 2 tests.\n"), ("by_regex_bad", False, "[  FAILED  ] X\n")])
    log = log.replace("Test Passed.", "Test Pass Reason:\nRequired regular expression found.")
    log = log.replace("Test Failed.", "Test Fail Reason:\nRequired regular expression not found.")
    (tmp_path / "first.log").write_text(log)
    tally = retry_verdict.verdict_ctest(str(tmp_path / "first.log"))
    assert (tally.passed, tally.failed) == (1, 1)
    assert tally.lines == ["failed: by_regex_bad"]


def test_ctest_failure_without_a_second_run_fails(tmp_path):
    tally = run_ctest_verdict(tmp_path, [("a", False, DEATH + "\n"), ("b", True, "")])
    assert (tally.passed, tally.failed) == (1, 1)
    tally = run_ctest_verdict(tmp_path, [("a", False, DEATH + "\n"), ("b", True, "")], [("b", True, "")])
    assert (tally.passed, tally.failed) == (1, 1)
    assert tally.lines == ["retry: a: failed, not run again"]


def test_ctest_a_program_that_passes_then_faults_fails_unless_the_fault_cannot_be_ours(tmp_path):
    # What wine-run.sh prints for each under the emulator decides; the verdict then judges the log.
    def run_output(program, output, status=139, emulated=True):
        verdict = wine_deaths.judge(program, output, status, emulated)
        if verdict and verdict[0] != "unhandled":
            output += "wine-run: emulator death (%s): %s\n" % verdict
        return output

    plumbing = "wine client error:2c: pipe: Too many open files"
    page_fault = ("wine: Unhandled page fault on read access to 00000010 at address 0040162E (thread 0124), "
                  "starting debugger...\n")
    first = [("faults_at_teardown", False, run_output("a_tests.exe", GTEST_PASSED + page_fault + SIGNAL + "\n")),
             ("plumbing_at_teardown", False, run_output("b_tests.exe", GTEST_PASSED + plumbing + "\n")),
             ("signal_at_teardown", False, run_output("d_tests.exe", GTEST_PASSED + SIGNAL + "\n")),
             ("plumbing_natively", False, run_output("c_tests.exe", GTEST_PASSED + plumbing + "\n", emulated=False))]
    tally = run_ctest_verdict(tmp_path, first, [("faults_at_teardown", True, GTEST_PASSED),
                                                ("plumbing_natively", True, GTEST_PASSED)])
    assert (tally.passed, tally.failed, tally.excused) == (2, 2, 2)
    assert any(line.startswith("excused: plumbing_at_teardown: ") and plumbing in line for line in tally.lines)
    assert any(line.startswith("excused: signal_at_teardown: ") and SIGNAL in line for line in tally.lines)
    assert any(line.startswith("retry: faults_at_teardown: FLAKY") for line in tally.lines)
    # A run that ended with status 0 while another process of it died is counted, and shown.
    tally = run_ctest_verdict(tmp_path, [("status_zero", True, GTEST_PASSED + SIGNAL + "\n")])
    assert (tally.passed, tally.excused) == (1, 1)
    assert tally.lines[0].startswith("excused: status_zero: passed with exit status 0; a process of its run died")


def test_ctest_a_test_the_suite_lists_without_a_result_fails_by_name(tmp_path):
    tally = run_ctest_verdict(tmp_path, [("a", True, "")])
    assert (tally.passed, tally.failed) == (1, 0)
    (tmp_path / "first.log").write_text(ctest_log([("a", True, "")]))
    tally = retry_verdict.verdict_ctest(str(tmp_path / "first.log"), expected=["a", "cut_short"])
    assert (tally.collected, tally.run, tally.passed, tally.failed) == (2, 1, 1, 1)
    assert tally.lines[0] == "not run: cut_short: no result in the test log"
    # A log that is missing altogether: nothing ran, everything listed fails.
    tally = retry_verdict.verdict_ctest(str(tmp_path / "absent.log"), expected=["a", "b"])
    assert (tally.passed, tally.failed) == (0, 2)
    # ctest failing while every result passed (it was killed between tests, say) is a failure too.
    tally = retry_verdict.verdict_ctest(str(tmp_path / "first.log"), expected=["a"], status=8)
    assert tally.failed == 1


@pytest.mark.parametrize("program, output, status, emulated, expected", [
    # Before the program's first line: Wine or the emulator died, the program never ran.
    ("x/asyncftp_test.exe", SIGNAL + "\n", 139, True, ("start-up", SIGNAL)),
    ("QuenlorLauncher.exe", "wine: could not load kernel32.dll, status c0000135\n", 1, True,
     ("start-up", "wine: could not load kernel32.dll, status c0000135")),
    # A helper that is not under test.
    ("uiauto.exe", '{"found": true}\n' + SIGNAL + "\n", 139, True, ("helper", SIGNAL)),
    # Inside a program under test after its start: ours.
    ("x/asyncftp_test.exe", GTEST_RAN + SIGNAL + "\n", 139, True, None),
    # After every case passed, with no exception Wine saw: the emulator's death at exit.
    ("x/asyncftp_test.exe", GTEST_PASSED + SIGNAL + "\n", 139, True, ("teardown", SIGNAL)),
    ("x/asyncftp_test.exe", SIGNAL + "\n" + GTEST_PASSED, 139, True, None),
    ("QuenlorLauncher.exe", SIGNAL + "\n", 139, True, None),
    # Wine's plumbing dying in the wake of our own page fault is ours as well.
    ("QuenlorLauncher.exe", "wine: Unhandled page fault on write access to 00000000 at address 0040162E (thread 01b8), "
     "starting debugger...\nwine client error:1c4: write: Bad file descriptor\n" + SIGNAL + "\n", 139, True,
     ("unhandled", "wine: Unhandled page fault on write access to 00000000 at address 0040162E (thread 01b8), "
      "starting debugger...")),
    # Wine's debugger ends a crashed program with status 0: still a failure.
    ("ftpget.exe", "Unhandled exception: page fault on read access to 0x00000000 in 32-bit code\n", 0, False,
     ("unhandled", "Unhandled exception: page fault on read access to 0x00000000 in 32-bit code")),
    # Where 32-bit code runs natively nothing is excused.
    ("x/asyncftp_test.exe", SIGNAL + "\n", 139, False, None),
    ("uiauto.exe", SIGNAL + "\n", 139, False, None),
    # A run that succeeded needs no excuse.
    ("uiauto.exe", SIGNAL + "\n", 0, True, None),
])
def test_an_emulator_death_is_credited_only_when_it_cannot_be_ours(program, output, status, emulated, expected):
    assert wine_deaths.judge(program, output, status, emulated) == expected


def test_e2e_tries_are_judged_like_ctest_and_skips_are_not_counted(tmp_path):
    attempts = {
        "t::steady": [{"failed": False, "skipped": False, "finished": True, "death": None}],
        "t::died": [{"failed": True, "skipped": False, "finished": True, "death": "uiauto.exe: qemu: uncaught target signal 11"},
                    {"failed": False, "skipped": False, "finished": True, "death": None}],
        "t::racy": [{"failed": True, "skipped": False, "finished": True, "death": None},
                    {"failed": False, "skipped": False, "finished": True, "death": None}],
        "t::skipped": [{"failed": False, "skipped": True, "finished": True, "death": None}],
    }
    path = tmp_path / "attempts.json"
    path.write_text(json.dumps(attempts))
    record = {"collected": list(attempts), "collect_errors": {}, "exitstatus": 1, "cases": attempts}
    path.write_text(json.dumps(record))
    out = subprocess.run([sys.executable, str(ROOT / "scripts" / "retry_verdict.py"), "e2e", str(path), "--status", "1"],
                         capture_output=True, text=True, check=True).stdout
    assert out.splitlines()[-2:] == ["suite: collected 4, run 3, passed 2, failed 1, excused 1",
                                     "verdict: 2 passed, 1 failed"]
    assert sum(line.startswith("retry: ") for line in out.splitlines()) == 2


@pytest.mark.parametrize("printed, status, marker", [
    (SIGNAL, 3, "wine-run: emulator death (helper): " + SIGNAL),
    ("wine: Unhandled page fault on read access", 3, "wine-run: unhandled exception: wine: Unhandled page fault on read access"),
    # An unhandled exception fails the run even where Wine's debugger ended it with status 0.
    ("wine: Unhandled page fault on read access", 0, "wine-run: unhandled exception: wine: Unhandled page fault on read access")])
def test_wine_runner_marks_the_emulators_deaths_and_fails_unhandled_exceptions(wine, tmp_path, printed, status, marker):
    log = tmp_path / "deaths.log"
    env = {"PATH": "/usr/bin:/bin", "HOME": str(tmp_path), "QUENLOR_STARTUP_DEATH_LOG": str(log),
           "PYTEST_CURRENT_TEST": "tests/e2e/x.py::case (call)"}
    result = subprocess.run([str(WINE_RUN), "--home", str(WINE_HOME), "cmd", "/c", "echo %s& exit %d" % (printed, status)],
                            capture_output=True, text=True, env=env, timeout=120)
    assert result.returncode == (status or 1), result
    emulated = (WINE_HOME / "qemu32").exists()
    marked = [line for line in result.stdout.splitlines() if line.startswith("wine-run: ")]
    death = marker.startswith("wine-run: emulator death")
    assert marked == ([marker] if emulated or not death else []), result.stdout
    lines = log.read_text().splitlines() if log.exists() else []
    assert lines == (["tests/e2e/x.py::case (call)\tcmd\t" + printed] if emulated and death else [])


def test_a_first_failure_keeps_where_and_why_it_failed_for_the_summary():
    # The rerun hides the first try's traceback; the record is what a CI log can show of it.
    import attempt_record
    from types import SimpleNamespace
    crash = SimpleNamespace(path="/x/tests/e2e/test_launcher_startup.py", lineno=196)
    text = "\n".join(["    launcher.wait_window()", "", ">       assert state['found'], state",
                      "E       AssertionError: {'found': False, 'processes': 0}", "E       assert False",
                      "", "tests/e2e/conftest.py:81: AssertionError"])
    report = SimpleNamespace(when="call", longreprtext=text, longrepr=SimpleNamespace(reprcrash=crash))
    assert attempt_record._failure_reason(report).splitlines() == [
        "call failed at test_launcher_startup.py:196",
        "E       AssertionError: {'found': False, 'processes': 0}", "E       assert False"]
    # A report without assertion lines (a fixture's error, say) keeps its last lines instead.
    bare = SimpleNamespace(when="setup", longreprtext="one\ntwo", longrepr="text only")
    assert attempt_record._failure_reason(bare).splitlines() == ["setup failed at ?", "one", "two"]
