"""Checks `quorvane-cli smart SLOT --json` against the expected window.

usage: check_smart.py STEPDIR EXPECTED_JSON SCAN_STEPDIR

EXPECTED_JSON holds "rc", the exit status the command must end with, and the
document's own members but the identity and the attribute table; its
"attributes" are the table's rows as [id, name, value, worst, thresh,
when_failed, flags, flags string, raw string, verdict]. The identity must be
what `scan --json` (SCAN_STEPDIR) lists for the slot. Every member is
compared: the flag word's bits by their ATA meaning, the raw value as the
number its HEX text spells.
"""

import json
import sys

from vmcheck import Checks, Step, head

# The attribute flag word's low bits, lowest first.
FLAG_BITS = ["prefailure", "updated_online", "performance", "error_rate", "event_count",
             "auto_keep"]


def attribute(row):
    id_, name, value, worst, thresh, when_failed, flags, flags_text, raw_text, verdict = row
    bits = {bit: bool(flags >> i & 1) for i, bit in enumerate(FLAG_BITS)}
    return {"id": id_, "name": name, "value": value, "worst": worst, "thresh": thresh,
            "when_failed": when_failed, "flags": dict({"value": flags, "string": flags_text}, **bits),
            "raw": {"value": int(raw_text.rstrip("h"), 16), "string": raw_text}, "verdict": verdict}


def scan_identity(checks, scan_dir, slot):
    try:
        drives = json.loads(Step(scan_dir).out)["drives"]
    except (ValueError, KeyError, TypeError):
        checks.fail("the scan output has no drive list")
        return {}
    found = [d for d in drives if isinstance(d, dict) and d.get("slot") == slot]
    if not found:
        checks.fail("the scan lists no drive in slot %d" % slot)
        return {}
    return {k: v for k, v in found[0].items() if k != "slot"}


def main(step_dir, expected_path, scan_dir):
    step = Step(step_dir)
    checks = Checks(step)
    with open(expected_path, encoding="utf-8") as f:
        wanted = json.load(f)
    checks.equal("exit status", step.rc, wanted.pop("rc"))
    rows = wanted.pop("attributes")
    expected = dict(head(), slot=wanted["slot"])
    expected.update(scan_identity(checks, scan_dir, wanted["slot"]))
    expected.update(wanted)
    expected["ata_smart_attributes"] = {"table": [attribute(r) for r in rows]}
    actual = step.json(checks)
    if not isinstance(actual, dict):
        if actual is not None:
            checks.fail("output is not a JSON object")
        return checks.finish()
    checks.match("smart", actual, expected)
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3]))
