"""The test command's judgement of second tries: only an emulator start-up death on the first try
is redeemed by a passing second try; a race of ours that passes the second time still fails."""
import json
import subprocess
import sys

import pytest

from conftest import ROOT, WINE_HOME, WINE_RUN

sys.path.insert(0, str(ROOT / "scripts"))
import retry_verdict  # noqa: E402

DEATH = "wine-run: emulator start-up death: qemu: uncaught target signal 11 (Segmentation fault) - core dumped"


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
    passed, failed, lines = run_ctest_verdict(tmp_path, first, second)
    assert (passed, failed) == (2, 3)
    by_name = {line.split(":")[1].strip(): line for line in lines}
    assert set(by_name) == {"died_at_start", "racy", "broken", "died_then_broken"}
    assert "passed on the second try after an emulator start-up death" in by_name["died_at_start"]
    assert "FLAKY" in by_name["racy"] and "counted as failed" in by_name["racy"]


def test_ctest_tests_judged_by_their_output_count_by_that_judgement(tmp_path):
    # ctest writes a reason instead of "Test Passed." / "Test Failed." for a test with a pass regex.
    log = ctest_log([("by_regex", True, "[  PASSED  ] 2 tests.\n"), ("by_regex_bad", False, "[  FAILED  ] X\n")])
    log = log.replace("Test Passed.", "Test Pass Reason:\nRequired regular expression found.")
    log = log.replace("Test Failed.", "Test Fail Reason:\nRequired regular expression not found.")
    (tmp_path / "first.log").write_text(log)
    passed, failed, lines = retry_verdict.verdict_ctest(str(tmp_path / "first.log"))
    assert (passed, failed) == (1, 1)
    assert lines == ["retry: by_regex_bad: failed, not run again"]


def test_ctest_failure_without_a_second_run_fails(tmp_path):
    passed, failed, lines = run_ctest_verdict(tmp_path, [("a", False, DEATH + "\n"), ("b", True, "")])
    assert (passed, failed) == (1, 1)


def test_e2e_tries_are_judged_like_ctest_and_skips_are_not_counted(tmp_path):
    attempts = {
        "t::steady": [{"failed": False, "skipped": False, "death": None}],
        "t::died": [{"failed": True, "skipped": False, "death": "uiauto.exe: qemu: uncaught target signal 11"},
                    {"failed": False, "skipped": False, "death": None}],
        "t::racy": [{"failed": True, "skipped": False, "death": None},
                    {"failed": False, "skipped": False, "death": None}],
        "t::skipped": [{"failed": False, "skipped": True, "death": None}],
    }
    path = tmp_path / "attempts.json"
    path.write_text(json.dumps(attempts))
    out = subprocess.run([sys.executable, str(ROOT / "scripts" / "retry_verdict.py"), "e2e", str(path)],
                         capture_output=True, text=True, check=True).stdout
    assert out.splitlines()[-1] == "verdict: 2 passed, 1 failed"
    assert sum(line.startswith("retry: ") for line in out.splitlines()) == 2


@pytest.mark.parametrize("printed, marked", [("qemu: uncaught target signal 11 (Segmentation fault)", True),
                                             ("wine: Unhandled page fault on read access", False)])
def test_wine_runner_marks_only_the_emulators_deaths(wine, tmp_path, printed, marked):
    log = tmp_path / "deaths.log"
    env = {"PATH": "/usr/bin:/bin", "HOME": str(tmp_path), "QUENLOR_STARTUP_DEATH_LOG": str(log),
           "PYTEST_CURRENT_TEST": "tests/e2e/x.py::case (call)"}
    result = subprocess.run([str(WINE_RUN), "--home", str(WINE_HOME), "cmd", "/c", "echo %s& exit 3" % printed],
                            capture_output=True, text=True, env=env, timeout=120)
    assert result.returncode == 3, result
    assert (retry_verdict.DEATH_MARKER in result.stdout) == marked, result.stdout
    lines = log.read_text().splitlines() if log.exists() else []
    assert lines == (["tests/e2e/x.py::case (call)\tcmd\t" + printed] if marked else [])


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
