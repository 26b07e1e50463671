"""Compares what quorvane-cli says of an NVMe drive with nvme-cli and smartctl.

usage: check_nvme.py SMART_STEPDIR --slot N --device nvmeK --warning BITS
           --nvme-log STEPDIR --smartctl STEPDIR
           [--nvme-log-text STEPDIR] [--nvme-ctrl STEPDIR] [--nvme-ns STEPDIR]
           [--smart-dec STEPDIR] [--text STEPDIR] [--scan STEPDIR] [--metrics STEPDIR]
           [--report STEPDIR] [--error-log STEPDIR --nvme-error-log STEPDIR]

All steps ran in the same boot, one after the other, with no I/O on the drive
in between, so every counter must be equal. SMART_STEPDIR is `quorvane-cli
smart N --json` (HEX counters), --smart-dec the same with --dec, --text
without --json (its "Warnings:" line names the bits). The peers:
`nvme smart-log /dev/nvmeK -o json` (and without -o json, for its byte
texts), `nvme id-ctrl /dev/nvmeK -o json`, `nvme id-ns /dev/nvmeKn1 -o json`
and `smartctl -j -a /dev/nvmeK`; `nvme error-log /dev/nvmeK -o json` next to
`quorvane-cli log N error --json`. Ours: the health log and the S.M.A.R.T.
window's rows (nvme_health_grid) in the document, the scan, the metrics and
the report file. --warning is the critical warning the guest
was set up to raise, so a QEMU that ignored the set-up fails too.

Prints one line per field with each decoder's value, then the mismatches.
"""

import argparse
import json
import re
import sys

from vmcheck import Checks, Step, field

# The user's words for the critical warning bits, lowest first.
WARNING_NAMES = ["available spare below threshold", "temperature threshold exceeded",
                 "reliability degraded", "read-only", "volatile memory backup failed",
                 "persistent memory region read-only"]

# Our row name, nvme-cli's smart-log key, smartctl's health log key, our unit.
COUNTERS = [
    ("Data Units Read", "data_units_read", "data_units_read", ""),
    ("Data Units Written", "data_units_written", "data_units_written", ""),
    ("Host Read Commands", "host_read_commands", "host_reads", ""),
    ("Host Write Commands", "host_write_commands", "host_writes", ""),
    ("Controller Busy Time", "controller_busy_time", "controller_busy_time", "min"),
    ("Power Cycles", "power_cycles", "power_cycles", ""),
    ("Power On Hours", "power_on_hours", "power_on_hours", "h"),
    ("Unsafe Shutdowns", "unsafe_shutdowns", "unsafe_shutdowns", ""),
    ("Media and Data Integrity Errors", "media_errors", "media_errors", ""),
    ("Error Information Log Entries", "num_err_log_entries", "num_err_log_entries", ""),
    ("Warning Temperature Time", "warning_temp_time", "warning_temp_time", "min"),
    ("Critical Temperature Time", "critical_comp_time", "critical_comp_time", "min"),
    ("Thermal Management T1 Transitions", "thm_temp1_trans_count", None, ""),
    ("Thermal Management T2 Transitions", "thm_temp2_trans_count", None, ""),
    ("Thermal Management T1 Time", "thm_temp1_total_time", None, "s"),
    ("Thermal Management T2 Time", "thm_temp2_total_time", None, "s"),
]
PERCENTS = [
    ("Available Spare", "avail_spare", "available_spare", "smartctl_device_available_spare"),
    ("Available Spare Threshold", "spare_thresh", "available_spare_threshold",
     "smartctl_device_available_spare_threshold"),
    ("Percentage Used", "percent_used", "percentage_used", "smartctl_device_percentage_used"),
]
# Counters the metrics carry, as (row, metric, factor to the metric's unit).
METRIC_COUNTERS = [
    ("Data Units Read", "smartctl_device_bytes_read", 512000),
    ("Data Units Written", "smartctl_device_bytes_written", 512000),
    ("Power On Hours", "smartctl_device_power_on_seconds", 3600),
    ("Power Cycles", "smartctl_device_power_cycle_count", 1),
    ("Media and Data Integrity Errors", "smartctl_device_media_errors", 1),
    ("Error Information Log Entries", "smartctl_device_num_err_log_entries", 1),
]

