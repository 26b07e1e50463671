"""Checks `quorvane-cli mbr SLOT --json` against the disk it must have read.

usage: check_mbr.py STEPDIR SLOT SCAN_STEPDIR EXPECTED_JSON [EXPECTED_JSON...]

Each EXPECTED_JSON is the document one disk gives (mbr_expected.py), without
its head, slot and device, plus "rc", the exit status the command must end
with. With one file the output must be that disk's; with several (the kernel
probes the disks in parallel, so the slots may come in either order;
check_slot_order.py ties them to the scan) the output is compared with the
disk whose mbr.disk_signature it shows. The device is the one `scan --json`
(SCAN_STEPDIR) lists in SLOT. Every member is compared: the MBR's entries,
the window's label texts and bars, and a GPT disk's table field by field.
"""

import json
import sys

from vmcheck import Checks, Step, field, head


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


def main(step_dir, slot, scan_dir, expected_paths):
    step = Step(step_dir)
    checks = Checks(step)
    disks = []
    for path in expected_paths:
        with open(path, encoding="utf-8") as f:
            disks.append(json.load(f))
    checks.equal("exit status", step.rc, disks[0]["rc"])
    actual = step.json(checks)
    if not isinstance(actual, dict):
        if actual is not None:
            checks.fail("output is not a JSON object")
        return checks.finish()

    expected = disks[0]
    shown = field(actual, "mbr.disk_signature")
    if len(disks) > 1:
        matching = [d for d in disks if d["mbr"]["disk_signature"] == shown]
        if not matching:
            checks.fail("mbr.disk_signature %r is none of the disks' %r"
                        % (shown, [d["mbr"]["disk_signature"] for d in disks]))
            return checks.finish()
        expected = matching[0]
    expected = dict(expected)
    expected.pop("rc")
    expected = dict(head(), slot=slot, device=scan_device(checks, scan_dir, slot), **expected)
    checks.match("mbr", actual, expected)
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) < 5:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4:]))
