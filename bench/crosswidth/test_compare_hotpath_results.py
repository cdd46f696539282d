"""The rules by which two builds' hot path results are judged to agree."""
import os
import subprocess
import sys

import pytest

SCRIPT = os.environ.get("COMPARE_SCRIPT") or os.path.join(
    os.path.dirname(__file__), "..", "..", "scripts", "compare_hotpath_results.py")

BASE = [
    "MatrixMultiply2[0] exact 3f800000 00000000",
    "MatrixMultiply2[1] exact 40000000 c0000000",
    "CalcAngleAndYPR[0] ulp1 3f800000 00000000 bf800000",
    "MD5[1] exact d81fd9b26fd0e89a61b65229aac286e5",
]


def run(tmp_path, first, second):
    a, b = tmp_path / "a.txt", tmp_path / "b.txt"
    a.write_text("\n".join(first) + "\n")
    b.write_text("\n".join(second) + "\n")
    done = subprocess.run([sys.executable, SCRIPT, str(a), str(b)], capture_output=True, text=True)
    return done.returncode, done.stdout


def changed(index, line):
    lines = list(BASE)
    lines[index] = line
    return lines


def test_identical_results_agree(tmp_path):
    code, out = run(tmp_path, BASE, BASE)
    assert code == 0
    assert "4 identical, 0 within 1 ulp, 0 different" in out


@pytest.mark.parametrize("line", [
    "MatrixMultiply2[1] exact 40000001 c0000000",       # one bit of a float
    "MD5[1] exact d81fd9b26fd0e89a61b65229aac286e4",    # one bit of a digest
])
def test_exact_cases_allow_no_difference(tmp_path, line):
    code, out = run(tmp_path, BASE, changed(1 if line.startswith("Matrix") else 3, line))
    assert code == 1
    assert line.split()[0] in out


@pytest.mark.parametrize("line, agrees", [
    ("CalcAngleAndYPR[0] ulp1 3f800001 00000000 bf800000", True),    # one ulp up
    ("CalcAngleAndYPR[0] ulp1 3f7fffff 00000000 bf800000", True),    # one ulp down, across a binade
    ("CalcAngleAndYPR[0] ulp1 3f800000 80000001 bf800000", True),    # +0 against the smallest negative
    ("CalcAngleAndYPR[0] ulp1 3f800000 80000000 bf800000", True),    # +0 and -0
    ("CalcAngleAndYPR[0] ulp1 3f800002 00000000 bf800000", False),   # two ulps
    ("CalcAngleAndYPR[0] ulp1 3f800000 00000001 bf800001", True),    # one ulp in two values
    ("CalcAngleAndYPR[0] ulp1 3f800000 00000000 3f800000", False),   # the sign
    ("CalcAngleAndYPR[0] ulp1 7fc00000 00000000 bf800000", False),   # a NaN
])
def test_runtime_cases_allow_one_ulp(tmp_path, line, agrees):
    code, out = run(tmp_path, BASE, changed(2, line))
    assert code == (0 if agrees else 1), out
    if agrees and line != BASE[2]:
        assert "1 within 1 ulp" in out


def test_a_case_missing_on_one_side_is_a_difference(tmp_path):
    code, out = run(tmp_path, BASE, BASE[:-1])
    assert code == 1
    assert "MD5[1]: only in the first file" in out


def test_a_summary_stands_for_the_full_results(tmp_path):
    full = tmp_path / "full.txt"
    full.write_text("\n".join(BASE) + "\n")
    summary = subprocess.run([sys.executable, SCRIPT, "--summary", str(full)], capture_output=True, text=True,
                             check=True).stdout.splitlines()
    assert len(summary) == 1 + 3    # mark, MatrixMultiply2*, MD5*, the runtime case as it is
    code, _ = run(tmp_path, BASE, summary)
    assert code == 0
    # One changed value anywhere in a routine changes its digest.
    code, out = run(tmp_path, changed(0, "MatrixMultiply2[0] exact 3f800000 00000001"), summary)
    assert code == 1
    assert "MatrixMultiply2*" in out
    # The tolerance still holds for the cases a summary keeps.
    code, _ = run(tmp_path, changed(2, "CalcAngleAndYPR[0] ulp1 3f800001 00000000 bf800000"), summary)
    assert code == 0
