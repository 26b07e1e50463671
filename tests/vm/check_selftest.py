"""Compares an ATA drive's self-test and error logs as quorvane-cli reads them with smartctl.

usage: check_selftest.py LOG_STEPDIR --device sdX --smartctl STEPDIR
           [--smartctl-text STEPDIR] [--text STEPDIR] [--error-log STEPDIR]
           [--metrics STEPDIR] [--kinds KIND,KIND...]

LOG_STEPDIR is `quorvane-cli log N selftest --json`, --text the same without
--json, --error-log `quorvane-cli log N error --json`, --metrics `quorvane-cli
metrics`; the peer is `smartctl -j -c -l selftest -l error /dev/sdX` and, for
its table, the same without -j. All ran one after the other with no test
started in between. Every entry is compared field by field: test type, status
text and value, remaining percent, lifetime hours, LBA of the first error and
the verdict; the error log's count and entries; the metrics' log counts and
the in-progress gauge. --kinds is the tests the guest ran, newest first, as
smartctl names them, so a log both tools misread the same way fails too.

Prints one line per field with each reader's value, then the mismatches.
"""

import argparse
import json
import re
import sys

from vmcheck import Checks, Step, field, head
from check_nvme import metrics_of

# smartctl's row: "# 1  Extended offline    Completed without error       00%      4660         -"
PEER_ROW = re.compile(r"^#\s*(\d+)  (.{19}) (.{29}) (\d)0%\s+(\d+)\s+(\S+)\s*$")
# Ours: "  #1  Extended offline, Completed without error, 0 % remaining, 4660 h[, first failing LBA N]"
OUR_ROW = re.compile(r"^  #(\d+)  (.+?), (.+?), (\d+) % remaining, (\d+) h(?:, first failing LBA (\d+))?$")


class Table:
    def __init__(self):
        self.lines = []

    def add(self, field, peer_json, peer_text, ours, ours_text=None):
        show = lambda v: "-" if v is None else v if isinstance(v, str) else json.dumps(v)
        line = "  %-29s smartctl -j %-24s smartctl %-24s quorvane %-24s" % (
            field, show(peer_json), show(peer_text), show(ours))
        if ours_text is not None:
            line += " (text %s)" % show(ours_text)
        self.lines.append(line.rstrip())


def load(path, checks, what):
    step = Step(path)
    try:
        return json.loads(step.out)
    except ValueError as e:
        checks.fail("%s: stdout is not JSON (%s): %r" % (what, e, step.out[:300]))
        return None


