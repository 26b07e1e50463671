"""Checks `quorvane-cli smart SLOT --json` against the expected window.

usage: check_smart.py STEPDIR EXPECTED_JSON

EXPECTED_JSON has the same shape as the CLI's output, plus "rc", the exit
status the command must end with. Every key, caption and grid cell is
compared.
"""

import json
import sys

from vmcheck import Checks, Step


def main(step_dir, expected_path):
    step = Step(step_dir)
    checks = Checks(step)
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)
    checks.equal("exit status", step.rc, expected.pop("rc"))
    actual = step.json(checks)
    if not isinstance(actual, dict):
        if actual is not None:
            checks.fail("output is not a JSON object")
        return checks.finish()

    checks.same_keys("top level", actual, expected)
    for key in ("simulated", "slot", "status", "result"):
        checks.equal(key, actual.get(key), expected[key])
    temperatures = actual.get("temperatures")
    if isinstance(temperatures, dict):
        checks.same_keys("temperatures", temperatures, expected["temperatures"])
        for key, value in expected["temperatures"].items():
            checks.equal("temperatures " + key, temperatures.get(key), value)
    else:
        checks.fail("temperatures is not an object: %r" % (temperatures,))
    rows = actual.get("rows")
    if not isinstance(rows, list):
        checks.fail("rows is not a list: %r" % (rows,))
        return checks.finish()
    if len(rows) != len(expected["rows"]):
        checks.fail("%d rows, expected %d" % (len(rows), len(expected["rows"])))
    for i, (got, want) in enumerate(zip(rows, expected["rows"])):
        checks.equal("row %d" % (i + 1), got, want)
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
