#!/usr/bin/python3
"""Validates quorvane-cli --json outputs against the schemas in docs/json.

usage: check_json.py SCHEMA_DIR COMMAND FILE [COMMAND FILE ...]

COMMAND names the schema (COMMAND.schema.json; aam and apm share
feature.schema.json); FILE '-' is standard input. Prints one line per
problem and exits 1 when there is one; silent and 0 when every document is
valid. Needs Debian's python3-jsonschema (Draft 2020-12).
"""
import glob
import json
import os
import sys

import jsonschema

SHARED = {"aam": "feature", "apm": "feature"}


def load_store(schema_dir):
    store = {}
    for path in glob.glob(os.path.join(schema_dir, "*.schema.json")):
        with open(path, encoding="utf-8") as f:
            schema = json.load(f)
        jsonschema.Draft202012Validator.check_schema(schema)
        store[schema["$id"]] = schema
    return store


def validator_for(store, schema_dir, command):
    name = SHARED.get(command, command)
    path = os.path.join(schema_dir, name + ".schema.json")
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as f:
        schema = json.load(f)
    resolver = jsonschema.RefResolver(schema["$id"], schema, store=store)
    return jsonschema.Draft202012Validator(schema, resolver=resolver)


def main(argv):
    if len(argv) < 4 or len(argv) % 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    schema_dir = argv[1]
    store = load_store(schema_dir)
    problems = 0
    for command, name in zip(argv[2::2], argv[3::2]):
        validator = validator_for(store, schema_dir, command)
        if validator is None:
            print(f"{name}: no schema for '{command}' in {schema_dir}")
            problems += 1
            continue
        text = sys.stdin.read() if name == "-" else open(name, encoding="utf-8").read()
        try:
            document = json.loads(text)
        except ValueError as e:
            print(f"{name} ({command}): not JSON: {e}")
            problems += 1
            continue
        for error in validator.iter_errors(document):
            # A oneOf failure says little: follow the branch that came closest.
            while error.context:
                error = max(error.context, key=lambda e: len(e.absolute_path))
            where = "/".join(str(p) for p in error.absolute_path) or "(top)"
            print(f"{name} ({command}): {where}: {error.message[:300]}")
            problems += 1
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
