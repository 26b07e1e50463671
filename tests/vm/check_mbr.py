"""Checks `quorvane-cli mbr SLOT --json` against the disk it must have read.

usage: check_mbr.py STEPDIR SLOT EXPECTED_JSON [EXPECTED_JSON...]

Each EXPECTED_JSON is the output one disk gives, without "slot", plus "rc",
the exit status the command must end with. With one file the output must be
that disk's; with several (the kernel probes the disks in parallel, so the
slots may come in either order; check_slot_order.py ties them to the scan) the output is compared with the disk whose
VolumeID it shows. Every key, partition field, label text and bar is
compared.
"""

import json
import sys

from vmcheck import Checks, Step


def main(step_dir, slot, expected_paths):
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
    if len(disks) > 1:
        matching = [d for d in disks if d["VolumeID"] == actual.get("VolumeID")]
        if not matching:
            checks.fail("VolumeID %r is none of the disks' %r"
                        % (actual.get("VolumeID"), [d["VolumeID"] for d in disks]))
            return checks.finish()
        expected = matching[0]
    expected = dict(expected)
    expected.pop("rc")
    expected["slot"] = slot

    checks.same_keys("top level", actual, expected)
    for key in ("simulated", "slot", "VolumeID", "Signature", "bars"):
        checks.equal(key, actual.get(key), expected[key])
    if "gpt" in expected:  # a GPT disk: the table as read, field by field
        gpt = actual.get("gpt") if isinstance(actual.get("gpt"), dict) else {}
        for key, value in expected["gpt"].items():
            checks.equal("gpt %s" % key, gpt.get(key), value)
    for part in ("partitions", "groups"):
        got = actual.get(part)
        if not isinstance(got, list) or len(got) != 4:
            checks.fail("%s is not a list of 4: %r" % (part, got))
            continue
        for i, (g, want) in enumerate(zip(got, expected[part])):
            what = "%s[%d]" % (part, i)
            if not isinstance(g, dict):
                checks.fail("%s is not an object: %r" % (what, g))
                continue
            checks.same_keys(what, g, want)
            for key, value in want.items():
                checks.equal("%s %s" % (what, key), g.get(key), value)
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], int(sys.argv[2]), sys.argv[3:]))
