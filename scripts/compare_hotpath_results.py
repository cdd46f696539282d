#!/usr/bin/env python3
"""Compares two outputs of hotpath_results (for instance the 32-bit and the x86-64 build).

Lines with rule "exact" must be identical. Lines with rule "ulp1" hold float bit patterns that
may differ by at most one unit in the last place (results rounded from a C runtime function).
Prints every difference and a summary; exit status 0 when the two agree, 1 when not, 2 when a
file cannot be read or the two do not hold the same cases.

  compare_hotpath_results.py A B        compare two outputs (either may be a summary)
  compare_hotpath_results.py --summary A  print A's summary: one digest per routine for its
                                          exact cases, its ulp1 cases as they are; small enough
                                          to keep in the repository as the x86-64 results
"""
import hashlib
import sys

SUMMARY_MARK = "# hotpath_results summary"


def read_cases(path):
    """Case -> (rule, values); the second result tells whether the file is a summary."""
    cases = {}
    with open(path, encoding="ascii") as f:
        lines = f.read().splitlines()
    summary = bool(lines) and lines[0] == SUMMARY_MARK
    for number, line in enumerate(lines, 1):
        if line.startswith("#"):
            continue
        fields = line.split()
        if len(fields) < 2:
            raise ValueError(f"{path}:{number}: not '<case> <rule> <values...>'")
        if fields[0] in cases:
            raise ValueError(f"{path}:{number}: case {fields[0]} appears twice")
        cases[fields[0]] = (fields[1], fields[2:])
    return cases, summary


def summarise(cases):
    """Exact cases folded into one digest per routine ("Name[3]" belongs to "Name")."""
    folded, result = {}, {}
    for name, (rule, values) in cases.items():
        if rule != "exact":
            result[name] = (rule, values)
            continue
        routine = name.split("[")[0]
        folded.setdefault(routine, []).append(f"{name} {' '.join(values)}")
    for routine, lines in folded.items():
        digest = hashlib.sha256("\n".join(sorted(lines)).encode("ascii")).hexdigest()[:32]
        result[routine + "*"] = ("exact", [str(len(lines)), digest])
    return result


def ordered(bits):
    """Maps a float's bit pattern onto a line where neighbouring floats are one apart."""
    value = int(bits, 16)
    return value if value < 0x80000000 else 0x80000000 - value


def ulp_distance(a, b):
    return abs(ordered(a) - ordered(b))


def nan(bits):
    value = int(bits, 16)
    return (value & 0x7F800000) == 0x7F800000 and (value & 0x007FFFFF) != 0


def compare(first, second):
    """Returns (differences, exact count, tolerated count)."""
    differences = []
    exact = tolerated = 0
    for name in sorted(set(first) | set(second)):
        if name not in first or name not in second:
            differences.append(f"{name}: only in {'the first' if name in first else 'the second'} file")
            continue
        (rule_a, values_a), (rule_b, values_b) = first[name], second[name]
        if rule_a != rule_b or len(values_a) != len(values_b):
            differences.append(f"{name}: rule or value count differs")
        elif values_a == values_b:
            exact += 1
        elif rule_a == "ulp1" and all(
                a == b or (not nan(a) and not nan(b) and ulp_distance(a, b) <= 1) for a, b in zip(values_a, values_b)):
            tolerated += 1
        else:
            differences.append(f"{name} ({rule_a}): {' '.join(values_a)}  vs  {' '.join(values_b)}")
    return differences, exact, tolerated


def main(argv):
    if len(argv) != 3:
        print(f"usage: {argv[0]} RESULTS_A RESULTS_B | --summary RESULTS", file=sys.stderr)
        return 2
    try:
        if argv[1] == "--summary":
            cases, _ = read_cases(argv[2])
            print(SUMMARY_MARK)
            for name, (rule, values) in sorted(summarise(cases).items()):
                print(f"{name} {rule} {' '.join(values)}")
            return 0
        (first, first_summary), (second, second_summary) = read_cases(argv[1]), read_cases(argv[2])
    except (OSError, ValueError) as error:
        print(f"compare: {error}", file=sys.stderr)
        return 2
    # A summary is compared with the other side's summary.
    if first_summary != second_summary:
        first, second = (first if first_summary else summarise(first)), (second if second_summary else summarise(second))
    differences, exact, tolerated = compare(first, second)
    for line in differences:
        print(line)
    print(f"{len(first)} cases: {exact} identical, {tolerated} within 1 ulp, {len(differences)} different")
    return 1 if differences else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
