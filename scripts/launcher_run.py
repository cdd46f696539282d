"""Running the Windows build's programs from the demo and measurement scripts: one Wine prefix
of their own (not the tests'), the launcher in a client folder, and uiauto to watch it."""
import json
import os
import subprocess
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
BIN = ROOT / "build" / "windows" / "bin"
RUN = ROOT / "cmake" / "wine" / "wine-run.sh"
TIP = 1003


def wine_home(default):
    """The scripts' own prefix, or the one QUENLOR_WINE_HOME names (the README smoke test reuses
    the test prefix instead of booting one more)."""
    return Path(os.environ.get("QUENLOR_WINE_HOME") or default)


class WineSession:
    def __init__(self, home):
        self.home = Path(home)

    def run(self, args, cwd, timeout=120):
        return subprocess.run([str(RUN), "--home", str(self.home)] + [str(a) for a in args], cwd=cwd,
                              capture_output=True, text=True, timeout=timeout)

    def start(self, args, cwd):
        return subprocess.Popen([str(RUN), "--home", str(self.home)] + [str(a) for a in args], cwd=cwd,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def uiauto(self, command, cwd, wait=120, **options):
        args = [BIN / "uiauto.exe", command, "--exe", "QuenlorLauncher.exe"]
        for name, value in options.items():
            args += ["--" + name.replace("_", "-"), str(value)]
        out = self.run(args, cwd, timeout=wait).stdout
        lines = [line for line in out.splitlines() if line.startswith("{")]
        return json.loads(lines[-1]) if lines else {}

    def boot(self):
        subprocess.run([str(RUN), "--home", str(self.home), "--boot"], check=True, timeout=1200)

    def stop(self):
        subprocess.run([str(RUN), "--home", str(self.home), "--stop"], timeout=120)


def control_text(state, control_id=TIP):
    for entry in state.get("controls", []):
        if entry["id"] == control_id:
            return entry["text"]
    return ""
