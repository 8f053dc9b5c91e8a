#!/usr/bin/env python3
"""The committed JSON Schemas against the tool and the examples.

  check_schemas.py [--update] TOOL

1. schemas/*.schema.json are what `TOOL schema KIND` writes now (--update
   rewrites them): a schema that drifts from the decoders fails here.
2. Each is a valid draft 2020-12 schema.
3. Every JSON file under examples/ is either a document of one of the kinds,
   validated against its schema, or listed below as another kind of input.
   Object documents name their schema in "$schema" by a relative path.
4. The faulty examples fail validation exactly where the tool's lint reports
   errors; the errors no schema can express are listed with their reasons.
"""
import json
import os
import re
import subprocess
import sys

import jsonschema

ROOT = os.path.normpath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
KINDS = ["template", "form", "products", "routes"]

DOCUMENTS = {
    "examples/minimal/template.json": "template",
    "examples/home/template.json": "template",
    "examples/home/includes/seasonal.json": "template",
    "examples/home/includes/weekly_2024_18.json": "template",
    "examples/faulty/template.json": "template",
    "examples/forms/onboarding.json": "form",
    "examples/forms/faulty-form.json": "form",
    "examples/prices/products.json": "products",
    "examples/routes/routes.json": "routes",
    "examples/routes/faulty.json": "routes",
}

OTHER_INPUTS = {
    "examples/minimal/environment.json": "facts (--env)",
    "examples/home/environment.json": "facts (--env)",
    "examples/faulty/environment.json": "facts (--env)",
    "examples/home/results.json": "results of the combined request (--results)",
    "examples/home/includes/index.json": "the include index: references to keys",
    "examples/forms/answers.json": "answers to a form (--answers)",
    "examples/forms/answers-faulty.json": "answers to a form (--answers)",
    "examples/prices/templates.json": "price templates (--templates)",
    "examples/prices/faulty-templates.json": "price templates (--templates)",
}

# Errors lint reports that a schema cannot express: they depend on other
# items, on the predicate language or on files outside the document.
SEMANTIC = {
    "examples/faulty/template.json": {
        "[1].uniqueId": "a uniqueId used twice: a schema compares whole items, not one member "
                        "across items",
        "[1].predicate": "a predicate that does not parse: its grammar is not a regular language",
        "[4].entity[0].predicate": "a predicate that does not parse",
        "[3].entity": "an include whose template file does not exist",
    },
    "examples/forms/faulty-form.json": {
        "items[1].id": "a question id used twice (across questions)",
        "items[1].items[1].id": "an option id used twice (across options)",
    },
    "examples/routes/faulty.json": {
        "routes[5]": "a route name used twice (across entries)",
    },
}


def schema_path(kind):
    return os.path.join(ROOT, "schemas", kind + ".schema.json")


def load(path):
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        return json.load(f)


def location(path_items, kind):
    out = ""
    for p in path_items:
        out += "[%d]" % p if isinstance(p, int) else ("." if out else "") + p
    if kind == "template" and out.startswith("."):
        out = out[1:]
    return out


def leaf_errors(error):
    """The errors under an anyOf or oneOf: those of the alternative that got
    furthest into the document, without the alternative "null"."""
    if error.validator not in ("anyOf", "oneOf") or not error.context:
        return [error]
    alternatives = {}
    for sub in error.context:
        if sub.validator == "type" and sub.validator_value == "null":
            continue
        alternatives.setdefault(sub.schema_path[0], []).append(sub)
    if not alternatives:
        return [error]
    best = max(alternatives.values(), key=lambda errs: max(len(e.absolute_path) for e in errs))
    return [leaf for sub in best for leaf in leaf_errors(sub)]


def schema_locations(validator, document, kind):
    found = set()
    for error in validator.iter_errors(document):
        for leaf in leaf_errors(error):
            where = location(leaf.absolute_path, kind)
            if kind == "routes":
                where = re.match(r"^(routes\[\d+\])?", where).group(0)
            found.add(where)
    return found


