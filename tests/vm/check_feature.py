"""Checks `quorvane-cli aam|apm SLOT [--set LEVEL | --off] --json` on a QEMU drive.

usage: check_feature.py STEPDIR FEATURE SLOT SCAN_STEPDIR [--set LEVEL | --off]
       check_feature.py STEPDIR FEATURE SLOT --text

QEMU's drives list neither AAM nor APM in IDENTIFY words 83 and 86 and keep
words 91 and 94 at 0, and they take the four SET FEATURES subcommands as
no-ops without an error. So a read, and a read after a set, must show the
feature unsupported (the document then has no levels: null), a set must say
what it sent and that it was done, end with exit status 0 and leave nothing
on stderr. The device is the one `scan --json` (SCAN_STEPDIR) lists in SLOT.

With --text the step is the command without --json, whose text still shows
both level bytes: they must be 0 (a failed IDENTIFY would give 255).
"""

import json
import sys

from vmcheck import Checks, Step, field, head

SECOND = {"AAM": "recommended_level", "APM": "second_level"}
SECOND_TEXT = {"AAM": "Recommended level", "APM": "Second level"}


def scan_device(checks, scan_dir, slot):
    try:
        drives = json.loads(Step(scan_dir).out)["drives"]
    except (ValueError, KeyError, TypeError):
        checks.fail("the scan output has no drive list")
        return None
    found = [d for d in drives if isinstance(d, dict) and d.get("slot") == slot]
    if not found:
        checks.fail("the scan lists no drive in slot %d" % slot)
        return None
    device = found[0].get("device") or {}
    return {"name": device.get("name"), "type": device.get("type")}


def main(step_dir, feature, slot, rest):
    step = Step(step_dir)
    checks = Checks(step)
    checks.equal("exit status", step.rc, 0)
    checks.equal("stderr", step.err, "")
    if rest == ["--text"]:
        lines = step.out.splitlines()
        for want in ("%s supported: no" % feature, "%s enabled: no" % feature, "Current level: 0",
                     "%s: 0" % SECOND_TEXT[feature]):
            if want not in lines:
                checks.fail("stdout lacks the line %r: %r" % (want, step.out))
        return checks.finish()
    scan_dir, option = rest[0], rest[1:]
    if option == ["--off"]:
        done = {"enable": False, "level": 0, "result": "done"}
    elif len(option) == 2 and option[0] == "--set":
        done = {"enable": True, "level": int(option[1]), "result": "done"}
    else:
        done = None
    expected = dict(head(), slot=slot, device=scan_device(checks, scan_dir, slot), set=done)
    expected["ata_" + feature.lower()] = {"supported": False, "enabled": False, "level": None,
                                          SECOND[feature]: None}
    actual = step.json(checks)
    if isinstance(actual, dict):
        checks.match("output", actual, expected)
    elif actual is not None:
        checks.fail("output is not a JSON object: %r" % (actual,))
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) < 5 or sys.argv[2] not in ("AAM", "APM"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]))
