"""End-to-end fixtures: the build's Wine prefix, generated client folders, and a driver that
starts the real QuenlorLauncher.exe and observes it through uiauto.exe."""
import json
import os
import shutil
import subprocess
import time
from pathlib import Path

import pytest

import attempt_record

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("QUENLOR_WINDOWS_BUILD", ROOT / "build" / "windows"))
BIN = BUILD / "bin"
WINE_HOME = BUILD / "wine"
WINE_RUN = ROOT / "cmake" / "wine" / "wine-run.sh"
WORK = ROOT / "build" / "e2e-work"
ARTIFACTS = ROOT / "build" / "e2e-artifacts"
LAUNCHER = "QuenlorLauncher.exe"


def pytest_configure(config):
    # The recorder's hooks come as a whole: a hook left out would let a suite that never ran pass.
    if not config.pluginmanager.has_plugin("attempt_record"):
        config.pluginmanager.register(attempt_record, "attempt_record")
    attempt_record.configure(ARTIFACTS / "startup-deaths.log")


# wine-run.sh's line for a program that ended by an exception it did not handle.
UNHANDLED_MARKER = "wine-run: unhandled exception: "


def judge_program_end(program, output):
    """Every program a case starts is judged: one that ended by an unhandled exception fails the
    case, whatever the case's own checks saw."""
    for line in (output or "").splitlines():
        if line.startswith(UNHANDLED_MARKER):
            raise AssertionError("%s ended by an unhandled exception: %s\n%s"
                                 % (Path(str(program)).name, line[len(UNHANDLED_MARKER):], output[-3000:]))


def wine_run(args, cwd=None, env=None, timeout=120):
    result = subprocess.run([str(WINE_RUN), "--home", str(WINE_HOME)] + [str(a) for a in args], cwd=cwd, env=env,
                            capture_output=True, text=True, timeout=timeout)
    judge_program_end(args[0], result.stdout)
    return result


@pytest.fixture(scope="session")
def wine():
    for program in (LAUNCHER, "uiauto.exe"):
        if not (BIN / program).exists():
            pytest.fail("%s is not built in %s" % (program, BIN))
    boot = wine_run(["--boot"], timeout=1200)
    assert boot.returncode == 0, boot.stderr
    yield
    wine_run(["--stop"])


class Launcher:
    """One launcher process in one client folder, and the uiauto commands that watch it. Every one
    started during a case is stopped and judged when the case ends (judge_started_programs)."""

    started = []

    def __init__(self, folder: Path):
        self.folder = folder
        self.process = None
        self.program = LAUNCHER
        self.output = ""

    def uiauto(self, command, exe=LAUNCHER, wait=120, locale=None, **options):
        args = [BIN / "uiauto.exe", command] + ([] if command == "codepage" else ["--exe", exe])
        for name, value in options.items():
            args += ["--" + name.replace("_", "-"), str(value)]
        env = dict(os.environ, WINE_RUN_LOCALE=locale) if locale else None
        result = wine_run(args, cwd=self.folder, env=env, timeout=wait)
        # The emulator's own complaints may share the result's line; the result is the JSON object
        # that parses from its opening brace to the end of the line.
        for line in reversed(result.stdout.splitlines()):
            start = line.find('{"')
            if start >= 0:
                try:
                    return json.loads(line[start:])
                except ValueError:
                    continue
        raise AssertionError("uiauto %s printed no result: %r %r" % (command, result.stdout, result.stderr))

    def start(self, *args, exe_path=None, locale=None, output=None):
        """output: a file to keep what the launcher and every program it starts print, which a
        program outliving the launcher (the updater) goes on writing to after the launcher ended."""
        env = dict(os.environ)
        if locale:
            env["WINE_RUN_LOCALE"] = locale
        if output:
            env["WINE_RUN_OUTPUT"] = str(output)
        program = exe_path or (BIN / LAUNCHER)
        self.program = Path(str(program)).name
        Launcher.started.append(self)
        self.process = subprocess.Popen([str(WINE_RUN), "--home", str(WINE_HOME), str(program)] + list(args),
                                        cwd=self.folder, env=env, stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True, errors="replace")

    def wait_window(self, timeout_ms=60000):
        state = self.uiauto("wait-window", wait=timeout_ms / 1000 + 60, timeout=timeout_ms)
        assert state["found"], state
        return state

    def message_box(self, title=None, text=None, answer="ok", timeout_ms=60000):
        options = {"timeout": timeout_ms}
        if title is not None:
            options["title"] = title
        if text is not None:
            options["text"] = text
        if answer:
            options["answer"] = answer
        return self.uiauto("msgbox", wait=timeout_ms / 1000 + 60, **options)

    def wait_exit(self, timeout=60):
        try:
            self.output, _ = self.process.communicate(timeout=timeout)
            return True
        except subprocess.TimeoutExpired:
            return False

    def stop(self):
        if self.process and self.process.poll() is None:
            self.uiauto("kill")
            if not self.wait_exit(60):
                self.process.kill()
                self.process.communicate()
        elif self.process and self.process.stdout and not self.process.stdout.closed:
            # Ended by itself and never waited for: its output still says how it ended.
            self.output = self.process.communicate()[0]


@pytest.fixture(autouse=True)
def judge_started_programs():
    """Set up first, so torn down last: every launcher or updater the case started is stopped and
    judged by how it ended."""
    Launcher.started = []
    yield
    started, Launcher.started = Launcher.started, []
    stop_and_judge(started)


def stop_and_judge(drivers):
    for driver in drivers:
        driver.stop()
    for driver in drivers:
        judge_program_end(driver.program, driver.output)


@pytest.fixture
def client(wine, request):
    """An empty client folder of the test's own, with the Image\\Autopatch folder."""
    folder = WORK / request.node.name.replace("[", "_").replace("]", "")
    shutil.rmtree(folder, ignore_errors=True)
    (folder / "Image" / "Autopatch").mkdir(parents=True)
    return folder


@pytest.fixture
def server(client):
    """Our fault server on loopback, serving a folder of the test's own (root_dir) and any faults
    the test sets for single paths."""
    from servers.fault_server import FaultServer
    root = client.parent / (client.name + "-server")
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir()
    with FaultServer(root=root) as fault_server:
        fault_server.root_dir = root
        yield fault_server


@pytest.fixture
def launcher(client):
    driver = Launcher(client)
    yield driver
    driver.stop()
    if driver.output.strip():
        # Shown with a failed case's report: how the launcher's own run under Wine ended.
        print("launcher output (last 4000 characters):\n" + driver.output[-4000:])


def control(state, control_id):
    for entry in state["controls"]:
        if entry["id"] == control_id:
            return entry
    raise AssertionError("control %d not in %r" % (control_id, state))


def wait_for(predicate, timeout=20.0):
    end = time.time() + timeout
    while time.time() < end:
        if predicate():
            return True
        time.sleep(0.2)
    return predicate()
