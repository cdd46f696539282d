"""Records every try of every end-to-end case, so the test command can tell an emulator start-up
death (which earns one more try) from a fault of ours (which fails the case even when a second try
passes).

wine-run.sh appends a line "<PYTEST_CURRENT_TEST>\t<program>\t<what died>" to the file named by
QUENLOR_STARTUP_DEATH_LOG whenever a Wine run died the emulator's known way. Each try of a case
(setup, call, teardown) collects the lines written for it. At the end the tries go, as JSON, to the
file named by QUENLOR_E2E_ATTEMPTS, and the terminal summary lists every case that needed a second
try and why.
"""
import json
import os
from pathlib import Path

import pytest

_tries = {}      # nodeid -> [{"failed": bool, "skipped": bool, "finished": bool, "death": str or None, "why": str}]
_death_offset = 0
_collected = []  # nodeids of the cases collected to run
_collect_errors = {}  # nodeid of a module or folder that could not be collected -> why


def configure(default_death_log: Path):
    """Run at session start: every Wine run of this session reports its deaths to one file."""
    global _death_offset
    if not os.environ.get("QUENLOR_STARTUP_DEATH_LOG"):
        default_death_log.parent.mkdir(parents=True, exist_ok=True)
        default_death_log.write_text("")
        os.environ["QUENLOR_STARTUP_DEATH_LOG"] = str(default_death_log)
    path = Path(os.environ["QUENLOR_STARTUP_DEATH_LOG"])
    _death_offset = path.stat().st_size if path.exists() else 0


def _new_deaths():
    """(nodeid, program and what died) for the death lines written since the last look."""
    global _death_offset
    path = os.environ.get("QUENLOR_STARTUP_DEATH_LOG")
    if not path or not os.path.exists(path):
        return []
    with open(path, "rb") as f:
        f.seek(_death_offset)
        data = f.read()
    complete = data[:data.rfind(b"\n") + 1]
    _death_offset += len(complete)
    deaths = []
    for line in complete.decode("utf-8", "replace").splitlines():
        fields = line.split("\t")
        if len(fields) == 3:
            deaths.append((fields[0].rsplit(" (", 1)[0], "%s: %s" % (fields[1], fields[2])))
    return deaths


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    tries = _tries.setdefault(item.nodeid, [])
    if report.when == "setup" or not tries:
        tries.append({"failed": False, "skipped": False, "finished": False, "death": None, "why": ""})
    current = tries[-1]
    # A try whose teardown never reported was cut short (an interruption inside the case).
    current["finished"] = report.when == "teardown"
    for nodeid, what in _new_deaths():
        owner = _tries.get(nodeid)
        if owner and owner[-1]["death"] is None:
            owner[-1]["death"] = what
    if report.failed:
        current["failed"] = True
        current["why"] = current["why"] or _failure_reason(report)
    if report.skipped:
        current["skipped"] = True


def _failure_reason(report):
    """The failed phase, where it failed and the assertion's own lines: enough to read a fault off
    a CI log, where the rerun hides the first try's traceback."""
    lines = report.longreprtext.splitlines()
    errors = [line for line in lines if line.startswith("E ")][:12]
    location = ""
    crash = getattr(report.longrepr, "reprcrash", None)
    if crash is not None:
        location = "%s:%s" % (os.path.basename(str(crash.path)), crash.lineno)
    return "%s failed at %s\n%s" % (report.when, location or "?", "\n".join(errors or lines[-12:]))


def pytest_collectreport(report):
    if report.failed:
        lines = [line for line in report.longreprtext.splitlines() if line.startswith("E ")]
        _collect_errors[report.nodeid or "."] = (lines[-1][1:].strip() if lines else report.longreprtext[-300:])


def pytest_collection_finish(session):
    _collected[:] = [item.nodeid for item in session.items]


def pytest_sessionfinish(session, exitstatus):
    path = os.environ.get("QUENLOR_E2E_ATTEMPTS")
    if path:
        record = {"collected": _collected, "collect_errors": _collect_errors, "exitstatus": int(exitstatus),
                  "cases": _tries}
        with open(path, "w", encoding="utf-8") as f:
            json.dump(record, f, indent=1)


def pytest_terminal_summary(terminalreporter):
    retried = [(nodeid, tries) for nodeid, tries in _tries.items() if len(tries) > 1]
    if not retried:
        return
    terminalreporter.section("second tries")
    for nodeid, tries in retried:
        first, second = tries[0], tries[1]
        if first["death"]:
            why = "first try: emulator start-up death (%s)" % first["death"]
        else:
            why = "first try: FAILED without a start-up death (counted as failed)"
        terminalreporter.write_line("%s: %s; second try: %s" % (nodeid, why, "failed" if second["failed"] else "passed"))
        if first["why"]:
            for line in first["why"].splitlines():
                terminalreporter.write_line("    " + line[:300])
