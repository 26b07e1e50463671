"""Checks that the drive commands opened the disks' device nodes read-only.

usage: check_closes.py STEPDIR DEVICE... --steps STEP...

STEPDIR is a step that printed the close-watch logs of the other steps, each
as "== STEP" followed by that step's events ("sda IN_OPEN", ...). A close of
a node that was open for writing (IN_CLOSE_WRITE) makes udev re-probe the
disk, which can spin up a drive left asleep: there must be none. Every listed
step must have opened every DEVICE (so the watch saw the command at all), and
closed it as often as it opened it.
"""

import collections
import sys

from vmcheck import Checks, Step


def parse(text):
    logs = {}
    current = None
    for line in text.splitlines():
        if line.startswith("== "):
            current = logs.setdefault(line[3:].strip(), [])
        elif line.strip() and current is not None:
            current.append(tuple(line.split()))
    return logs


def main(step_dir, devices, steps):
    step = Step(step_dir)
    checks = Checks(step)
    checks.equal("exit status", step.rc, 0)
    logs = parse(step.out)
    for name in steps:
        if name not in logs:
            checks.fail("no close-watch log for step %s" % name)
            continue
        counts = collections.Counter(logs[name])
        for event in sorted(counts):
            if len(event) != 2 or event[1] not in ("IN_OPEN", "IN_CLOSE_NOWRITE"):
                checks.fail("step %s: %s x %d" % (name, " ".join(event), counts[event]))
        for device in devices:
            opened = counts[(device, "IN_OPEN")]
            closed = counts[(device, "IN_CLOSE_NOWRITE")]
            if opened == 0:
                checks.fail("step %s did not open /dev/%s" % (name, device))
            elif closed != opened:
                checks.fail("step %s: /dev/%s opened %d times, closed read-only %d times" %
                            (name, device, opened, closed))
    return checks.finish()


if __name__ == "__main__":
    args = sys.argv[1:]
    if len(args) < 4 or "--steps" not in args[2:]:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    at = args.index("--steps")
    sys.exit(main(args[0], args[1:at], args[at + 1:]))
