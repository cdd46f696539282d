"""The benchmark table pairs our cases with their references and reports the right ratios."""
import json
import os
import subprocess
import sys

SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench_table.py")


def run_entry(name, cpu, real, unit="ns", aggregate=None):
    entry = {"name": name, "run_name": name, "cpu_time": cpu, "real_time": real, "time_unit": unit,
             "run_type": "aggregate" if aggregate else "iteration"}
    if aggregate:
        entry["name"] = f"{name}_{aggregate}"
        entry["aggregate_name"] = aggregate
    return entry


def write(folder, program, entries):
    folder.mkdir(exist_ok=True)
    (folder / f"{program}.json").write_text(json.dumps({"benchmarks": entries}))


def table(tmp_path):
    done = subprocess.run([sys.executable, SCRIPT, str(tmp_path / "b32"), str(tmp_path / "b64")],
                          capture_output=True, text=True, check=True)
    return {tuple(line.split()[:3]): line.split()[3:] for line in done.stdout.splitlines()[1:]}


def test_medians_of_repeated_cases_are_compared_by_cpu_time(tmp_path):
    write(tmp_path / "b32", "sort_bench", [
        run_entry("int/random/gevrast/100", 9.0, 1.0), run_entry("int/random/std_sort/100", 9.0, 1.0),
        run_entry("int/random/gevrast/100", 3.0, 50.0, aggregate="median"),
        run_entry("int/random/gevrast/100", 2.0, 50.0, aggregate="mean"),
        run_entry("int/random/std_sort/100", 2.0, 1.0, aggregate="median"),
    ])
    # Units differ between the two sides: the ratio is still of the same quantity.
    write(tmp_path / "b64", "sort_bench", [
        run_entry("int/random/gevrast/100", 1.0, 1.0, unit="ms"),
        run_entry("int/random/std_sort/100", 4000.0, 1.0, unit="us"),
    ])
    rows = table(tmp_path)
    assert rows[("sort_bench", "int/random/100", "std_sort")] == ["1.500", "0.250"]


def test_every_reference_of_a_case_gets_a_row_and_a_missing_side_shows_a_dash(tmp_path):
    write(tmp_path / "b32", "math_bench", [
        run_entry("MatrixMultiply2/gevrast/1000", 2.0, 2.0), run_entry("MatrixMultiply2/glm/1000", 4.0, 4.0),
        run_entry("MatrixMultiply2/scalar/1000", 1.0, 1.0), run_entry("MatrixMultiply2/glm/9", 1.0, 1.0),
    ])
    write(tmp_path / "b64", "other_bench", [])
    rows = table(tmp_path)
    assert rows[("math_bench", "MatrixMultiply2/1000", "glm")] == ["0.500", "-"]
    assert rows[("math_bench", "MatrixMultiply2/1000", "scalar")] == ["2.000", "-"]
    assert len(rows) == 2   # a reference with other arguments is no sibling


def test_a_child_process_reference_is_compared_by_wall_time(tmp_path):
    write(tmp_path / "b32", "md5_bench", [
        run_entry("md5/ours/64/real_time", 1.0, 2.0), run_entry("md5/md5sum/64/real_time", 0.01, 8.0),
        run_entry("md5/openssl/64/real_time", 2.0, 1.0),
    ])
    write(tmp_path / "b64", "md5_bench", [])
    rows = table(tmp_path)
    assert rows[("md5_bench", "md5/64", "md5sum")][0] == "0.250"
    assert rows[("md5_bench", "md5/64", "openssl")][0] == "0.500"