def rows(path, pattern, checks, what):
    found = []
    for line in Step(path).out.splitlines():
        match = pattern.match(line)
        if match:
            found.append(match.groups())
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("log")
    parser.add_argument("--device", required=True)
    parser.add_argument("--smartctl", required=True)
    parser.add_argument("--smartctl-text")
    parser.add_argument("--text")
    parser.add_argument("--error-log")
    parser.add_argument("--metrics")
    parser.add_argument("--kinds")
    args = parser.parse_args()
    step = Step(args.log)
    checks = Checks(step)
    table = Table()
    checks.equal("exit status", step.rc, 0)
    ours = load(args.log, checks, "log selftest --json") or {}
    peer = load(args.smartctl, checks, "smartctl -j") or {}
    # The head, and the self-test log under smartctl's names.
    for key, value in head().items():
        checks.equal(key, ours.get(key), value)
    checks.equal("device", ours.get("device"), {"name": args.device, "type": "ata"})
    entries = field(ours, "ata_smart_self_test_log.standard.table") or []
    standard = dict(peer.get("ata_smart_self_test_log", {}).get("standard", {}))
    # smartctl leaves the failure count out of an empty log.
    if standard.get("count") == 0:
        standard.setdefault("error_count_total", 0)
    peer_rows = standard.get("table", [])
    peer_text = rows(args.smartctl_text, PEER_ROW, checks, "smartctl") if args.smartctl_text else None
    our_text = rows(args.text, OUR_ROW, checks, "log selftest") if args.text else None

    table.add("entries", standard.get("count"), None if peer_text is None else len(peer_text),
              len(entries), None if our_text is None else len(our_text))
    checks.equal("entries (smartctl -j count)", len(entries), standard.get("count"))
    checks.equal("count (smartctl -j count)", field(ours, "ata_smart_self_test_log.standard.count"),
                 standard.get("count"))
    checks.equal("entries (smartctl -j table)", len(entries), len(peer_rows))
    if peer_text is not None:
        checks.equal("entries (smartctl table)", len(entries), len(peer_text))
    if our_text is not None:
        checks.equal("entries (our text)", len(our_text), len(entries))
    if args.kinds is not None:
        checks.equal("test types, newest first (what the guest ran)",
                     [field(e, "type.string") for e in entries],
                     args.kinds.split(",") if args.kinds else [])

    for i, (e, p) in enumerate(zip(entries, peer_rows)):
        n = "#%d " % (i + 1)
        t = peer_text[i] if peer_text is not None and i < len(peer_text) else None
        o = our_text[i] if our_text is not None and i < len(our_text) else None
        status = p.get("status", {})
        peer_remaining = status.get("remaining_percent", 0)
        peer_lba = p.get("lba")
        text_lba = None if t is None else (None if t[5] == "-" else int(t[5]))
        fields = [
            # field, smartctl -j, smartctl text, ours, our text
            ("type", p.get("type", {}).get("string"), t and t[1].rstrip(), field(e, "type.string"),
             o and o[1]),
            ("type value", p.get("type", {}).get("value"), None, field(e, "type.value"), None),
            ("status", status.get("string"), t and t[2].rstrip(), field(e, "status.string"),
             o and o[2]),
            ("status value", status.get("value", 0) >> 4, None, field(e, "status.value"), None),
            ("remaining percent", peer_remaining, t and int(t[3]) * 10,
             field(e, "status.remaining_percent"), o and int(o[3])),
            ("lifetime hours", p.get("lifetime_hours"), t and int(t[4]), e.get("lifetime_hours"),
             o and int(o[4])),
            ("LBA of first error", peer_lba, text_lba, e.get("lba"),
             o and (None if o[5] is None else int(o[5]))),
        ]
        for what, pj, pt, ov, ot in fields:
            table.add(n + what, pj, pt, ov, ot)
            checks.equal(n + what + " (smartctl -j)", ov, pj)
            if t is not None and pt is not None:
                checks.equal(n + what + " (smartctl table)", ov, pt)
            if o is not None and ot is not None:
                checks.equal(n + what + " (our text)", ot, ov)
        # smartctl gives no verdict for an aborted or interrupted test.
        if "passed" in status:
            table.add(n + "passed", status["passed"], None, field(e, "status.passed"))
            checks.equal(n + "passed", field(e, "status.passed"), status["passed"])

    failed = sum(1 for e in entries if field(e, "status.passed") is False)
    table.add("failed entries", standard.get("error_count_total"), None, failed)
    checks.equal("failed entries", failed, standard.get("error_count_total"))

    summary = peer.get("ata_smart_error_log", {}).get("summary", {})
    errors = None
    if args.error_log:
        errors = load(args.error_log, checks, "log error --json") or {}
        checks.equal("error log device", errors.get("device"), {"name": args.device, "type": "ata"})
        our_summary = field(errors, "ata_smart_error_log.summary") or {}
        our_errors = our_summary.get("table") or []
        table.add("error log count", summary.get("count"), None, our_summary.get("count"))
        checks.equal("error log count", our_summary.get("count"), summary.get("count"))
        peer_errors = summary.get("table", [])
        table.add("error log entries", len(peer_errors), None, len(our_errors))
        checks.equal("error log entries", len(our_errors), len(peer_errors))
        for i, (e, p) in enumerate(zip(our_errors, peer_errors)):
            regs = p.get("completion_registers", {})
            cmd = (p.get("previous_commands") or [{}])[0].get("registers", {})
            # Our count, LBA and device are the failing command's (the
            # entry's newest command), as before the typed format.
            for what, pv, ov in [("lifetime hours", p.get("lifetime_hours"), e.get("lifetime_hours")),
                                 ("error", regs.get("error"), field(e, "completion_registers.error")),
                                 ("status", regs.get("status"), field(e, "completion_registers.status")),
                                 ("command", cmd.get("command"), field(e, "command.value")),
                                 ("features", cmd.get("features"), field(e, "command.features")),
                                 ("count", cmd.get("count"), field(e, "command.count")),
                                 ("LBA", cmd.get("lba"), field(e, "command.lba")),
                                 ("device", cmd.get("device"), field(e, "command.device"))]:
                table.add("error #%d %s" % (i + 1, what), pv, None, ov)
                checks.equal("error #%d %s" % (i + 1, what), ov, pv)

    if args.metrics:
        samples = metrics_of(args.metrics, args.device, checks)

        def metric(name, **labels):
            value = samples.get((name, tuple(sorted(labels.items()))))
            if value is None:
                checks.fail("metrics: no %s%s for %s" % (name, labels or "", args.device))
                return None
            return int(float(value))

        self_test = peer.get("ata_smart_data", {}).get("self_test", {}).get("status", {})
        running = self_test.get("value", 0) >> 4 == 15
        for what, name, labels, expected in [
                ("self-test log count", "smartctl_device_self_test_log_count",
                 {"self_test_log_type": "standard"}, standard.get("count")),
                ("self-test log errors", "smartctl_device_self_test_log_error_count",
                 {"self_test_log_type": "standard"}, standard.get("error_count_total")),
                ("error log count", "smartctl_device_error_log_count",
                 {"error_log_type": "summary"}, summary.get("count")),
                ("self-test in progress", "quorvane_device_self_test_in_progress", {},
                 self_test.get("remaining_percent", 0) if running else 0)]:
            value = metric(name, **labels)
            table.add("metrics " + what, expected, None, value)
            checks.equal("metrics " + what, value, expected)

    print("%s self-test and error logs:" % args.device)
    print("\n".join(table.lines))
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