def entry_lines(path):
    """The line each entry of a JSON routes file starts on (one a line)."""
    lines = {}
    inside = False
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            text = line.strip()
            if text.startswith('"routes"'):
                inside = True
            elif inside and text.startswith("]"):
                inside = False
            elif inside and text:
                lines[number] = "routes[%d]" % len(lines)
    return lines


def lint_locations(tool, path, kind):
    if kind == "template":
        env = os.path.join(os.path.dirname(path), "environment.json")
        run = subprocess.run([tool, "lint", path, "--env", env], cwd=ROOT, capture_output=True,
                             text=True)
        pattern, text = r"^[^:]+: (.*?): error: ", run.stdout
    elif kind == "form":
        run = subprocess.run([tool, "form", "lint", path], cwd=ROOT, capture_output=True,
                             text=True)
        pattern, text = r"^[^:]+: (?:(.*?): )?error: ", run.stdout
    else:
        run = subprocess.run([tool, "route", path, "myapp://x"], cwd=ROOT, capture_output=True,
                             text=True)
        lines = entry_lines(path)
        return {lines[int(m.group(1))]
                for m in re.finditer(r"^[^:]+:(\d+): error: ", run.stderr, re.M)}
    return {m.group(1) or "" for m in re.finditer(pattern, text, re.M)}


def main(argv):
    update = "--update" in argv
    tool = [a for a in argv[1:] if a != "--update"][0]
    failures = []

    schemas = {}
    for kind in KINDS:
        made = subprocess.run([tool, "schema", kind], capture_output=True, text=True, check=True)
        if update:
            with open(schema_path(kind), "w", encoding="utf-8") as f:
                f.write(made.stdout)
        with open(schema_path(kind), encoding="utf-8") as f:
            committed = f.read()
        if committed != made.stdout:
            failures.append("schemas/%s.schema.json differs from `quarnkit schema %s` "
                            "(check_schemas.py --update rewrites it)" % (kind, kind))
        schemas[kind] = json.loads(committed)
        jsonschema.Draft202012Validator.check_schema(schemas[kind])
        print("ok   schemas/%s.schema.json (%d bytes)" % (kind, len(committed.encode())))

    for dirpath, dirnames, filenames in os.walk(os.path.join(ROOT, "examples")):
        dirnames[:] = [d for d in dirnames if d != "expected"]
        for name in filenames:
            path = os.path.relpath(os.path.join(dirpath, name), ROOT)
            if name.endswith(".json") and path not in DOCUMENTS and path not in OTHER_INPUTS:
                failures.append("%s: neither a document of a kind nor another input" % path)

    for path, kind in DOCUMENTS.items():
        document = load(path)
        if isinstance(document, dict):
            expected = os.path.relpath(schema_path(kind), os.path.dirname(os.path.join(ROOT, path)))
            if document.get("$schema") != expected:
                failures.append('%s: "$schema" should be "%s"' % (path, expected))
        validator = jsonschema.Draft202012Validator(schemas[kind])
        found = schema_locations(validator, document, kind)
        if path not in SEMANTIC:
            if found:
                failures.append("%s: invalid at %s" % (path, ", ".join(sorted(found))))
            else:
                print("ok   %s is a valid %s" % (path, kind))
            continue
        linted = lint_locations(tool, path, kind)
        semantic = set(SEMANTIC[path])
        if not semantic <= linted:
            failures.append("%s: listed as semantic but not reported by lint: %s"
                            % (path, ", ".join(sorted(semantic - linted))))
        if found != linted - semantic:
            failures.append("%s: the schema finds errors at %s; lint at %s (semantic: %s)"
                            % (path, sorted(found), sorted(linted), sorted(semantic)))
        else:
            print("ok   %s fails validation at the %d places lint reports (and %d semantic)"
                  % (path, len(found), len(semantic)))

    for failure in failures:
        print("FAIL " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
