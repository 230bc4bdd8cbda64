#!/usr/bin/env python3
"""check-report.py SCHEMA REPORT...: each REPORT against the JSON Schema SCHEMA.

Prints one line for each fault found and exits 1 when there is any; exits 0,
printing nothing, when every report is valid. Draft 7, which Debian 12's
python3-jsonschema validates.
"""
import json
import sys

import jsonschema


def main(argv):
    if len(argv) < 3:
        print("usage: check-report.py SCHEMA REPORT...", file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft7Validator.check_schema(schema)
    validator = jsonschema.Draft7Validator(schema)
    faults = 0
    for name in argv[2:]:
        try:
            with open(name, encoding="utf-8") as f:
                document = json.load(f)
        except (OSError, ValueError) as error:
            print(f"{name}: {error}")
            faults += 1
            continue
        for error in sorted(validator.iter_errors(document), key=lambda e: list(e.path)):
            where = "/".join(str(part) for part in error.path)
            print(f"{name}: /{where}: {error.message}")
            faults += 1
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
