"""The README smoke test (scripts/readme_smoke.sh) covers every script the README documents, and a
command that fails fails it."""
import re
import subprocess

from conftest import ROOT

SMOKE = ROOT / "scripts" / "readme_smoke.sh"
# The test command itself, the set-up it starts with, and the smoke test.
NOT_SMOKED = {"test", "setup", "readme_smoke"}


def test_every_script_the_readme_documents_has_a_smoke_run():
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    documented = set(re.findall(r"scripts/(\w+)\.sh", readme)) - NOT_SMOKED
    smoke = SMOKE.read_text(encoding="utf-8")
    runs = set(re.findall(r"^smoke_(\w+)\(\)", smoke, flags=re.M))
    listed = set(re.search(r"^names=\(([^)]*)\)", smoke, flags=re.M).group(1).split())
    assert documented - runs == set()
    assert runs == listed
    for tool in ("qlconfig", "ftpget", "uiauto"):
        assert tool in runs


def test_a_command_that_fails_fails_the_smoke_test():
    result = subprocess.run(["bash", str(SMOKE), "no_such_command"], capture_output=True, text=True, timeout=60)
    assert result.returncode != 0
    lines = result.stdout.splitlines()
    assert "failed: no_such_command (see build/logs/smoke/no_such_command.log)" in lines
    assert lines[-1] == "verdict: 0 passed, 1 failed"
