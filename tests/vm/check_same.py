"""Checks a step's exit status and output, or that it printed what another step printed.

usage: check_same.py STEPDIR [--like OTHER_STEPDIR] [--rc N] [--out TEXT]
                             [--out-has TEXT]... [--err-has TEXT]...

--like: the standard output and the exit status equal the other step's.
--rc: the exit status is N. --out: the standard output is exactly TEXT (a
trailing newline added). --out-has / --err-has: TEXT appears in the standard
output / error.
"""

import argparse
import sys

from vmcheck import Checks, Step


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("step")
    parser.add_argument("--like")
    parser.add_argument("--rc", type=int)
    parser.add_argument("--out")
    parser.add_argument("--out-has", action="append", default=[])
    parser.add_argument("--err-has", action="append", default=[])
    args = parser.parse_args()
    step = Step(args.step)
    checks = Checks(step)
    if args.like:
        other = Step(args.like)
        checks.equal("exit status (as %s's)" % other.name, step.rc, other.rc)
        if step.out != other.out:
            checks.fail("stdout differs from %s's:\n%s---- %s:\n%s" %
                        (other.name, step.out, other.name, other.out))
    if args.rc is not None:
        checks.equal("exit status", step.rc, args.rc)
    if args.out is not None and step.out != args.out + "\n":
        checks.fail("stdout is %r, expected %r" % (step.out, args.out + "\n"))
    for text in args.out_has:
        if text not in step.out:
            checks.fail("stdout lacks %r" % text)
    for text in args.err_has:
        if text not in step.err:
            checks.fail("stderr lacks %r" % text)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
