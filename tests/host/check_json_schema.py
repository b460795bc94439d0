#!/usr/bin/env python3
"""Validates a JSON file against one of docs/schema/*.schema.json (with the
schemas beside it for $ref). usage: check_json_schema.py SCHEMA FILE
Exit 0 valid, 1 invalid (the first error printed), 2 cannot check."""
import json
import os
import sys

try:
    import jsonschema
except ImportError as e:
    print(f"check_json_schema: {e}; install python3-jsonschema (scripts/install-deps.sh)", file=sys.stderr)
    sys.exit(2)
try:  # jsonschema 4.18 and later resolve $ref through a registry
    from referencing import Registry, Resource
except ImportError:
    Registry = None

schema_path, data_path = sys.argv[1], sys.argv[2]
folder = os.path.dirname(os.path.abspath(schema_path))
store = {}
for name in os.listdir(folder):
    if name.endswith(".schema.json"):
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            store[name] = json.load(f)
with open(schema_path, encoding="utf-8") as f:
    schema = json.load(f)
try:
    with open(data_path, encoding="utf-8") as f:
        data = json.load(f)
except (OSError, ValueError) as e:
    print(f"{data_path}: not JSON: {e}", file=sys.stderr)
    sys.exit(1)
if Registry is not None:
    registry = Registry().with_resources((n, Resource.from_contents(c)) for n, c in store.items())
    validator = jsonschema.Draft202012Validator(schema, registry=registry)
else:
    resolver = jsonschema.RefResolver(base_uri="", referrer=schema, store=store)
    validator = jsonschema.Draft202012Validator(schema, resolver=resolver)
errors = sorted(validator.iter_errors(data), key=lambda e: list(e.path))
for e in errors[:5]:
    print(f"{data_path}: {'/'.join(map(str, e.path)) or '(top)'}: {e.message}", file=sys.stderr)
sys.exit(1 if errors else 0)
