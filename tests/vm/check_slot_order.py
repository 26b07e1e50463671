"""Checks that the MBR steps read the disks in the scan's slot order.

usage: check_slot_order.py SCAN_STEPDIR SERIAL=VOLUMEID...

The kernel probes the disks in parallel, so which one becomes /dev/sda is
not fixed, and the other checkers accept either disk in either slot. This
one ties them together: step mbrN (a sibling of SCAN_STEPDIR) must show the
disk id (mbr.disk_signature) of the drive that `scan --json` listed in slot N.
"""

import json
import os
import sys

from vmcheck import Checks, Step, field


def main(scan_dir, pairs):
    step = Step(scan_dir)
    checks = Checks(step)
    volume_of = dict(p.split("=", 1) for p in pairs)
    try:
        drives = json.loads(step.out)["drives"]
    except (ValueError, KeyError, TypeError):
        checks.fail("the scan output has no drive list")
        return checks.finish()
    for slot, drive in enumerate(drives, start=1):
        serial = drive.get("serial_number") if isinstance(drive, dict) else None
        mbr_dir = os.path.join(os.path.dirname(os.path.normpath(scan_dir)), "mbr%d" % slot)
        if serial not in volume_of or not os.path.isdir(mbr_dir):
            checks.fail("slot %d: no MBR step for serial %r" % (slot, serial))
            continue
        try:
            shown = field(json.loads(Step(mbr_dir).out), "mbr.disk_signature")
        except ValueError:
            shown = None
        checks.equal("slot %d (serial %s) mbr.disk_signature" % (slot, serial), shown, volume_of[serial])
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) < 3 or not all("=" in p for p in sys.argv[2:]):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2:]))
