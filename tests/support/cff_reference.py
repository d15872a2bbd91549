#!/usr/bin/python3
"""The reference answer for citation files: each FILE loaded as a YAML 1.1 safe loader does
(dates as ISO text), validated with Python's jsonschema (draft-07) against SCHEMA. Prints one
line per file: "valid" or "invalid KEY KEY ...", the top-level keys the errors are about.
   cff_reference.py SCHEMA FILE..."""
import datetime
import json
import re
import sys

import jsonschema
import yaml


def plain(value):
    if isinstance(value, dict):
        return {(str(k).lower() if isinstance(k, bool) else str(k)): plain(v) for k, v in value.items()}
    if isinstance(value, list):
        return [plain(v) for v in value]
    if isinstance(value, (datetime.date, datetime.datetime)):
        return value.isoformat()
    return value


with open(sys.argv[1]) as f:
    validator = jsonschema.Draft7Validator(json.load(f))
for path in sys.argv[2:]:
    with open(path) as f:
        document = plain(yaml.safe_load(f))
    keys = set()
    for error in validator.iter_errors(document):
        if error.path:
            keys.add(str(error.path[0]))
        elif error.validator == "additionalProperties":
            keys.update(re.findall(r"'([^']+)'", error.message.split("(")[-1]))
        elif error.validator == "required":
            keys.update(re.findall(r"'([^']+)'", error.message)[:1])
        else:
            keys.add("(the document)")
    print("valid" if not keys else "invalid " + " ".join(sorted(keys)))
