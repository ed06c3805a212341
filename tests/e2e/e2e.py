"""Shared set-up of the end-to-end suites: the build folder and one prefix per test class."""
import json
import os
import subprocess
import tempfile
import unittest

import tevharness
from servers import Servers

# The whole build folder, and the build of the architecture under test in it (build/x64 or
# build/x86-test, the i686 test build), whose programs the suites run.
BUILD_ROOT = os.path.abspath(os.environ.get("TEV_BUILD", os.path.join(tevharness.ROOT, "build")))
ARCH = os.environ.get("TEV_ARCH", "x64")
BUILD = os.path.abspath(os.environ.get("TEV_ARCH_BUILD", os.path.join(BUILD_ROOT, "x64")))
HELP_LINES = ["/help /h /?: この画面を表示します", "/quiet:UIを表示しません。", "",
              "/norestart:再起動が必要な場合でも再起動しません。"]
COMMAND_LINE_ERROR = "コマンドライン引数に間違いがあります。"


def _sample_without_packages() -> str:
    """The bundled sample with an empty "LaunchList": start-up as the sample has it, with a run that
    installs nothing (the sample's own packages come from the demo's server)."""
    with open(os.path.join(tevharness.ROOT, "samples", "sample-manifest.json"), encoding="utf-8") as f:
        manifest = json.load(f)
    manifest["LaunchList"] = []
    fd, path = tempfile.mkstemp(prefix="tev-sample-", suffix=".json")
    with os.fdopen(fd, "w", encoding="utf-8") as f:
        json.dump(manifest, f, ensure_ascii=False)
    return path


SAMPLE_WITHOUT_PACKAGES = _sample_without_packages()
HOLDFILE = os.path.join(BUILD, "tests", "e2e", "holdfile.exe")
# The run's work folder, under this fixed name in the temporary folder.
WORK_FOLDER = "{701B65B4-B91C-4B3B-93A2-8240BBE49DDA}"


class HeldOpen:
    """Another program (holdfile.exe) holding `path`, a file in the prefix, open without sharing it,
    until closed."""

    def __init__(self, prefix, path):
        self.proc = subprocess.Popen(prefix.command([HOLDFILE, tevharness.windows_path(prefix, path)]),
                                     env=tevharness.wine_env(prefix.path), stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        answer = self.proc.stdout.readline().strip()
        if answer != b"held":
            self.close()
            raise RuntimeError(f"holdfile could not hold {path}: {answer!r}")

    def close(self):
        self.proc.stdin.close()
        self.proc.wait(30)
        self.proc.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def is_progress_dialog(dialog) -> bool:
    """The run's progress dialog (seen by its bar, or by its instruction when it closed too fast to
    read the bar), as opposed to the launcher's message boxes."""
    return bool(dialog.progress) or bool(dialog.texts and dialog.texts[0].endswith("の準備を行っています。"))


class LauncherTestCase(unittest.TestCase):
    """Each class gets one fresh prefix; tests that need a clean machine make their own. MANIFEST,
    when set, is the manifest each run's launcher carries unless the run names another."""

    MANIFEST = None

    @classmethod
    def setUpClass(cls):
        cls.prefix = tevharness.Prefix(BUILD)

    @classmethod
    def tearDownClass(cls):
        cls.prefix.close()

    def run_launcher(self, arguments="", **kw) -> tevharness.RunResult:
        if kw.get("launcher") is None:
            kw.setdefault("manifest", self.MANIFEST)
        result = tevharness.run_launcher(BUILD, self.prefix, arguments, **kw)
        self.assertIsNotNone(result.exit_code, f"the launcher did not end:\n{result.output}")
        # A crash is never an answer, whatever the test expected of the run.
        self.assertIsNone(result.crash, f"crash: {result.crash}\n{result.output}")
        return result

    def assertOnlyDialog(self, result, lines):
        """One message box with `lines`; a progress dialog of the run may come and go beside it."""
        boxes = [d for d in result.dialogs if not is_progress_dialog(d)]
        self.assertEqual(len(boxes), 1, result.output)
        self.assertEqual(boxes[0].caption, "TevLauncher")
        self.assertEqual(boxes[0].texts, lines)


class ServedTestCase(LauncherTestCase):
    """A prefix that trusts the test servers' CA, and the servers (nginx over HTTP and HTTPS, the
    fault server) serving `payloads()` for the whole class."""

    @classmethod
    def payloads(cls) -> dict:
        return {}

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # tearDownClass does not run after a failed set-up: a prefix left open would keep its
        # wineserver, and with it the test runner's output pipe, alive.
        try:
            cls.servers = Servers(cls.payloads())
        except BaseException:
            cls.prefix.close()
            raise
        try:
            cls.servers.trust(cls.prefix, BUILD)
        except BaseException:
            cls.servers.close()
            cls.prefix.close()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.servers.close()
        super().tearDownClass()
