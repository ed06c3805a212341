#!/usr/bin/env python3
"""The progress dialog as a user sees it at 100 % and at 200 % scale, under Wine with its LogPixels
at 96 and at 192: docs/progress-dialog.png and docs/progress-dialog-200.png. Each is taken in a
fresh prefix whose windows Wine frames itself (Xvfb has no window manager), of
`dialogwith.exe progress 7` (tests/ui: the real dialog over scripted work), 4 s after it starts.
    tools/dpi_screenshots.py [BUILD_DIR]"""
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "testing"))
import tevharness  # noqa: E402

SHOTS = ((96, "progress-dialog.png"), (192, "progress-dialog-200.png"))


def main(build):
    # The shipped architecture's dialog (the i686 test build).
    arch_build = os.path.join(build, "x86-test")
    program = os.path.join(arch_build, "tests", "ui", "dialogwith.exe")
    for dpi, name in SHOTS:
        with tevharness.Prefix(arch_build) as prefix:
            for key, value, kind in ((r"HKCU\Software\Wine\X11 Driver", ("Managed", "N"), "REG_SZ"),
                                     (r"HKCU\Control Panel\Desktop", ("LogPixels", str(dpi)), "REG_DWORD")):
                prefix.wine(["reg", "add", key, "/v", value[0], "/t", kind, "/d", value[1], "/f"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
            # The desktop reads its scale when it starts: begin again with the new setting.
            subprocess.run([tevharness.WINESERVER, "-k"], env=tevharness.wine_env(prefix.path))
            subprocess.run([tevharness.WINESERVER, "-p"], env=tevharness.wine_env(prefix.path), check=True)
            env = tevharness.wine_env(prefix.path)
            subprocess.run([os.path.join(ROOT, "tools", "screenshot.sh"), "--delay", "4",
                            os.path.join(ROOT, "docs", name), "--", tevharness.WINE64, program, "progress", "7"],
                           env=env, check=True)


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")))
