"""tevtool as a release engineer meets it: `hash` describes a file exactly as the launcher checks
it (an entry it prints verifies in a real run; the same entry fails once one byte of the file
changes), and `stamp` refuses what is no launch manifest unless forced."""
import hashlib
import json
import os
import shutil
import subprocess
import tempfile
import unittest

import tevharness
from e2e import BUILD, ServedTestCase
from servers import file_entry

TEVTOOL = os.path.join(BUILD, "tevtool.exe")
EXITWITH = os.path.join(BUILD, "tests", "app", "exitwith.exe")


class TevtoolTest(ServedTestCase):
    @classmethod
    def payloads(cls):
        with open(EXITWITH, "rb") as f:
            cls.PROGRAM = f.read()
        return {"setup.exe": cls.PROGRAM}

    def tevtool(self, *args):
        proc = self.prefix.wine([tevharness.z_path(TEVTOOL), *args], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return proc.returncode, proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8", errors="replace")

    def run_with_entry(self, entry):
        entry = {**entry, "DownloadUrl": self.servers.url("setup.exe")}
        document = {"LaunchPackage": {"DisplayName": "Hashed"},
                    "LaunchList": [{"ExePackage": {"Id": "setup", "PreRequired": True, "ExecuteFile": entry,
                                                   "InstallCommand": "0"}}]}
        fd, path = tempfile.mkstemp(suffix=".json")
        with os.fdopen(fd, "w") as f:
            json.dump(document, f)
        try:
            return self.run_launcher("", manifest=path, hidden=True)
        finally:
            os.remove(path)

    def test_a_hashed_entry_verifies_in_a_real_run_and_one_changed_byte_fails_it(self):
        local = os.path.join(tempfile.mkdtemp(), "setup.exe")
        with open(local, "wb") as f:
            f.write(self.PROGRAM)
        code, out, err = self.tevtool("hash", tevharness.z_path(local))
        self.assertEqual(code, 0, err)
        entry = json.loads(out)
        self.assertEqual((entry["Name"], entry["Size"], len(entry["Hash"]), entry["Sha256"]),
                         ("setup.exe", len(self.PROGRAM), 4, hashlib.sha256(self.PROGRAM).hexdigest()))
        result = self.run_with_entry(entry)
        self.assertEqual(result.exit_code, 0, result.log_text)
        changed = bytearray(self.PROGRAM)
        changed[len(changed) // 2] ^= 1
        self.servers.add("setup.exe", bytes(changed))
        result = self.run_with_entry(entry)
        self.assertNotEqual(result.exit_code, 0, result.log_text)
        self.assertIn("File contents differ(", result.log_text)

    def test_hash_refuses_what_it_cannot_describe(self):
        code, out, err = self.tevtool("hash", "Z:\\no\\such\\file.bin")
        self.assertEqual((code, out), (2, ""))
        self.assertIn("no such file", err)
        # 2^31 bytes (sparse): beyond what a "Size" can hold.
        big = os.path.join(tempfile.mkdtemp(), "big.bin")
        with open(big, "wb") as f:
            f.truncate(1 << 31)
        code, out, err = self.tevtool("hash", tevharness.z_path(big))
        os.remove(big)
        self.assertEqual((code, out), (2, ""))
        self.assertIn("2147483648 bytes", err)
        self.assertEqual(self.tevtool("hash")[0], 2)
        self.assertEqual(self.tevtool("hash", "--help")[0], 0)

    def test_stamp_refuses_what_the_launcher_would_refuse_unless_forced(self):
        launcher = os.path.join(BUILD, "TevLauncher.exe")
        lint_error = '{"LaunchPackage": {"DisplayName": "X"}, "LaunchList": [{"ExePackage": {"PreRequired": 1}}]}'
        for name, document, said in (("no manifest", "[1, 2]", "is not a launch manifest"),
                                     ("a member of the wrong kind", lint_error, ":1:")):
            with self.subTest(name):
                folder = tempfile.mkdtemp()
                manifest, output = os.path.join(folder, "m.json"), os.path.join(folder, "out.exe")
                with open(manifest, "w") as f:
                    f.write(document)
                code, _, err = self.tevtool("stamp", tevharness.z_path(launcher), tevharness.z_path(manifest),
                                            tevharness.z_path(output))
                self.assertEqual(code, 1, err)
                self.assertIn(said, err)
                self.assertFalse(os.path.exists(output))
                code, _, err = self.tevtool("stamp", "--force", tevharness.z_path(launcher),
                                            tevharness.z_path(manifest), tevharness.z_path(output))
                self.assertEqual(code, 0, err)
                self.assertTrue(os.path.exists(output))

    def test_fill_writes_the_real_sizes_and_hashes_and_keeps_the_rest_of_the_text(self):
        folder = tempfile.mkdtemp()
        os.makedirs(os.path.join(folder, "payload", "Redist"))
        with open(os.path.join(folder, "payload", "Redist", "setup.exe"), "wb") as f:
            f.write(self.PROGRAM)
        with open(os.path.join(folder, "payload", "data.cab"), "wb") as f:
            f.write(b"cabinet")
        template = ('{ "LaunchPackage": {"DisplayName": "Filled"},\n'
                    '  "LaunchList": [ {"ExePackage": {\n'
                    '      "ExecuteFile": { "Name": "Redist\\\\setup.exe",   "Size": 1,  "Hash": [1, 2,\n 3, 4] },\n'
                    '      "Payloads": [ {"Name": "data.cab"}, {} ],\n'
                    '      "InstallCommand": "0"   } } ] }\n')
        manifest, output = os.path.join(folder, "m.json"), os.path.join(folder, "out.json")
        with open(manifest, "w") as f:
            f.write(template)
        code, _, err = self.tevtool("fill", tevharness.z_path(manifest), tevharness.z_path(os.path.join(folder, "payload")),
                                    "-o", tevharness.z_path(output))
        self.assertEqual(code, 0, err)
        with open(output) as f:
            filled = f.read()
        program, cabinet = file_entry(self.PROGRAM), file_entry(b"cabinet")
        hash_text = lambda e: "[" + ", ".join(str(w) for w in e["Hash"]) + "]"  # noqa: E731
        sha = lambda data: '"' + hashlib.sha256(data).hexdigest() + '"'  # noqa: E731
        expected = template.replace('"Size": 1,  "Hash": [1, 2,\n 3, 4] }',
                                    f'"Size": {program["Size"]},  "Hash": {hash_text(program)}, '
                                    f'"Sha256": {sha(self.PROGRAM)} }}')
        expected = expected.replace('{"Name": "data.cab"}',
                                    f'{{"Name": "data.cab", "Size": {cabinet["Size"]}, "Hash": {hash_text(cabinet)}, '
                                    f'"Sha256": {sha(b"cabinet")}}}')
        self.assertEqual(filled, expected)
        self.assertFalse(os.path.exists(output + ".tevpart"))  # written beside OUT, then moved into place
        # A missing file: an error at its entry, and nothing written.
        os.remove(output)
        os.remove(os.path.join(folder, "payload", "data.cab"))
        code, _, err = self.tevtool("fill", tevharness.z_path(manifest), tevharness.z_path(os.path.join(folder, "payload")),
                                    "-o", tevharness.z_path(output))
        self.assertEqual(code, 2)
        self.assertIn("m.json:5:22: error:", err)  # the entry's "Name"
        self.assertFalse(os.path.exists(output))

    def test_the_windows_tool_lints_as_the_native_one(self):
        folder = tempfile.mkdtemp()
        manifest = os.path.join(folder, "m.json")
        with open(manifest, "w") as f:
            f.write('{"LaunchPackage": {"DisplayName": "X", "Condition": "VersionNT >=", "FailMessage": "x"},\n'
                    ' "LaunchList": [{"ExePackage": {"ExitCode": [{"Value": 1, "Behavior": "Success"}]}}]}\n')
        code, _, err = self.tevtool("lint", tevharness.z_path(manifest))
        self.assertEqual(code, 1, err)
        self.assertIn(":1:", err)
        self.assertIn('did you mean "success"?', err)
        self.assertIn("the condition does not parse", err)


class OfflineLayoutTest(ServedTestCase):
    """From payload files to a launcher that installs with no server: fill, stamp, layout, then the
    launcher started from the layout while nginx is stopped."""

    PRODUCT = "{C3D1E2F0-6A7B-4C8D-9E0F-1A2B3C4D5E61}"

    @classmethod
    def payloads(cls):
        with open(EXITWITH, "rb") as f:
            program = f.read()
        with open(os.path.join(BUILD, "fixtures", "TevInstallPlain.msi"), "rb") as f:
            package = f.read()
        return {"runtime.exe": program, "product.msi": package}

    def test_a_filled_stamped_layout_installs_with_no_server_running(self):
        work = tempfile.mkdtemp()
        document = {"LaunchPackage": {"DisplayName": "Offline"}, "LaunchList": [
            {"ExePackage": {"Id": "runtime", "PreRequired": True, "InstallCommand": "0",
                            "ExecuteFile": {"Name": "Redist\\runtime.exe", "DownloadUrl": self.servers.url("runtime.exe")}}},
            {"MsiPackage": {"Id": "product", "DisplayName": "Offline product", "ProductCode": self.PRODUCT,
                            "Version": "1.0.0",
                            "ExecuteFile": {"Name": "product.msi", "DownloadUrl": self.servers.url("product.msi")}}}]}
        manifest, filled, stamped = (os.path.join(work, n) for n in ("m.json", "filled.json", "Offline.exe"))
        with open(manifest, "w") as f:
            json.dump(document, f, indent=2)
        # The payload folder as the release engineer has it, with the launcher's subfolders.
        payload = os.path.join(work, "payload")
        os.makedirs(os.path.join(payload, "Redist"))
        shutil.copyfile(os.path.join(self.servers.payload, "runtime.exe"), os.path.join(payload, "Redist", "runtime.exe"))
        shutil.copyfile(os.path.join(self.servers.payload, "product.msi"), os.path.join(payload, "product.msi"))
        z = tevharness.z_path
        for args in (("fill", z(manifest), z(payload), "-o", z(filled)),
                     ("stamp", z(os.path.join(BUILD, "TevLauncher.exe")), z(filled), z(stamped))):
            proc = self.prefix.wine([z(TEVTOOL), *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE)
            self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
        layout = self.prefix.drive_c(tevharness.LAUNCHER_DIR)
        proc = self.prefix.wine([z(TEVTOOL), "layout", z(stamped), tevharness.windows_path(self.prefix, layout)],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(proc.returncode, 0, proc.stderr.decode(errors="replace"))
        self.assertEqual(proc.stdout.decode().split(), ["Redist\\runtime.exe:", "verified", "product.msi:", "verified"])
        self.servers.nginx.stop()
        result = self.run_launcher("", launcher=os.path.join(layout, "Offline.exe"), hidden=True)
        self.assertEqual(result.exit_code, 0, result.log_text)
        self.assertNotIn("Download Size:", result.log_text)
        query = self.prefix.wine(["reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                                  self.PRODUCT], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(query.returncode, 0, result.log_text)


    def test_a_file_that_fails_its_check_is_not_left_in_the_layout(self):
        work = tempfile.mkdtemp()
        good = b"the real file"
        entry = {"Name": "data.cab", "DownloadUrl": "http://127.0.0.1:9/data.cab", **file_entry(good)}
        document = {"LaunchPackage": {"DisplayName": "Broken"},
                    "LaunchList": [{"ExePackage": {"Id": "x", "ExecuteFile": entry}}]}
        manifest, stamped = os.path.join(work, "m.json"), os.path.join(work, "Broken.exe")
        with open(manifest, "w") as f:
            json.dump(document, f)
        source, layout = os.path.join(work, "from"), os.path.join(work, "layout")
        os.makedirs(source)
        with open(os.path.join(source, "data.cab"), "wb") as f:
            f.write(b"the wrong file")
        z = tevharness.z_path
        tevharness.stamp(BUILD, self.prefix, os.path.join(BUILD, "TevLauncher.exe"), manifest, stamped)
        proc = self.prefix.wine([z(TEVTOOL), "layout", z(stamped), z(layout), "--from", z(source)],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(proc.returncode, 1, proc.stderr.decode(errors="replace"))
        self.assertIn("data.cab: error: does not match", proc.stderr.decode(errors="replace"))
        self.assertEqual(sorted(os.listdir(layout)), ["Broken.exe"])


if __name__ == "__main__":
    unittest.main()
