"""Checks `quorvane-cli scan --json` against the drives the guest was given.

usage: check_scan.py STEPDIR EXPECTED_JSON

EXPECTED_JSON has the same shape as the CLI's output; every field of every
drive is compared, and fields missing from or added to the output fail too.
"""

import json
import sys

from vmcheck import Checks, Step


def main(step_dir, expected_path):
    step = Step(step_dir)
    checks = Checks(step)
    with open(expected_path, encoding="utf-8") as f:
        expected = json.load(f)

    checks.equal("exit status", step.rc, 0)
    actual = step.json(checks)
    if not isinstance(actual, dict):
        if actual is not None:
            checks.fail("output is not a JSON object")
        return checks.finish()

    checks.same_keys("top level", actual, expected)
    checks.equal("simulated", actual.get("simulated"), expected["simulated"])
    drives = actual.get("drives")
    if not isinstance(drives, list):
        checks.fail("drives is not a list: %r" % (drives,))
        return checks.finish()
    if len(drives) != len(expected["drives"]):
        checks.fail("%d drives found, expected %d" % (len(drives), len(expected["drives"])))
    for i, want in enumerate(expected["drives"]):
        if i >= len(drives):
            break
        got = drives[i]
        what = "drive %d (DriveNumber %s)" % (i + 1, want.get("DriveNumber"))
        if not isinstance(got, dict):
            checks.fail("%s is not an object" % what)
            continue
        checks.same_keys(what, got, want)
        for key, value in want.items():
            if key in got:
                checks.equal("%s %s" % (what, key), got[key], value)
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2]))
