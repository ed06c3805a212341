"""Shared set-up of the end-to-end suites: the build folder and one prefix per test class."""
import os
import unittest

import tevharness
from servers import Servers

BUILD = os.path.abspath(os.environ.get("TEV_BUILD", os.path.join(tevharness.ROOT, "build")))
HELP_LINES = ["/help /h /?: この画面を表示します", "/quiet:UIを表示しません。", "",
              "/norestart:再起動が必要な場合でも再起動しません。"]
COMMAND_LINE_ERROR = "コマンドライン引数に間違いがあります。"


class LauncherTestCase(unittest.TestCase):
    """Each class gets one fresh prefix; tests that need a clean machine make their own."""

    @classmethod
    def setUpClass(cls):
        cls.prefix = tevharness.Prefix(BUILD)

    @classmethod
    def tearDownClass(cls):
        cls.prefix.close()

    def run_launcher(self, arguments="", **kw) -> tevharness.RunResult:
        result = tevharness.run_launcher(BUILD, self.prefix, arguments, **kw)
        self.assertIsNotNone(result.exit_code, f"the launcher did not end:\n{result.output}")
        # A crash is never an answer, whatever the test expected of the run.
        self.assertIsNone(result.crash, f"crash: {result.crash}\n{result.output}")
        return result

    def assertOnlyDialog(self, result, lines):
        self.assertEqual(len(result.dialogs), 1, result.output)
        self.assertEqual(result.dialogs[0].caption, "TevLauncher")
        self.assertEqual(result.dialogs[0].texts, lines)


class ServedTestCase(LauncherTestCase):
    """A prefix that trusts the test servers' CA, and the servers (nginx over HTTP and HTTPS, the
    fault server) serving `payloads()` for the whole class."""

    @classmethod
    def payloads(cls) -> dict:
        return {}

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.servers = Servers(cls.payloads())
        cls.servers.trust(cls.prefix, BUILD)

    @classmethod
    def tearDownClass(cls):
        cls.servers.close()
        super().tearDownClass()
