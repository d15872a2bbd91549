#!/usr/bin/python3
"""Validates JSON documents (or JSON Lines with --lines) against a JSON Schema, resolving
references to the schemas beside it. Prints one line per invalid document; exit 1 then.
   validate_json.py SCHEMA [--lines] FILE..."""
import json
import os
import sys

import jsonschema

args = sys.argv[1:]
schema_path = args.pop(0)
lines = "--lines" in args
files = [a for a in args if a != "--lines"]
with open(schema_path) as f:
    schema = json.load(f)
store = {}
folder = os.path.dirname(os.path.abspath(schema_path))
for name in os.listdir(folder):
    if name.endswith(".json"):
        with open(os.path.join(folder, name)) as f:
            doc = json.load(f)
        for key in (doc.get("$id"), doc.get("id"), name):
            if key:
                store[key] = doc
cls = jsonschema.validators.validator_for(schema)
resolver = jsonschema.RefResolver.from_schema(schema, store=store)
validator = cls(schema, resolver=resolver)
bad = 0
for path in files:
    with open(path, encoding="utf-8") as f:
        docs = [json.loads(l) for l in f if l.strip()] if lines else [json.load(f)]
    for i, doc in enumerate(docs, 1):
        errors = sorted(validator.iter_errors(doc), key=lambda e: list(e.path))
        for e in errors[:3]:
            bad += 1
            print(f"{path}:{i}: {'/'.join(map(str, e.path))}: {e.message}")
sys.exit(1 if bad else 0)
