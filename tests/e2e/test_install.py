"""Whole runs as a user meets them, under Wine against a real nginx and the fault server: the
launcher downloads every package file, runs the prerequisites under its progress dialog and the
other packages after it. The installers are exitwith.exe, built by the tests: it ends with the exit
code its first argument names and appends the command line it got to the file TEV_EXITWITH_RECORD
names."""
import hashlib
import os
import subprocess
import unittest

from chain import CANCELLED, DOWNLOAD_FAILED, ChainTestCase, foreign_program, program
from e2e import BUILD
from faultserver import pattern
from servers import file_entry

FIXTURES = os.path.join(BUILD, "fixtures")
PLAIN = ("TevInstallPlain", "{C3D1E2F0-6A7B-4C8D-9E0F-1A2B3C4D5E61}")
REBOOT = ("TevInstallReboot", "{C3D1E2F0-6A7B-4C8D-9E0F-1A2B3C4D5E71}")


class InstallRunTest(ChainTestCase):
    SLOW = pattern(30_000)  # served one byte a millisecond: half a minute to cancel in

    @classmethod
    def payloads(cls):
        cls.PROGRAM = program()
        cls.MSI = {}
        for name, _ in (PLAIN, REBOOT):
            with open(os.path.join(FIXTURES, name + ".msi"), "rb") as f:
                cls.MSI[name] = f.read()
        return {"pre1.exe": cls.PROGRAM, "pre2.exe": cls.PROGRAM, "main.exe": cls.PROGRAM,
                "broken.exe": foreign_program(),
                **{name + ".msi": data for name, data in cls.MSI.items()}}

    def msi(self, product, payloads=(), **members):
        """A real MSI package from nginx, cached under its own folder, with its verbose installer log."""
        name, code = product
        return {"MsiPackage": {
            "Id": name, "DisplayName": name, "Cache": True, "CacheId": f"{self._testMethodName}-{name}",
            "ProductCode": code, "Version": "1.0.0",
            "ExecuteFile": {"Name": name + ".msi", "DownloadUrl": self.servers.url(name + ".msi"),
                            **file_entry(self.MSI[name])},
            "Payloads": list(payloads), **members}}

    def installed(self, product):
        query = self.prefix.wine(["reg", "query", rf"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{product[1]}"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return query.returncode == 0

    def test_a_hidden_run_downloads_and_installs_every_package_in_order(self):
        result = self.run_chain([self.exe("pre1", "0 /first"), self.exe("pre2", "0 /second"),
                                 self.exe("main", "0 /main", prerequisite=False)], hidden=True)
        self.assertEqual(result.exit_code, 0, result.log_text)
        self.assertEqual(result.dialogs, [])
        self.assertEqual(self.started(), [("pre1.exe", "0 /first"), ("pre2.exe", "0 /second"),
                                          ("main.exe", "0 /main")])
        self.assertInOrder(result.log_text, "Start ResolveSources()", "End ResolveSources():true",
                           "Start InstallPrerequisites()", "pre1.exe", "pre2.exe", "End InstallPrerequisites():true",
                           "Start InstallPackages()", "main.exe", "End InstallPackages():true", "ExitCode=0(")
        for package_id in ("pre1", "pre2", "main"):
            self.assertEqual(os.listdir(self.cache(package_id)), [f"{package_id}.exe"])

    def test_under_the_dialog_the_prerequisites_show_what_is_installed(self):
        result = self.run_chain([self.exe("pre1", "0"), self.exe("main", "0", prerequisite=False)])
        self.assertEqual(result.exit_code, 0, result.output + result.log_text)
        self.assertEqual(self.boxes(result), [])
        self.assertIn("pre1 をインストールしています。", result.log_text)
        self.assertEqual([p for p, _ in self.started()], ["pre1.exe", "main.exe"])

    def test_cancel_during_the_main_package_download_installs_nothing_after_it(self):
        slow = self.fault_url_for(self.SLOW)
        result = self.run_chain([self.exe("pre1", "0"), self.exe("pre2", "0"),
                                 self.exe("main", "0", prerequisite=False, url=slow, data=self.SLOW)],
                                answers=["cancel@pre2 をインストールしています。", "yes"])
        self.assertEqual(result.exit_code, CANCELLED, result.output + result.log_text)
        self.assertNotIn("main.exe", [p for p, _ in self.started()])
        self.assertIn("Cancel: the user stopped the setup", result.log_text)
        # No message after the cancel: the stopped transfer is no failure to report.
        self.assertEqual([b.texts for b in self.boxes(result)], [["Install セットアップを中止します。", "よろしいですか？"]])
        # Nothing of the main package is left in the cache, not even a part.
        self.assertEqual(os.listdir(self.cache("main")) if os.path.isdir(self.cache("main")) else [], [])

    def test_a_hidden_run_of_two_prerequisites_and_an_msi_package_installs_the_product(self):
        result = self.run_chain([self.exe("pre1", "0 /first"), self.exe("pre2", "0 /second"), self.msi(PLAIN)],
                                hidden=True)
        self.assertEqual(result.exit_code, 0, result.log_text)
        self.assertEqual(result.dialogs, [])
        self.assertTrue(self.installed(PLAIN))
        self.assertEqual([p for p, _ in self.started()], ["pre1.exe", "pre2.exe"])
        self.assertInOrder(result.log_text, "Start ResolveSources()", "End ResolveSources():true",
                           "Start InstallPrerequisites()", "pre1.exe", "pre2.exe", "DisplayName=TevInstallPlain",
                           "End InstallPrerequisites():true", "Start InstallPackages()", "msiexec.exe",
                           "End InstallPackages():true", "ExitCode=0(")
        # The installer's verbose log is named after the package's "DisplayName".
        self.assertTrue(any("TevInstallPlain_MSI_" in path for path in result.logs), list(result.logs))

    def test_cancel_during_the_msi_download_leaves_the_cache_as_it_was(self):
        # The product is not installed; its package file is cached and valid already, and its
        # cabinet comes slowly and is cancelled.
        self.prefix.wine(["msiexec", "/x", PLAIN[1], "/qn"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.assertFalse(self.installed(PLAIN))
        cache = self.cache(PLAIN[0])
        os.makedirs(cache, exist_ok=True)
        with open(os.path.join(cache, PLAIN[0] + ".msi"), "wb") as f:
            f.write(self.MSI[PLAIN[0]])
        cabinet = {"Name": "data.cab", "DownloadUrl": self.fault_url_for(self.SLOW), **file_entry(self.SLOW)}
        result = self.run_chain([self.exe("pre1", "0"), self.exe("pre2", "0"), self.msi(PLAIN, [cabinet])],
                                answers=["cancel@pre2 をインストールしています。", "yes"])
        self.assertEqual(result.exit_code, CANCELLED, result.output + result.log_text)
        self.assertFalse(self.installed(PLAIN))
        after_cancel = result.log_text.split("Cancel: the user stopped the setup", 1)[1]
        self.assertNotIn("msiexec", after_cancel)
        self.assertNotIn("Call:ShellExecute", after_cancel)
        self.assertEqual(os.listdir(cache), [PLAIN[0] + ".msi"])
        with open(os.path.join(cache, PLAIN[0] + ".msi"), "rb") as f:
            self.assertEqual(f.read(), self.MSI[PLAIN[0]])

    def test_a_quiet_run_whose_msi_package_asks_for_a_restart_ends_with_3010(self):
        result = self.run_chain([self.msi(REBOOT)], "/quiet", hidden=True)
        self.assertEqual(result.exit_code, 3010, result.log_text)
        self.assertTrue(self.installed(REBOOT))
        self.assertIn("/qn /norestart", result.log_text)

    def fault_url_for(self, data):
        self.assertEqual(data, pattern(len(data)))
        return self.servers.fault.url(f"/slow/{len(data)}/1")

    def test_an_installer_that_ends_with_259_fails_the_run_with_259(self):
        # 259 is STILL_ACTIVE's value; read once the installer has ended, it is the installer's own.
        result = self.run_chain([self.exe("pre1", "259"), self.exe("main", "0", prerequisite=False)], hidden=True)
        self.assertEqual(result.exit_code, 259, result.log_text)
        self.assertEqual([p for p, _ in self.started()], ["pre1.exe"])
        self.assertIn("Succeeded: GetExitCodeProcess( 259 ):ExitCode=259", result.log_text)

    def test_a_forced_reboot_ends_with_its_code_and_installs_nothing_after_it(self):
        for hidden in (True, False):
            with self.subTest(hidden=hidden):
                if os.path.exists(self.record):
                    os.remove(self.record)
                result = self.run_chain([self.exe("pre1", "1641", ExitCode=[{"Value": 1641, "Behavior": "forceReboot"}]),
                                         self.exe("pre2", "0"), self.exe("main", "0", prerequisite=False)],
                                        hidden=hidden)
                self.assertEqual(result.exit_code, 1641, result.log_text)
                self.assertEqual([p for p, _ in self.started()], ["pre1.exe"])
                self.assertIn("m_scheduleReboot=false, m_forceReboot=true", result.log_text)
                self.assertEqual(self.boxes(result), [])

    def test_a_payload_whose_sha256_differs_by_one_digit_is_refused_with_both_digests(self):
        digest = hashlib.sha256(self.PROGRAM).hexdigest()
        off = digest[:-1] + ("1" if digest[-1] == "0" else "0")
        for sha, exit_code in ((digest.upper(), 0), (off, DOWNLOAD_FAILED)):
            with self.subTest(sha=sha):
                for leftover in (self.record, os.path.join(self.cache("pre1"), "pre1.exe")):
                    if os.path.exists(leftover):
                        os.remove(leftover)
                package = self.exe("pre1", "0")
                package["ExePackage"]["ExecuteFile"]["Sha256"] = sha
                result = self.run_chain([package], hidden=True)
                self.assertEqual(result.exit_code, exit_code, result.log_text)
                if exit_code:
                    self.assertIn(f"Sha256 expected {off}, actual {digest}", result.log_text)
                    self.assertEqual(self.started(), [])
                    self.assertEqual(os.listdir(self.cache("pre1")) if os.path.isdir(self.cache("pre1")) else [], [])

    def test_each_phase_names_its_error(self):
        long_name = "x" * 240 + ".exe"
        cases = [
            # name, packages, exit code, the text of the one box (and of its log line)
            ("phase 1: a path beyond the limit",
             [{"ExePackage": {"Id": "long", "Cache": True, "ExecuteFile": {"Name": long_name}}}], 206,
             "ファイルのパスが長すぎます。"),
            ("phase 2: a download the server refuses",
             [self.exe("pre1", "0", url=self.servers.fault.url("/status/404"))], DOWNLOAD_FAILED,
             "ファイルのダウンロードに失敗しました(404)\nネットワーク接続に問題がないか確認してください。"),
            # Met only while the run installs: the dialog closes first, then the run ends as a
            # malformed manifest does.
            ("phase 2: a malformed member", [self.exe("pre1", 5)], 13,
             "実行情報に誤りがあります。\nLaunchList[0].ExePackage.InstallCommand: expected a string, found an integer"),
            # The system's own code and text: 193, not a valid program.
            ("phase 3: an installer that is no program for this processor",
             [self.exe("main", "0", prerequisite=False, served="broken.exe", data=foreign_program())],
             193, None),
        ]
        for name, packages, exit_code, text in cases:
            with self.subTest(name):
                result = self.run_chain(packages)
                self.assertEqual(result.exit_code, exit_code, result.output + result.log_text)
                boxes = self.boxes(result)
                self.assertEqual(len(boxes), 1, result.output)
                shown = boxes[0].text
                if text:
                    self.assertTrue(shown.startswith(text), shown)
                self.assertTrue(shown.strip(), "a box must name its cause")
                self.assertIn(shown.splitlines()[0], result.log_text)
                hidden = self.run_chain(packages, hidden=True)
                self.assertEqual((hidden.exit_code, hidden.dialogs), (exit_code, []), hidden.log_text)
                self.assertIn(shown.splitlines()[0], hidden.log_text)


if __name__ == "__main__":
    unittest.main()
