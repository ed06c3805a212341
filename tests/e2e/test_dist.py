"""./tev dist's folder, made from the build under test: every piece there, stripped, linked to its
symbol file, listed with its SHA-256, the shipped launcher within its size limit, and the stripped
tools still running under Wine."""
import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest

import tevharness
from e2e import BUILD_ROOT, LauncherTestCase

DIST = os.path.join(tevharness.ROOT, "tools", "dist.sh")
PIECES = ["LWProductInfo64.dll", "TevLauncher.exe", "tevtool/x64/tevtool.exe", "tevtool/x86/tevtool.exe"]
SYMBOLS = ["symbols/LWProductInfo64.dll.debug", "symbols/TevLauncher.exe.debug", "symbols/tevtool-x64.exe.debug",
           "symbols/tevtool-x86.exe.debug"]


class DistTest(LauncherTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.out = tempfile.mkdtemp(prefix="tevdist-")
        cls.made = subprocess.run([DIST, BUILD_ROOT, cls.out], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.out, ignore_errors=True)
        super().tearDownClass()

    def path(self, name):
        return os.path.join(self.out, name)

    def test_every_piece_is_there_stripped_and_linked_to_its_symbols(self):
        self.assertEqual(self.made.returncode, 0, self.made.stdout)
        for piece, symbols in zip(PIECES, SYMBOLS):
            with self.subTest(piece):
                triple = "i686-w64-mingw32" if "x86" in piece or piece == "TevLauncher.exe" else "x86_64-w64-mingw32"
                sections = subprocess.run([f"{triple}-objdump", "-h", self.path(piece)], stdout=subprocess.PIPE,
                                          text=True, check=True).stdout
                self.assertIn(".gnu_debuglink", sections)
                self.assertNotIn(".debug_info", sections)
                self.assertIn(".debug_info", subprocess.run([f"{triple}-objdump", "-h", self.path(symbols)],
                                                            stdout=subprocess.PIPE, text=True, check=True).stdout)
        self.assertLessEqual(os.path.getsize(self.path("TevLauncher.exe")), 1024 * 1024)

    def test_the_sums_list_every_other_file(self):
        listed = {}
        with open(self.path("SHA256SUMS")) as f:
            for line in f:
                digest, name = line.rstrip("\n").split("  ", 1)
                listed[name] = digest
        self.assertEqual(sorted(listed), sorted(PIECES + SYMBOLS))
        for name, digest in listed.items():
            with open(self.path(name), "rb") as f:
                self.assertEqual(hashlib.sha256(f.read()).hexdigest(), digest, name)

    def test_the_stripped_tool_runs(self):
        proc = self.prefix.wine([self.path("tevtool/x64/tevtool.exe"), "hash", "--help"], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        self.assertIn(b"Sha256", proc.stdout)


if __name__ == "__main__":
    unittest.main()
