"""Checks `quorvane-cli aam|apm SLOT [--set LEVEL | --off] --json` on a QEMU drive.

usage: check_feature.py STEPDIR FEATURE SLOT

QEMU's drives list neither AAM nor APM in IDENTIFY words 83 and 86 and keep
words 91 and 94 at 0, and they take the four SET FEATURES subcommands as
no-ops without an error. So a read, and a read after a set, must show the
feature unsupported and both level bytes 0 (a failed IDENTIFY would give
255), and a set must end with exit status 0 and nothing on stderr.
"""

import sys

from vmcheck import Checks, Step


def main(step_dir, feature, slot):
    step = Step(step_dir)
    checks = Checks(step)
    checks.equal("exit status", step.rc, 0)
    checks.equal("stderr", step.err, "")
    expected = {"simulated": False, "slot": slot, "feature": feature, "Supported": False,
                "Enabled": False, "Current": 0, "Second": 0}
    actual = step.json(checks)
    if isinstance(actual, dict):
        checks.same_keys("output", actual, expected)
        for key, value in expected.items():
            checks.equal(key, actual.get(key), value)
    elif actual is not None:
        checks.fail("output is not a JSON object: %r" % (actual,))
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[2] not in ("AAM", "APM"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2], int(sys.argv[3])))
