#!/usr/bin/env python3
"""docs/manifest.schema.json is what `tevtool schema` prints, and every manifest in the repository
is checked against it with python3-jsonschema: the ones meant to be valid pass, the ones that keep
faults on purpose fail where the lint fails them too.

usage: schema_test.py TEVTOOL SOURCE_DIR
"""
import json
import pathlib
import subprocess
import sys
import unittest

import jsonschema

TEVTOOL = sys.argv[1] if len(sys.argv) > 1 else "tevtool"
SOURCE = pathlib.Path(sys.argv[2] if len(sys.argv) > 2 else ".")
SCHEMA_FILE = SOURCE / "docs" / "manifest.schema.json"

# Manifests that keep a fault on purpose (the benchmark's and the fuzzing seeds' old letter case
# of behaviours, a search member the launcher ignores), with a word of what the schema must report.
EXPECTED_INVALID = {
    "bench/data/typical-manifest.json": "'ForceReboot' is not one of",
    "fuzz/corpus/manifest-full.json": "'ForceReboot' is not one of",
    "fuzz/corpus/manifest-sample.json": "'Success' is not one of",
}


def repository_manifests():
    """Every JSON file in the repository that is a manifest by its top level (strict JSON only:
    the lenient reader's own test texts are no manifests a schema can read)."""
    listed = subprocess.run(["git", "-C", str(SOURCE), "ls-files", "*.json"], capture_output=True, text=True,
                            check=True).stdout.split()
    for name in listed:
        try:
            document = json.loads((SOURCE / name).read_text(encoding="utf-8-sig"))
        except (ValueError, UnicodeDecodeError, RecursionError):
            continue
        if isinstance(document, dict) and "LaunchList" in document:
            yield name, document


class ManifestSchema(unittest.TestCase):
    def test_schema_file_is_the_tools_output(self):
        printed = subprocess.run([TEVTOOL, "schema"], capture_output=True, check=True).stdout
        self.assertEqual(SCHEMA_FILE.read_bytes(), printed,
                         "docs/manifest.schema.json is out of date: regenerate it with `tevtool schema`")

    def test_schema_is_a_valid_draft_2020_12_schema(self):
        schema = json.loads(SCHEMA_FILE.read_text(encoding="utf-8"))
        self.assertEqual(schema["$schema"], "https://json-schema.org/draft/2020-12/schema")
        jsonschema.Draft202012Validator.check_schema(schema)

    def test_repository_manifests(self):
        validator = jsonschema.Draft202012Validator(json.loads(SCHEMA_FILE.read_text(encoding="utf-8")))
        seen = set()
        for name, document in repository_manifests():
            seen.add(name)
            with self.subTest(manifest=name):
                errors = [error.message for error in validator.iter_errors(document)]
                if name in EXPECTED_INVALID:
                    self.assertTrue(any(EXPECTED_INVALID[name] in e for e in errors), errors)
                else:
                    self.assertEqual(errors, [])
        self.assertIn("samples/sample-manifest.json", seen)

    def test_schema_catches_the_common_faults(self):
        validator = jsonschema.Draft202012Validator(json.loads(SCHEMA_FILE.read_text(encoding="utf-8")))
        base = {"LaunchPackage": {"DisplayName": "P"},
                "LaunchList": [{"ExePackage": {"ExecuteFile": {"Name": "a.exe", "Size": 1, "Hash": [1, 2, 3, 4]}}}]}
        self.assertEqual(list(validator.iter_errors(base)), [])
        cases = {
            "misspelt member": ({"DownloadURL": "x"}, "Additional properties are not allowed"),
            "behaviour in the wrong case": ({"ExitCode": [{"Value": 0, "Behavior": "Success"}]}, "is not one of"),
            "size as text": ({"ExecuteFile": {"Name": "a.exe", "Size": "1"}}, "is not of type 'integer'"),
            "hash of two": ({"ExecuteFile": {"Name": "a.exe", "Hash": [1, 2]}}, "is too short"),
        }
        for case, (members, message) in cases.items():
            with self.subTest(case=case):
                document = json.loads(json.dumps(base))
                package = document["LaunchList"][0]["ExePackage"]
                if "ExecuteFile" in members:
                    package["ExecuteFile"] = members["ExecuteFile"]
                elif "DownloadURL" in members:
                    package["ExecuteFile"].update(members)
                else:
                    package.update(members)
                errors = [error.message for error in validator.iter_errors(document)]
                self.assertTrue(any(message in e for e in errors), errors)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]])
