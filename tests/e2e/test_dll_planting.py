"""A launcher run from a Downloads folder must not load DLLs that someone put beside it."""
import glob
import os
import shutil
import subprocess
import unittest

import tevharness
from e2e import BUILD, SAMPLE_WITHOUT_PACKAGES, LauncherTestCase

# version.dll is left out: Wine's own user32 imports it, so under Wine the loader resolves it
# before any code of the program runs (Windows' user32 does not import it).
PLANTED = ("msi.dll", "wintrust.dll", "comctl32.dll", "winhttp.dll")
# Prefer a "native" DLL of these names wherever the search order finds one first.
OVERRIDES = {"WINEDLLOVERRIDES": ";".join(f"{os.path.splitext(n)[0]}=n,b" for n in PLANTED)}


class DllPlantingTest(LauncherTestCase):
    # The run goes as far as its progress dialog, which loads the common controls.
    MANIFEST = SAMPLE_WITHOUT_PACKAGES

    def setUp(self):
        self.folder = self.prefix.drive_c(tevharness.LAUNCHER_DIR)
        os.makedirs(self.folder, exist_ok=True)
        for name in PLANTED:
            shutil.copyfile(os.path.join(BUILD, "testing", "planted.dll"), os.path.join(self.folder, name))
        self.clear_markers()

    def clear_markers(self):
        for marker in glob.glob(os.path.join(self.folder, "*.loaded")):
            os.remove(marker)

    def markers(self):
        return sorted(os.path.basename(m) for m in glob.glob(os.path.join(self.folder, "*.loaded")))

    def test_planted_dll_would_be_loaded_by_an_unguarded_program(self):
        # Shows that the planted DLLs and the overrides are effective, so the next test means something.
        shutil.copyfile(os.path.join(BUILD, "testing", "loadlib.exe"), os.path.join(self.folder, "loadlib.exe"))
        self.prefix.wine([f"C:\\{tevharness.LAUNCHER_DIR}\\loadlib.exe", "msi.dll"], env=OVERRIDES,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertEqual(self.markers(), ["msi.dll.loaded"])

    def test_launcher_loads_none_of_the_planted_dlls(self):
        result = self.run_launcher("/debug", env=OVERRIDES)
        self.assertEqual(result.exit_code, 0)
        self.assertEqual(result.dialogs[0].texts[0], "Debug Break", result.output)  # the launcher really ran
        self.assertEqual(self.markers(), [])


if __name__ == "__main__":
    unittest.main()
