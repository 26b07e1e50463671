"""Checks `quorvane-cli metrics` on QEMU's drives (same boot as the scan).

usage: check_metrics.py STEPDIR SERIAL...

Each drive was asked CHECK POWER MODE through SG_IO before its read. QEMU's
ATA model answers it without an error and Sector Count 0xFF (active), so every
drive must show quorvane_device_power_mode 2, a healthy status, no failed
read, and its identity in smartctl_device.
"""

import re
import sys

from vmcheck import Checks, Step

SAMPLE = re.compile(r'^([a-z_]+)(?:\{(.*)\})? (\S+)$')
LABEL = re.compile(r'(\w+)="((?:[^"\\]|\\.)*)"')


def main(step_dir, serials):
    step = Step(step_dir)
    checks = Checks(step)
    checks.equal("exit status", step.rc, 0)
    samples = []
    for line in step.out.splitlines():
        if not line or line.startswith("#"):
            continue
        match = SAMPLE.match(line)
        if not match:
            checks.fail("not a sample: %r" % line)
            continue
        samples.append((match.group(1), dict(LABEL.findall(match.group(2) or "")),
                        match.group(3)))

    def values(name):
        return {labels.get("device"): value for n, labels, value in samples if n == name}

    devices = {labels["serial_number"]: labels["device"]
               for name, labels, _ in samples if name == "smartctl_device"}
    checks.equal("serials", sorted(devices), sorted(serials))
    power, status, failures = (values("quorvane_device_power_mode"),
                               values("smartctl_device_smart_status"),
                               values("quorvane_read_failures_total"))
    for serial, device in devices.items():
        checks.equal("power mode of " + device, power.get(device), "2")
        checks.equal("smart status of " + device, status.get(device), "1")
        checks.equal("read failures of " + device, failures.get(device), "0")
    checks.equal("attribute samples present",
                 any(n == "smartctl_device_attribute" for n, _, _ in samples), True)
    return checks.finish()


if __name__ == "__main__":
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2:]))
