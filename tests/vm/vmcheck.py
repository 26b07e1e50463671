"""Helpers for the QEMU guest tests.

As a program: `vmcheck.py split OUTPUT STEPDIR NAME...` cuts the guest output
into STEPDIR/NAME/{out,err,rc}, one directory per step, and fails when a step
is missing.

As a module: `Step` reads one step directory and `Checks` collects mismatches
so that a checker reports every wrong field, not only the first. `head()` is
what every --json document of the guest starts with.
"""

import json
import os
import re
import sys


# Where the guest's quorvane-cli finds its drives: the devices themselves
# (through the helper too, which reads the same ones).
GUEST_SOURCE = "physical drives /dev/sda to /dev/sdp and /dev/nvme0 to /dev/nvme15"


def head(simulated=False, source=GUEST_SOURCE):
    """json_format_version and quorvane {version, simulated, drives_source}.

    The version is the CLI's own, which vm-lib.sh exports as QVM_VERSION from
    `quorvane-cli --version` on the host."""
    version = os.environ.get("QVM_VERSION")
    if not version:
        sys.exit("vmcheck: QVM_VERSION is not set (vm-lib.sh exports it)")
    return {"json_format_version": [1, 0],
            "quorvane": {"version": version, "simulated": simulated, "drives_source": source}}


def field(doc, path):
    """doc's member at a dotted path ("drives.0.device.name"); None when absent."""
    for key in path.split("."):
        if isinstance(doc, list) and key.isdigit() and int(key) < len(doc):
            doc = doc[int(key)]
        elif isinstance(doc, dict):
            doc = doc.get(key)
        else:
            return None
    return doc


def split(output_path, step_dir, names):
    with open(output_path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    ok = True
    for name in names:
        begin = "\n@@QVM-BEGIN %s@@\n" % name
        stderr = "\n@@QVM-STDERR %s@@\n" % name
        end = re.search(r"\n@@QVM-END %s rc=(\d+)@@" % re.escape(name), text)
        b = text.find(begin)
        s = text.find(stderr, b + 1) if b >= 0 else -1
        if b < 0 or s < 0 or end is None or end.start() < s:
            print("vmcheck: step %s: no complete output from the guest" % name, file=sys.stderr)
            ok = False
            continue
        d = os.path.join(step_dir, name)
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "out"), "w", encoding="utf-8") as f:
            f.write(text[b + len(begin):s])
        with open(os.path.join(d, "err"), "w", encoding="utf-8") as f:
            f.write(text[s + len(stderr):end.start()])
        with open(os.path.join(d, "rc"), "w", encoding="utf-8") as f:
            f.write(end.group(1) + "\n")
    return ok


class Step:
    """One command's result in the guest."""

    def __init__(self, directory):
        self.name = os.path.basename(os.path.normpath(directory))

        def read(part):
            with open(os.path.join(directory, part), encoding="utf-8") as f:
                return f.read()

        self.out = read("out")
        self.err = read("err")
        self.rc = int(read("rc"))

    def json(self, checks):
        try:
            return json.loads(self.out)
        except ValueError as e:
            checks.fail("stdout is not JSON (%s): %r" % (e, self.out[:400]))
            return None


class Checks:
    def __init__(self, step):
        self.step = step
        self.failures = []

    def fail(self, message):
        self.failures.append(message)

    def equal(self, what, actual, expected):
        # bool is a subclass of int in Python: compare types too, so that
        # true never passes for 1 nor 0 for false.
        if type(actual) is not type(expected) or actual != expected:
            self.fail("%s: got %s, expected %s" % (what, json.dumps(actual), json.dumps(expected)))

    def same_keys(self, what, actual, expected):
        missing = sorted(set(expected) - set(actual))
        extra = sorted(set(actual) - set(expected))
        if missing:
            self.fail("%s: missing fields %s" % (what, ", ".join(missing)))
        if extra:
            self.fail("%s: unexpected fields %s" % (what, ", ".join(extra)))

    def match(self, what, actual, expected):
        """actual equals expected all the way down: every object has the same
        members, every array the same length, every leaf the same type and value."""
        if isinstance(expected, dict):
            if not isinstance(actual, dict):
                self.fail("%s: got %s, expected an object" % (what, json.dumps(actual)))
                return
            self.same_keys(what, actual, expected)
            for key, value in expected.items():
                if key in actual:
                    self.match("%s.%s" % (what, key), actual[key], value)
        elif isinstance(expected, list):
            if not isinstance(actual, list) or len(actual) != len(expected):
                self.fail("%s: got %s, expected %d elements" % (what, json.dumps(actual), len(expected)))
                return
            for i, (a, e) in enumerate(zip(actual, expected)):
                self.match("%s[%d]" % (what, i), a, e)
        else:
            self.equal(what, actual, expected)

    def finish(self):
        if not self.failures:
            return 0
        print("check of step %s failed:" % self.step.name, file=sys.stderr)
        for f in self.failures:
            print("  - " + f, file=sys.stderr)
        if self.step.err.strip():
            print("  stderr of the command:", file=sys.stderr)
            for line in self.step.err.rstrip().splitlines():
                print("    " + line, file=sys.stderr)
        return 1


if __name__ == "__main__":
    if len(sys.argv) < 4 or sys.argv[1] != "split":
        print("usage: vmcheck.py split OUTPUT STEPDIR NAME...", file=sys.stderr)
        sys.exit(2)
    sys.exit(0 if split(sys.argv[2], sys.argv[3], sys.argv[4:]) else 1)