SAMPLE = re.compile(r'^([a-z_]+)(?:\{(.*)\})? (\S+)$')
LABEL = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)"')


class Table:
    """The values each decoder gave, printed whether the check passes or not."""

    def __init__(self):
        self.lines = []

    def add(self, field, nvme_cli, smartctl, ours):
        show = lambda v: "-" if v is None else str(v)
        self.lines.append("  %-32s nvme-cli %-22s smartctl %-22s quorvane %s" %
                          (field, show(nvme_cli), show(smartctl), show(ours)))


def load_json(path, checks, what):
    if path is None:
        return None
    step = Step(path)
    try:
        return json.loads(step.out)
    except ValueError as e:
        checks.fail("%s: stdout is not JSON (%s): %r" % (what, e, step.out[:300]))
        return None


def rows_of(doc, checks, what):
    """The window's rows by name: {name, value, verdict}."""
    rows = {}
    for row in (doc or {}).get("nvme_health_grid") or []:
        if not isinstance(row, dict) or sorted(row) != ["name", "value", "verdict"]:
            checks.fail("%s: a row is not {name, value, verdict}: %r" % (what, row))
            continue
        if row["name"] in rows:
            checks.fail("%s: row %r twice" % (what, row["name"]))
        rows[row["name"]] = row
    return rows


def counter(text, hex_form, unit, checks, what):
    """The number and the bracketed size of a counter cell, e.g. "00000000000Bh [5.63 MB]"."""
    digits = r"([0-9A-F]{12,})h" if hex_form else r"(\d+)"
    pattern = "^" + digits + r"(?: \[([^\]]+)\])?" + (" " + unit if unit else "") + "$"
    match = re.match(pattern, text or "")
    if not match:
        checks.fail("%s: %r is not a %s counter%s" %
                    (what, text, "HEX" if hex_form else "DEC", " in " + unit if unit else ""))
        return None, None
    return int(match.group(1), 16 if hex_form else 10), match.group(2)


def metrics_of(path, device, checks):
    samples = {}
    for line in Step(path).out.splitlines():
        if not line or line.startswith("#"):
            continue
        match = SAMPLE.match(line)
        if not match:
            checks.fail("metrics: not a sample: %r" % line)
            continue
        labels = dict(LABEL.findall(match.group(2) or ""))
        if labels.pop("device", None) == device:
            samples[(match.group(1), tuple(sorted(labels.items())))] = match.group(3)
    return samples


