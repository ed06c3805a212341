"""Two launchers at once in one user session, under Wine: every launcher works in the same fixed
work folder, so while one setup runs, a second one started beside it is refused (exit code 1618)
and says why; a launcher the running setup starts itself goes on as the same launch."""
import json
import os
import tempfile
import threading
import time
import unittest

import tevharness
from e2e import BUILD, ServedTestCase, is_progress_dialog
from reliability import Row, Table, exit_text
from servers import file_entry

EXITWITH = os.path.join(BUILD, "tests", "app", "exitwith.exe")
ALREADY_RUNNING = 1618
MESSAGE = ["別のセットアップを実行中です。", "実行中のセットアップが終わってから、もう一度実行してください。"]
REFUSED_LINE = "CheckSingleRun: another setup is running in this session"
SAME_LAUNCH_LINE = "CheckSingleRun: started by the setup that is running (the same launch)"


TABLE = Table("3-two-launchers", "Two launchers at once",
              "One setup at a time per user session: every launcher works in the same fixed work folder. "
              "The cache columns are the first setup's prerequisite (not cached: it lives in the work folder).")


def tearDownModule():
    TABLE.write()


def manifest_file(name, packages):
    fd, path = tempfile.mkstemp(prefix="tev-two-", suffix=".json")
    with os.fdopen(fd, "w", encoding="utf-8") as f:
        json.dump({"LaunchPackage": {"DisplayName": name}, "LaunchList": packages}, f, ensure_ascii=False)
    return path


def exe_package(package_id, url, data, command="0"):
    return {"ExePackage": {
        "Id": package_id, "DisplayName": package_id, "PreRequired": True, "Cache": False,
        "ExecuteFile": {"Name": f"{package_id}.exe", "DownloadUrl": url, **file_entry(data)},
        "InstallCommand": command, "SilentInstallCommand": command}}


def own_log(result, name):
    """The log of the run whose package is `name` (a run's result holds every log changed meanwhile)."""
    texts = [text for text in result.logs.values() if f"Add Property PackageName={name}\n" in text]
    return texts[0] if len(texts) == 1 else "\n".join(texts)


class TwoLaunchersTest(ServedTestCase):

    @classmethod
    def payloads(cls):
        with open(EXITWITH, "rb") as f:
            cls.PROGRAM = f.read()
        # A nested setup: a launcher of its own, installed as the outer setup's prerequisite.
        inner_manifest = manifest_file("Inner", [])
        inner = os.path.join(tempfile.mkdtemp(prefix="tev-inner-"), "inner.exe")
        try:
            tevharness.stamp(BUILD, cls.prefix, os.path.join(BUILD, "TevLauncher.exe"), inner_manifest, inner)
        finally:
            os.remove(inner_manifest)
        with open(inner, "rb") as f:
            cls.INNER = f.read()
        return {"inner.exe": cls.INNER}

    def run_manifest(self, name, packages, **kw):
        path = manifest_file(name, packages)
        try:
            return self.run_launcher(manifest=path, **kw)
        finally:
            os.remove(path)

    def test_a_second_setup_is_refused_while_the_first_runs_and_the_first_ends_well(self):
        # The first setup's prerequisite comes from the fault server slowly, 4 KiB every 80 ms.
        self.servers.fault.bodies["/slow.exe"] = self.PROGRAM
        slow_url = self.servers.fault.url("/trickle/80/slow.exe")
        self.servers.fault.requests.clear()
        first = {}
        runner = threading.Thread(target=lambda: first.update(result=self.run_manifest(
            "First", [exe_package("slow", slow_url, self.PROGRAM)], hidden=True, timeout=180)))
        runner.start()
        try:
            deadline = time.monotonic() + 60
            while not self.servers.fault.requests and time.monotonic() < deadline:
                time.sleep(0.2)
            self.assertTrue(self.servers.fault.requests, "the first setup never started its download")
            codes = {}
            for hidden in (False, True):
                with self.subTest(hidden=hidden):
                    second = self.run_manifest("Second", [], hidden=hidden, setup_folder="TevSetup2")
                    codes[hidden] = second.exit_code
                    self.assertEqual(second.exit_code, ALREADY_RUNNING, second.output + second.log_text)
                    self.assertIn(REFUSED_LINE, second.log_text)
                    boxes = [d for d in second.dialogs if not is_progress_dialog(d)]
                    self.assertEqual([b.texts for b in boxes], [] if hidden else [MESSAGE])
                    if not hidden:
                        self.assertEqual(boxes[0].caption, "TevLauncher")
            self.assertTrue(runner.is_alive(), "the first setup ended before the second ones were tried")
        finally:
            runner.join()
        result = first["result"]
        # Its work folder was left alone: the program it downloaded there ran.
        self.assertEqual(result.exit_code, 0, own_log(result, "First"))
        self.assertIn("Execute!( ", own_log(result, "First"))
        self.assertNotIn(REFUSED_LINE, own_log(result, "First"))
        TABLE.add(Row("a second launcher while a setup runs", "a second launcher started (shown, then hidden) "
                      "while the first downloads its prerequisite", exit_text(codes[False]), exit_text(codes[True]),
                      REFUSED_LINE, "the first setup's download under way",
                      f"the first setup went on and ended with {result.exit_code}"))
        # Once the first setup has ended, the next one runs.
        after = self.run_manifest("Third", [], hidden=True)
        self.assertEqual(after.exit_code, 0, after.log_text)
        self.assertNotIn(REFUSED_LINE, after.log_text)

    def test_a_launcher_the_running_setup_starts_is_the_same_launch(self):
        # As the elevated restart is: started by the launcher that holds the session's lock.
        result = self.run_manifest("Outer", [exe_package("inner", self.servers.url("inner.exe"), self.INNER, "")],
                                   hidden=True)
        self.assertEqual(result.exit_code, 0, result.log_text)
        self.assertIn(SAME_LAUNCH_LINE, result.log_text)
        self.assertNotIn(REFUSED_LINE, result.log_text)
        TABLE.add(Row("a launcher the running setup starts", "a nested setup (a launcher of its own) run as the "
                      "hidden setup's prerequisite, as the elevated restart is run", "—", exit_text(result.exit_code),
                      SAME_LAUNCH_LINE, "nothing", "nothing (not cached)"))


if __name__ == "__main__":
    unittest.main()
