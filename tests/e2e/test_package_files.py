"""Package files as a run gets them, against real servers under Wine: acquirewith.exe carries the
launcher's application object, prepares its folders and resolves and acquires every file of a
manifest, then exits as the launcher does (cleaning up what a failed package obtained)."""
import json
import os
import subprocess
import unittest

import tevharness
from e2e import BUILD, ServedTestCase
from servers import file_entry

ACQUIREWITH = os.path.join(BUILD, "tests", "packages", "acquirewith.exe")


class PackageFilesTest(ServedTestCase):
    RUNTIME = os.urandom(200_000)
    DATA = os.urandom(500_000)

    @classmethod
    def payloads(cls):
        return {"runtime.exe": cls.RUNTIME, "data.cab": cls.DATA}

    def setUp(self):
        self.media = self.prefix.drive_c("media", self._testMethodName)
        os.makedirs(self.media, exist_ok=True)
        user = [d for d in os.listdir(self.prefix.drive_c("users")) if d not in ("Public",)][0]
        self.cache = self.prefix.drive_c("users", user, "AppData", "Local", "ProgramData",
                                         "TevLauncherPackageCache", self._testMethodName)

    def manifest(self, packages):
        return {"LaunchPackage": {"DisplayName": "Files"},
                "LaunchList": [{"ExePackage": {"Cache": True, "CacheId": self._testMethodName, **p}} for p in packages]}

    def entry(self, name, data, https=True):
        return {"Name": name, "DownloadUrl": self.servers.url(name, https=https), **file_entry(data)}

    def acquire(self, manifest, *extra):
        path = os.path.join(self.media, "manifest.json")
        with open(path, "w") as f:
            json.dump(manifest, f)
        proc = self.prefix.wine([ACQUIREWITH, tevharness.windows_path(self.prefix, path),
                                 tevharness.windows_path(self.prefix, self.media), *extra],
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        out = proc.stdout.decode("utf-8", errors="replace")
        last = out.rstrip().splitlines()[-1] if out.strip() else ""
        self.assertTrue(last.startswith("exit code "), out + proc.stderr.decode(errors="replace"))
        return int(last.split()[-1]), out  # the whole 32-bit code: the process's own is cut to 8 bits

    def cached(self, name):
        with open(os.path.join(self.cache, name), "rb") as f:
            return f.read()

    def test_a_wrong_file_beside_the_launcher_is_logged_once_then_downloaded_and_reused_later(self):
        with open(os.path.join(self.media, "data.cab"), "wb") as f:
            f.write(self.DATA[:1000])
        manifest = self.manifest([{"ExecuteFile": self.entry("runtime.exe", self.RUNTIME, https=False),
                                   "Payloads": [self.entry("data.cab", self.DATA)]}])
        code, out = self.acquire(manifest)
        self.assertEqual(code, 0, out)
        self.assertEqual(out.count("file size varies("), 1, out)
        self.assertIn("media\\" + self._testMethodName + "\\data.cab)。DownloadSize:1000, NeedSize:500000", out)
        self.assertEqual(out.count("Download Size:"), 2, out)
        self.assertEqual(self.cached("runtime.exe"), self.RUNTIME)
        self.assertEqual(self.cached("data.cab"), self.DATA)
        self.assertEqual(sorted(os.listdir(self.cache)), ["data.cab", "runtime.exe"])  # no partial file
        # The next run finds both in the cache: nothing is downloaded again.
        code, out = self.acquire(manifest)
        self.assertEqual(code, 0, out)
        self.assertNotIn("Download Size:", out)
        self.assertIn("ExecuteFile=" + tevharness.windows_path(self.prefix, os.path.join(self.cache, "runtime.exe")),
                      out.replace("/", "\\"))

    def test_a_failed_package_gives_the_cache_back_as_it_was(self):
        os.makedirs(self.cache, exist_ok=True)
        with open(os.path.join(self.cache, "runtime.exe"), "wb") as f:
            f.write(b"an older runtime")
        manifest = self.manifest([{"ExecuteFile": self.entry("runtime.exe", self.RUNTIME),
                                   "Payloads": [self.entry("data.cab", self.DATA)]}])
        code, out = self.acquire(manifest, "fail")
        self.assertEqual(code, 0, out)
        self.assertIn("RestoreFile( ", out)
        self.assertEqual(self.cached("runtime.exe"), b"an older runtime")
        self.assertFalse(os.path.exists(os.path.join(self.cache, "data.cab")))

    def test_a_download_that_fails_leaves_nothing_and_names_the_address(self):
        manifest = self.manifest([{"ExecuteFile": {"Name": "missing.exe",
                                                   "DownloadUrl": self.servers.url("missing.exe")}}])
        code, out = self.acquire(manifest)
        self.assertEqual(code, 0x80073CF5, out)
        self.assertIn("ファイルのダウンロードに失敗しました(404)", out)
        self.assertFalse(os.path.exists(self.cache) and os.listdir(self.cache), out)


if __name__ == "__main__":
    unittest.main()