def main():
    p = argparse.ArgumentParser()
    p.add_argument("smart")
    for opt in ("--slot", "--device", "--warning", "--nvme-log", "--smartctl"):
        p.add_argument(opt, required=True)
    for opt in ("--error-log", "--nvme-error-log", "--text", "--nvme-log-text", "--nvme-ctrl", "--nvme-ns", "--smart-dec", "--scan",
                "--metrics", "--report"):
        p.add_argument(opt)
    a = p.parse_args()
    slot, device, warning = int(a.slot), a.device, int(a.warning, 0)
    step = Step(a.smart)
    checks = Checks(step)
    table = Table()

    ours = load_json(a.smart, checks, "smart --json") or {}
    log = load_json(a.nvme_log, checks, "nvme smart-log") or {}
    ctl = load_json(a.smartctl, checks, "smartctl -j -a") or {}
    ctl_log = ctl.get("nvme_smart_health_information_log", {})
    # Our health log carries smartctl's names.
    our_log = ours.get("nvme_smart_health_information_log") or {}
    rows = rows_of(ours, checks, "smart --json")
    dec = load_json(a.smart_dec, checks, "smart --dec --json") if a.smart_dec else None
    dec_rows = rows_of(dec, checks, "smart --dec --json") if dec else None

    # A drive that raises a warning makes the read's result false and the
    # command exit 1, as a failing ATA drive does.
    healthy = warning == 0
    checks.equal("smart exit status", step.rc, 0 if healthy else 1)
    checks.equal("smart slot", ours.get("slot"), slot)
    checks.equal("smart quorvane.simulated", field(ours, "quorvane.simulated"), False)
    checks.equal("smart smart_status.passed", field(ours, "smart_status.passed"), healthy)
    checks.equal("smart device", ours.get("device"), {"name": device, "type": "nvme",
                                                      "number": int(device[4:])})
    checks.equal("smart raw_values_format", ours.get("raw_values_format"), "hex")

    def cell(name, member="value"):
        row = rows.get(name)
        if row is None:
            checks.fail("no row %r" % name)
            return None
        return row[member]

    # Identity: Identify Controller, Identify Namespace; the scan, metrics, report.
    scan_drive = {}
    if a.scan:
        doc = load_json(a.scan, checks, "scan --json") or {}
        found = [d for d in doc.get("drives", []) if d.get("slot") == slot]
        scan_drive = found[0] if found else {}
        if not found:
            checks.fail("scan: no drive in slot %d" % slot)
        checks.equal("scan device.type", field(scan_drive, "device.type"), "nvme")
        checks.equal("scan device.name", field(scan_drive, "device.name"), device)
    metrics = metrics_of(a.metrics, device, checks) if a.metrics else None
    identity = {}
    if metrics is not None:
        for (name, labels), _ in metrics.items():
            if name == "smartctl_device":
                identity = dict(labels)
    report = Step(a.report).out if a.report else None
    # The report file is 8-bit like every text of the program (the degree sign
    # is the byte B0h), and the guest's output is split as UTF-8, which makes
    # that byte U+FFFD: read it back as the sign it is.
    if report is not None:
        report = report.replace("\ufffdC", "\u00b0C")
    ctrl = load_json(a.nvme_ctrl, checks, "nvme id-ctrl") if a.nvme_ctrl else None
    if ctrl is not None:
        # smartctl's names are ours in the scan, the smart document and the metrics.
        for what, key, ctl_key, report_key in [
                ("model", "mn", "model_name", "Model Number"),
                ("serial", "sn", "serial_number", "Serial Number"),
                ("firmware", "fr", "firmware_version", "Firmware Revision")]:
            want = str(ctrl.get(key, "")).strip()
            table.add(what, want, ctl.get(ctl_key), ours.get(ctl_key))
            checks.equal("smartctl " + what + " (against nvme-cli)", ctl.get(ctl_key), want)
            checks.equal("smart " + ctl_key, ours.get(ctl_key), want)
            if a.scan:
                checks.equal("scan " + ctl_key, scan_drive.get(ctl_key), want)
            if metrics is not None:
                checks.equal("metrics " + what, identity.get(ctl_key), want)
            if report is not None and not re.search(r"^%s: %s$" % (report_key, re.escape(want)),
                                                    report, re.M):
                checks.fail("report lacks the line %r" % ("%s: %s" % (report_key, want)))
        for name, key in (("Warning Temperature Threshold", "wctemp"),
                          ("Critical Temperature Threshold", "cctemp")):
            want = "%d °C" % (ctrl[key] - 273)
            table.add(name, "%d K" % ctrl[key], None, cell(name))
            checks.equal(name, cell(name), want)
        for name, key in (("temperature.op_limit_max", "wctemp"),
                          ("temperature.critical_limit_max", "cctemp")):
            checks.equal("smart " + name, field(ours, name), ctrl[key] - 273)
    ns = load_json(a.nvme_ns, checks, "nvme id-ns") if a.nvme_ns else None
    if ns is not None:
        lba_bytes = 1 << ns["lbafs"][ns["flbas"] & 0x0F]["ds"]
        size = ns["nsze"] * lba_bytes
        ctl_size = ctl.get("user_capacity", {}).get("bytes")
        table.add("capacity bytes", size, ctl_size,
                  metrics.get(("smartctl_device_capacity_bytes", ())) if metrics else None)
        if ctl_size is not None:
            checks.equal("smartctl capacity (against nvme-cli)", ctl_size, size)
        if metrics is not None:
            checks.equal("metrics capacity", metrics.get(("smartctl_device_capacity_bytes", ())),
                         str(size))
        # 512-byte blocks; GB of 2^30 bytes, halves to even.
        capacity = {"blocks": size // 512, "bytes": size}
        checks.equal("smart user_capacity", ours.get("user_capacity"), capacity)
        checks.equal("smart size_gb", ours.get("size_gb"), round(size / 2**30))
        if a.scan:
            checks.equal("scan user_capacity", scan_drive.get("user_capacity"), capacity)
            checks.equal("scan size_gb", scan_drive.get("size_gb"), round(size / 2**30))

    # The critical warning and the verdicts that follow from it.
    bits = log.get("critical_warning")
    table.add("critical warning", bits, ctl_log.get("critical_warning"), cell("Critical Warning"))
    checks.equal("nvme-cli critical warning (the guest's set-up)", bits, warning)
    checks.equal("smartctl critical warning", ctl_log.get("critical_warning"), warning)
    checks.equal("smart health log critical_warning", our_log.get("critical_warning"), warning)
    checks.equal("smartctl smart_status.nvme.value", ctl.get("smart_status", {}).get("nvme", {}).get("value"), warning)
    names = [n for i, n in enumerate(WARNING_NAMES) if warning & (1 << i)]
    checks.equal("smart warnings", ours.get("warnings"), names)
    checks.equal("Critical Warning cell", cell("Critical Warning"), "0x%02X" % warning)
    if a.text:
        # The window's text names the bits on a line of its own.
        text = Step(a.text)
        checks.equal("smart (text) exit status", text.rc, step.rc)
        lines = [l for l in text.out.splitlines() if l.startswith("Warnings:")]
        table.add("warnings named", None, None, "; ".join(lines) or "(no Warnings line)")
        checks.equal("smart (text) Warnings line", lines,
                     ["Warnings: " + ", ".join(names)] if names else [])
    checks.equal("Critical Warning verdict", cell("Critical Warning", "verdict"),
                 "!!!" if warning else "O.K.")
    table.add("health", None, "passed" if ctl.get("smart_status", {}).get("passed") else "FAILED",
              field(ours, "smart_status.string"))
    checks.equal("smartctl passed", ctl.get("smart_status", {}).get("passed"), healthy)
    checks.equal("smart_status.string", field(ours, "smart_status.string"),
                 "O.K." if healthy else "ERROR")
    if metrics is not None:
        checks.equal("metrics critical_warning",
                     metrics.get(("smartctl_device_critical_warning", ())), str(warning))
        checks.equal("metrics smart_status", metrics.get(("smartctl_device_smart_status", ())),
                     "1" if healthy else "0")

    # Temperatures.
    kelvin = log.get("temperature")
    celsius = kelvin - 273 if isinstance(kelvin, int) else None
    table.add("composite temperature", "%s K" % kelvin, ctl.get("temperature", {}).get("current"),
              cell("Composite Temperature"))
    checks.equal("smartctl temperature", ctl.get("temperature", {}).get("current"), celsius)
    checks.equal("smartctl log temperature", ctl_log.get("temperature"), celsius)
    checks.equal("Composite Temperature", cell("Composite Temperature"), "%s °C" % celsius)
    if warning & 0x02 or warning == 0:
        checks.equal("Composite Temperature verdict", cell("Composite Temperature", "verdict"),
                     "!!!" if warning & 0x02 else "O.K.")
    checks.equal("temperature.current", field(ours, "temperature.current"), celsius)
    checks.equal("smart health log temperature", our_log.get("temperature"), celsius)
    if metrics is not None:
        checks.equal("metrics temperature",
                     metrics.get(("smartctl_device_temperature", (("temperature_type", "current"),))),
                     str(celsius))
    ctl_sensors = ctl_log.get("temperature_sensors", [])
    for k in range(1, 9):
        sensor = log.get("temperature_sensor_%d" % k)
        name = "Temperature Sensor %d" % k
        got = (rows.get(name) or {}).get("value")
        if sensor is not None or got is not None:
            table.add(name.lower(), sensor, ctl_sensors[k - 1] if k <= len(ctl_sensors) else None, got)
            checks.equal(name, got, None if sensor is None else "%d °C" % (sensor - 273))
    checks.equal("smart health log temperature_sensors", our_log.get("temperature_sensors"),
                 [log["temperature_sensor_%d" % k] - 273 for k in range(1, 9)
                  if log.get("temperature_sensor_%d" % k) is not None])

    # Percentages and the endurance group summary.
    for name, key, ctl_key, metric in PERCENTS:
        table.add(name.lower(), log.get(key), ctl_log.get(ctl_key), cell(name))
        checks.equal("smartctl " + name, ctl_log.get(ctl_key), log.get(key))
        checks.equal(name, cell(name), "%s %%" % log.get(key))
        checks.equal("smart health log " + ctl_key, our_log.get(ctl_key), log.get(key))
        if metrics is not None:
            checks.equal("metrics " + metric, metrics.get((metric, ())), str(log.get(key)))
    egw = log.get("endurance_grp_critical_warning_summary")
    table.add("endurance group warning", egw, None, cell("Endurance Group Warning"))
    checks.equal("Endurance Group Warning", cell("Endurance Group Warning"), "0x%02X" % (egw or 0))
    checks.equal("smart health log endurance_group_critical_warning",
                 our_log.get("endurance_group_critical_warning"), egw or 0)

    # The counters, in HEX and in DEC, with the sizes of the data units.
    texts = {}
    if a.nvme_log_text:
        for line in Step(a.nvme_log_text).out.splitlines():
            m = re.match(r"^(Data Units (?:Read|Written))\s*:\s*(\d+) \((.*)\)\s*$", line)
            if m:
                texts[m.group(1)] = (int(m.group(2)), m.group(3))
    values = {}
    for name, key, ctl_key, unit in COUNTERS:
        want = int(str(log.get(key)))
        value, size = counter(cell(name), True, unit, checks, name)
        values[name] = value
        peer = ctl_log.get(ctl_key) if ctl_key else None
        table.add(name.lower(), want, peer, cell(name))
        checks.equal(name, value, want)
        # Our health log names the thermal counters as nvme-cli does.
        checks.equal("smart health log " + (ctl_key or key), our_log.get(ctl_key or key), want)
        if ctl_key:
            checks.equal("smartctl " + name, peer, want)
        if name in texts:
            checks.equal(name + " (nvme-cli's text)", texts[name][0], want)
            checks.equal(name + " size", size, texts[name][1])
        if dec_rows is not None:
            dec_value, dec_size = counter((dec_rows.get(name) or {}).get("value"), False, unit,
                                          checks, name + " (DEC)")
            checks.equal(name + " (DEC)", dec_value, want)
            checks.equal(name + " size (DEC)", dec_size, size)
    checks.equal("smartctl power_on_time.hours", ctl.get("power_on_time", {}).get("hours"),
                 values.get("Power On Hours"))
    checks.equal("smartctl power_cycle_count", ctl.get("power_cycle_count"), values.get("Power Cycles"))
    checks.equal("smart power_on_time.hours", field(ours, "power_on_time.hours"),
                 values.get("Power On Hours"))
    checks.equal("smart power_cycle_count", ours.get("power_cycle_count"), values.get("Power Cycles"))
    if metrics is not None:
        for name, metric, factor in METRIC_COUNTERS:
            if values.get(name) is not None:
                checks.equal("metrics " + metric, metrics.get((metric, ())),
                             str(values[name] * factor))
    if dec_rows is not None:
        checks.equal("DEC rows", sorted(dec_rows), sorted(rows))
        checks.equal("DEC smart_status", dec.get("smart_status"), ours.get("smart_status"))
        checks.equal("DEC raw_values_format", dec.get("raw_values_format"), "dec")
        checks.equal("DEC health log", dec.get("nvme_smart_health_information_log"), our_log)

    # The report file: each row of the window with its value.
    if report is not None:
        for name, row in rows.items():
            if not re.search(r"^%s\s+.*%s" % (re.escape(name), re.escape(row["value"])), report, re.M):
                checks.fail("report: no line %r with %r" % (name, row["value"]))

    # The Error Information log: the entries with an error count, in order.
    if a.error_log and a.nvme_error_log:
        peer = load_json(a.nvme_error_log, checks, "nvme error-log") or {}
        mine = load_json(a.error_log, checks, "log error --json") or {}
        want = [e.get("error_count") for e in peer.get("errors", []) if e.get("error_count")]
        got = [e.get("error_count") for e in field(mine, "nvme_error_information_log.table") or []]
        table.add("error log entries in use", len(want), None, len(got))
        checks.equal("log error exit status", Step(a.error_log).rc, 0)
        checks.equal("error log entries", got, want)

    print("%s (slot %d), critical warning 0x%02X:" % (device, slot, warning))
    print("\n".join(table.lines))
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
