"""Checks `quorvane-cli scan --json` against the drives the guest was given.

usage: check_scan.py STEPDIR EXPECTED_JSON [--any-order]

With --any-order the drives are paired by serial number and their drive
numbers taken from the output: the kernel probes the disks in parallel (AHCI
ports, and sd's attach on IDE too), so which disk becomes /dev/sda is not fixed. Slots must still follow
the drive numbers.

EXPECTED_JSON holds the drives as the CLI's document lists them; every member
of every drive is compared, and members missing from or added to the output
fail too. The document's head (format version, program version, simulated,
drives_source) is compared with vmcheck.head().
"""

import json
import sys

from vmcheck import Checks, Step, head


def pair_by_serial(checks, drives, expected):
    """Reorders expected to follow the output's drives, with their drive numbers."""
    by_serial = {want["serial_number"]: want for want in expected}
    paired = []
    numbers = []
    for got in drives:
        want = by_serial.get(got.get("serial_number")) if isinstance(got, dict) else None
        if want is None:
            checks.fail("unexpected drive in the output: %r" % (got,))
            return expected
        number = got["device"].get("number") if isinstance(got.get("device"), dict) else None
        want = dict(want, device=dict(want["device"], number=number))
        # An ATA drive's node follows its drive number: 0 is sda.
        if want["device"].get("type") == "ata" and isinstance(number, int):
            want["device"]["name"] = "sd" + chr(ord("a") + number)
        want["slot"] = len(paired) + 1
        numbers.append(number)
        paired.append(want)
    if sorted(numbers) != list(range(len(expected))) or numbers != sorted(numbers):
        checks.fail("drive numbers %r are not 0..%d in slot order" % (numbers, len(expected) - 1))
    return paired


def main(step_dir, expected_path, any_order=False):
    step = Step(step_dir)
    checks = Checks(step)
    with open(expected_path, encoding="utf-8") as f:
        expected = dict(head(), **json.load(f))

    checks.equal("exit status", step.rc, 0)
    actual = step.json(checks)
    if not isinstance(actual, dict):
        if actual is not None:
            checks.fail("output is not a JSON object")
        return checks.finish()

    checks.same_keys("top level", actual, expected)
    for key in ("json_format_version", "quorvane"):
        checks.match(key, actual.get(key), expected[key])
    drives = actual.get("drives")
    if not isinstance(drives, list):
        checks.fail("drives is not a list: %r" % (drives,))
        return checks.finish()
    if len(drives) != len(expected["drives"]):
        checks.fail("%d drives found, expected %d" % (len(drives), len(expected["drives"])))
    wanted = expected["drives"]
    if any_order and len(drives) == len(wanted):
        wanted = pair_by_serial(checks, drives, wanted)
    for i, want in enumerate(wanted):
        if i >= len(drives):
            break
        checks.match("drive %d (device.number %s)" % (i + 1, want["device"].get("number")),
                     drives[i], want)
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4) or (len(sys.argv) == 4 and sys.argv[3] != "--any-order"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2], len(sys.argv) == 4))
