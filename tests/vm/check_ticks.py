"""Checks the lines `quorvane-cli watch` printed, tick by tick.

usage: check_ticks.py STEPDIR --tick 'LINE|LINE|...' [--tick ...]
                      [--err-count TEXT=N]...

Each --tick gives the lines one tick must print (one per drive, in slot
order); the output must be exactly those ticks, in order. --err-count: TEXT
appears N times on standard error (e.g. once per mail sent). The exit status
must be 0.
"""

import argparse
import sys

from vmcheck import Checks, Step


def main():
    p = argparse.ArgumentParser()
    p.add_argument("step")
    p.add_argument("--tick", action="append", default=[])
    p.add_argument("--err-count", action="append", default=[])
    a = p.parse_args()
    step = Step(a.step)
    checks = Checks(step)
    checks.equal("exit status", step.rc, 0)
    got = step.out.splitlines()
    at = 0
    for n, tick in enumerate(a.tick, 1):
        want = tick.split("|")
        have = got[at:at + len(want)]
        if have != want:
            checks.fail("tick %d printed\n      %s\n    expected\n      %s" %
                        (n, "\n      ".join(have), "\n      ".join(want)))
        at += len(want)
    if got[at:]:
        checks.fail("lines after the last tick: %r" % got[at:])
    for item in a.err_count:
        text, _, count = item.rpartition("=")
        checks.equal("times %r is on stderr" % text, step.err.count(text), int(count))
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
