#!/usr/bin/env python3
"""Validates documents against a JSON Schema (draft 2020-12) with the standard
validator, for the tool's tests.

  validate.py SCHEMA DOCUMENTS   DOCUMENTS is a JSON array; prints a JSON array
                                 of booleans, one per document (true: valid)
  validate.py --check SCHEMA...  checks that each file is a valid schema
"""
import json
import sys

import jsonschema


def main(argv):
    if argv[1:2] == ["--check"]:
        for path in argv[2:]:
            with open(path, encoding="utf-8") as f:
                jsonschema.Draft202012Validator.check_schema(json.load(f))
        return 0
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    with open(argv[2], encoding="utf-8") as f:
        documents = json.load(f)
    validator = jsonschema.Draft202012Validator(schema)
    json.dump([validator.is_valid(d) for d in documents], sys.stdout)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
