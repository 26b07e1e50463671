"""Checks a step's exit status and output, or that it printed what another step printed.

usage: check_same.py STEPDIR [--like OTHER_STEPDIR] [--rc N] [--out TEXT]
                             [--out-has TEXT]... [--err-has TEXT]...
                             [--json-doc JSON] [--json-has PATH=JSON]...

--like: the standard output and the exit status equal the other step's.
--rc: the exit status is N. --out: the standard output is exactly TEXT (a
trailing newline added). --out-has / --err-has: TEXT appears in the standard
output / error. --json-doc: the standard output is a document of the guest's
quorvane-cli (vmcheck.head()) whose own members are exactly JSON's.
--json-has: the document's member at the dotted PATH ("drives.0.slot") is
JSON.
"""

import argparse
import sys

import json

from vmcheck import Checks, Step, field, head


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("step")
    parser.add_argument("--like")
    parser.add_argument("--rc", type=int)
    parser.add_argument("--out")
    parser.add_argument("--out-has", action="append", default=[])
    parser.add_argument("--err-has", action="append", default=[])
    parser.add_argument("--json-doc")
    parser.add_argument("--json-has", action="append", default=[])
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
    if args.json_doc is not None or args.json_has:
        document = step.json(checks)
        if args.json_doc is not None and document is not None:
            checks.match("document", document, dict(head(), **json.loads(args.json_doc)))
        for text in args.json_has:
            path, value = text.split("=", 1)
            checks.match(path, field(document, path), json.loads(value))
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
