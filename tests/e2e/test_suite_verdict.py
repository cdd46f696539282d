"""The test command's verdict over crafted end-to-end suites: a suite whose cases did not all run
cannot read as a clean one, and a case whose program ended by an unhandled exception fails.

Each crafted suite runs in a pytest of its own with the attempt recorder loaded as the real suite
loads it, and is judged by scripts/retry_verdict.py with pytest's exit status, as test.sh does."""
import os
import subprocess
import sys
import textwrap

import pytest

from conftest import ROOT, UNHANDLED_MARKER, Launcher, judge_program_end, stop_and_judge

E2E = ROOT / "tests" / "e2e"
PASSING = "def test_one():\n    pass\n\ndef test_two():\n    pass\n"


def run_suite(tmp_path, modules):
    """Runs the crafted modules as the test command runs tests/e2e; returns the verdict's lines."""
    suite = tmp_path / "suite"
    suite.mkdir()
    for name, text in modules.items():
        (suite / name).write_text(textwrap.dedent(text))
    record = tmp_path / "attempts.json"
    env = dict(os.environ, PYTHONPATH=str(E2E), QUENLOR_E2E_ATTEMPTS=str(record),
               QUENLOR_STARTUP_DEATH_LOG=str(tmp_path / "deaths.log"))
    env.pop("PYTEST_ADDOPTS", None)
    status = subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider", "-p", "attempt_record",
                             str(suite)], cwd=tmp_path, env=env, capture_output=True, text=True, timeout=300).returncode
    out = subprocess.run([sys.executable, str(ROOT / "scripts" / "retry_verdict.py"), "e2e", str(record),
                          "--status", str(status)], capture_output=True, text=True, check=True).stdout
    return out.splitlines()


def test_a_clean_suite_passes_with_every_case_counted(tmp_path):
    lines = run_suite(tmp_path, {"test_a.py": PASSING})
    assert lines == ["suite: collected 2, run 2, passed 2, failed 0, excused 0", "verdict: 2 passed, 0 failed"]


def test_a_module_that_fails_to_import_fails_the_suite_by_name(tmp_path):
    lines = run_suite(tmp_path, {"test_a.py": PASSING, "test_broken.py": "import no_such_module_here\n" + PASSING})
    assert lines[-1] != "verdict: 0 passed, 0 failed" and not lines[-1].endswith(" 0 failed"), lines
    assert any(line.startswith("not run: ") and "test_broken.py" in line and "no_such_module_here" in line
               for line in lines), lines


def test_a_run_cut_short_fails_and_names_the_cases_that_did_not_run(tmp_path):
    lines = run_suite(tmp_path, {"test_a.py": """
        def test_first():
            pass

        def test_interrupted():
            raise KeyboardInterrupt

        def test_never_reached():
            pass
        """})
    assert any(line.startswith("not run: ") and "test_interrupted: cut short" in line for line in lines), lines
    assert any(line.startswith("not run: ") and "test_never_reached" in line for line in lines), lines
    assert any("pytest ended with status 2 (interrupted)" in line for line in lines), lines
    assert not lines[-1].endswith(" 0 failed"), lines


def test_a_run_that_leaves_no_record_fails(tmp_path):
    # The process dies outright: no session end, no record.
    lines = run_suite(tmp_path, {"test_a.py": "import os\n\ndef test_dies():\n    os._exit(3)\n"})
    assert lines[0].startswith("not run: the whole end-to-end suite: no record of the run"), lines
    assert lines[-1] == "verdict: 0 passed, 1 failed"


def test_a_program_ended_by_an_unhandled_exception_fails_the_case():
    output = "progress 1\n%swine: Unhandled page fault on read access to 00000000 at address 00401234\n" % UNHANDLED_MARKER
    with pytest.raises(AssertionError, match="QuenlorLauncher.exe ended by an unhandled exception: wine: Unhandled page"):
        judge_program_end("C:/x/QuenlorLauncher.exe", output)
    judge_program_end("QuenlorLauncher.exe", "wine: Unhandled page fault quoted in a program's own message\n")


def test_a_started_program_that_ended_by_an_unhandled_exception_fails_its_case(wine, tmp_path):
    # Wine's own line, as a crashed launcher prints it, from a program that then ends with status 0.
    driver = Launcher(tmp_path)
    driver.start("/c", "echo wine: Unhandled page fault on read access to 00000000 at address 00401234& exit 0",
                 exe_path="cmd")
    Launcher.started.remove(driver)  # judged here rather than by this case's own teardown
    with pytest.raises(AssertionError, match="cmd ended by an unhandled exception: wine: Unhandled page fault"):
        stop_and_judge([driver])
