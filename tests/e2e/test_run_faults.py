"""Faults of a whole run, under Wine against nginx and the fault server: the launcher killed at work,
cache files it may not touch, a cache folder it cannot make, servers that stall, overrun or redirect,
a payload replaced between two runs, a temporary folder at the edge of the path limit. Each fault is
run shown and hidden; each must end with its exit code, a log line that explains it, a message only
when shown, and a cache holding only valid files. The rows go to docs/reliability.md."""
import os
import re
import shutil
import subprocess
import threading
import time
import unittest

import tevharness
from chain import DOWNLOAD_FAILED, ChainTestCase, foreign_program, program
from e2e import WORK_FOLDER, HeldOpen
from faultserver import pattern
from reliability import Row, Table, describe_cache, exit_text

TABLE = Table("1-run-faults", "Faults of a whole run",
              "One prerequisite, `pkg` (the tests' stand-in installer, cached under a folder of its own), "
              "met with each fault.")


def tearDownModule():
    TABLE.write()


class RunFaultsTest(ChainTestCase):
    @classmethod
    def payloads(cls):
        cls.PROGRAM = program()
        # A new release of the same file: still a program (the bytes past its image are ignored).
        cls.NEW = cls.PROGRAM + b"release 2"
        return {"pkg.exe": cls.PROGRAM, "pkg-v2.exe": cls.NEW}

    def setUp(self):
        super().setUp()
        self.servers.fault.requests.clear()
        self.servers.fault.bodies["/pkg.exe"] = self.PROGRAM

    def folder(self):
        return self.cache("pkg")

    def put(self, data, name="pkg.exe"):
        os.makedirs(self.folder(), exist_ok=True)
        with open(os.path.join(self.folder(), name), "wb") as f:
            f.write(data)

    def attrib(self, flag, name="pkg.exe"):
        self.prefix.wine(["attrib", flag, tevharness.windows_path(self.prefix, os.path.join(self.folder(), name))],
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def reset(self):
        if os.path.isdir(self.folder()):
            self.attrib("-r")
        if os.path.lexists(self.folder()):
            shutil.rmtree(self.folder()) if os.path.isdir(self.folder()) else os.remove(self.folder())

    def explaining_line(self, log, pattern_text):
        """The first log entry (a line and the lines it runs on to) that matches `pattern_text`."""
        entries = re.split(r"^\[[0-9-]+\]", log, flags=re.MULTILINE)
        found = [entry.strip() for entry in entries if re.search(pattern_text, entry)]
        self.assertTrue(found, f"no line like {pattern_text!r} in:\n{log}")
        return " ".join(found[0].split("\n"))

    def assertCacheSound(self, text):
        self.assertNotIn("unverified", text)

    def fault(self, fault, done, packages, exit_code, explains, prepare=None, valid=None, env=None, check=None,
              cleanup=None, message=True):
        """Runs the chain shown, then hidden, each from the cache `prepare` leaves (`cleanup` undoes
        what else it did); records the row. `exit_code` may be a set of the codes either platform gives;
        a shown run that fails has one message box unless `message` is false."""
        valid = valid or {"pkg.exe": self.PROGRAM}
        seen = {}
        for hidden in (False, True):
            with self.subTest(hidden=hidden):
                self.reset()
                if prepare:
                    prepare()
                before = describe_cache(self.folder(), valid)
                try:
                    result = self.run_chain(packages, hidden=hidden, env=env, timeout=150)
                finally:
                    if cleanup:
                        cleanup()
                log = result.log_text
                self.assertIn(result.exit_code, exit_code if isinstance(exit_code, set) else {exit_code},
                              result.output + log)
                line = self.explaining_line(log, explains)
                boxes = self.boxes(result)
                if hidden:
                    self.assertEqual(result.dialogs, [], "a hidden run opened a window")
                elif result.exit_code != 0 and message:
                    # One message, naming its cause as the log does.
                    self.assertEqual(len(boxes), 1, result.output)
                    self.assertIn(boxes[0].texts[0], log)
                else:
                    self.assertEqual(boxes, [], result.output)
                after = describe_cache(self.folder(), valid)
                self.assertCacheSound(after)
                self.assertNotIn("partial", after)
                if check:
                    check(result, after)
                seen[hidden] = (result.exit_code, line, before, after)
        shown = seen.get(False)
        if shown and True in seen:
            TABLE.add(Row(fault, done, exit_text(shown[0]), exit_text(seen[True][0]), shown[1], shown[2], shown[3]))

    def killed(self, fault, done, packages, at_work, again, explains, valid=None):
        """Runs the chain, kills the launcher once `at_work()` holds, then runs `again` to its end."""
        valid = valid or {"pkg.exe": self.PROGRAM}
        seen = {}
        for hidden in (False, True):
            with self.subTest(hidden=hidden):
                self.reset()
                if os.path.exists(self.record):
                    os.remove(self.record)
                self.servers.fault.requests.clear()
                before = describe_cache(self.folder(), valid)
                outcome = {}

                def run():
                    try:
                        outcome["result"] = self.run_chain(packages, hidden=hidden, timeout=150)
                    except BaseException as error:  # reported by the test's own thread
                        outcome["error"] = error

                runner = threading.Thread(target=run)
                runner.start()
                deadline = time.monotonic() + 60
                while not at_work() and runner.is_alive() and time.monotonic() < deadline:
                    time.sleep(0.02)
                at_work_when_killed = at_work() and runner.is_alive()
                self.prefix.wine(["taskkill", "/f", "/im", "TevLauncher.exe"], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
                runner.join()
                if "error" in outcome:
                    raise outcome["error"]
                self.assertTrue(at_work_when_killed, "the run was not at work when it was to be killed")
                # The installer the killed run had started may still be at work.
                self.prefix.wine(["taskkill", "/f", "/im", "pkg.exe"], stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
                killed = outcome["result"]
                if hidden:
                    self.assertEqual(killed.dialogs, [])
                after_kill = describe_cache(self.folder(), valid)
                self.assertCacheSound(after_kill)
                rerun = self.run_chain(again, hidden=hidden)
                self.assertEqual(rerun.exit_code, 0, rerun.output + rerun.log_text)
                if hidden:
                    self.assertEqual(rerun.dialogs, [])
                after = describe_cache(self.folder(), valid)
                self.assertEqual(after, "pkg.exe valid")
                seen[hidden] = (f"killed; run again: {rerun.exit_code}",
                                self.explaining_line(rerun.log_text, explains), before,
                                f"after the kill: {after_kill}; after the second run: {after}")
        if False in seen and True in seen:
            TABLE.add(Row(fault, done, seen[False][0], seen[True][0], seen[False][1], seen[False][2], seen[False][3]))

    # -- the launcher killed at work ------------------------------------------------------------------

    def test_killed_during_a_download(self):
        trickle = self.servers.fault.url("/trickle/60/pkg.exe")
        self.killed("killed during a download", "the launcher killed (TerminateProcess) while its prerequisite "
                    "came 4 KiB every 60 ms, then run again", [self.exe("pkg", "0", url=trickle)],
                    lambda: len(self.servers.fault.requests) > 0 and os.path.exists(
                        os.path.join(self.folder(), "pkg.exe.tevpart")), [self.exe("pkg", "0")], "Downloading")

    def test_killed_during_a_copy_into_the_cache(self):
        # A large file beside the launcher: its copy into the cache takes a while.
        big = self.PROGRAM + os.urandom(160 << 20)
        beside = self.prefix.drive_c(tevharness.LAUNCHER_DIR, "pkg.exe")
        os.makedirs(os.path.dirname(beside), exist_ok=True)
        with open(beside, "wb") as f:
            f.write(big)
        try:
            package = self.exe("pkg", "0", data=big, url=self.servers.fault.url("/status/404"))
            self.killed("killed during a copy into the cache", "a 160 MB file beside the launcher; the launcher "
                        "killed while it copied the file into the cache, then run again", [package],
                        lambda: os.path.exists(os.path.join(self.folder(), "pkg.exe.tevpart")), [package],
                        r"Call:ShellExecute\( .*pkg\.exe", valid={"pkg.exe": big})
        finally:
            os.remove(beside)

    def test_killed_during_a_prerequisite_install(self):
        self.killed("killed during a prerequisite's install", "the launcher killed while its prerequisite's "
                    "installer ran, then run again", [self.exe("pkg", "0 /sleep:30000")],
                    lambda: bool(self.started()), [self.exe("pkg", "0")], r"Call:ShellExecute\( .*pkg\.exe")

    # -- cache files and folders -----------------------------------------------------------------------

    def test_read_only_cached_files(self):
        def read_only(data):
            def prepare():
                self.put(data)
                self.attrib("+r")
            return prepare

        self.fault("a valid cached file that is read-only", "the cached file marked read-only",
                   [self.exe("pkg", "0")], 0, r"Call:ShellExecute\( .*pkg\.exe", prepare=read_only(self.PROGRAM),
                   check=lambda result, after: self.assertNotIn("Downloading", result.log_text))
        self.fault("a stale cached file that is read-only", "the cached file read-only and not the one the "
                   "manifest describes", [self.exe("pkg", "0")], 0, "file size varies",
                   prepare=read_only(b"an older file"),
                   check=lambda result, after: self.assertEqual(after, "pkg.exe valid"))

    def test_cached_file_held_open_by_another_program(self):
        holders = []

        def hold():
            self.put(self.PROGRAM)
            holders.append(HeldOpen(self.prefix, os.path.join(self.folder(), "pkg.exe")))

        def release():
            for holder in holders:
                holder.close()
            holders.clear()

        def kept_and_backup_failed(result, after):
            self.assertEqual(after, "pkg.exe valid")
            # Its backup could not be copied either: the failure is logged and the run goes on.
            self.assertRegex(result.log_text, r"Failed\. CopyFile\( .*\\pkg\.exe, .*\):(5|32), ")

        # The file can be neither read nor replaced: the run ends naming it (5 under Wine, 5 or 32 on
        # Windows), and the cache keeps the valid file.
        self.fault("a cached file held open by another program without sharing",
                   "another program holding the valid cached file open with no sharing",
                   [self.exe("pkg", "0")], {5, 32}, "Fail Download", prepare=hold,
                   cleanup=release, check=kept_and_backup_failed)

    def test_cache_folder_that_cannot_be_created(self):
        def occupied():
            os.makedirs(os.path.dirname(self.folder()), exist_ok=True)
            with open(self.folder(), "wb") as f:
                f.write(b"a file where the package's cache folder belongs")

        def named(result, after):
            # The message names the folder, and nothing of the file is left.
            self.assertIn(self.cache("pkg").rsplit("/", 1)[-1], "\n".join(b.text for b in self.boxes(result))
                          if self.boxes(result) else result.log_text)

        self.fault("a cache folder that cannot be created", "a file where the package's cache folder belongs",
                   [self.exe("pkg", "0")], {0x80070003, 0x8007010B, 0x800700B7}, "Fail Download", prepare=occupied,
                   check=named)

    def test_work_folder_that_cannot_be_made(self):
        # The run's work folder has a fixed name in the temporary folder; a file of that name there
        # ends the run with the system's error, naming the folder, before anything is acquired.
        def occupy():
            self.clear_work_folders()
            for path in self.work_folders():
                with open(path, "wb") as f:
                    f.write(b"a file where the run's work folder belongs")

        def nothing_ran(result, after):
            self.assertEqual(self.started(), [])
            self.assertIn(WORK_FOLDER, "\n".join(b.text for b in self.boxes(result)) or result.log_text)

        # ERROR_ALREADY_EXISTS under Wine; Windows may say ERROR_FILE_EXISTS or ERROR_DIRECTORY.
        self.fault("a work folder that cannot be made", "a file of the work folder's name in the temporary folder",
                   [self.exe("pkg", "0")], {80, 183, 267}, r"Failed\. PrepareFolders\( .*" + re.escape(WORK_FOLDER),
                   prepare=occupy, cleanup=self.clear_work_folders, check=nothing_ran)

    def work_folders(self):
        return [os.path.join(temp, WORK_FOLDER) for temp in self.prefix.temp_folders()]

    def clear_work_folders(self):
        for work in self.work_folders():
            if os.path.islink(work) or os.path.isfile(work):
                os.remove(work)
            elif os.path.isdir(work):
                shutil.rmtree(work)  # removes links inside, never follows them

    def test_left_over_work_folder_holding_a_link(self):
        # Under Wine a Unix directory link stands in for a junction: Wine reports it as a reparse
        # point. The launcher empties a work folder an earlier launch left, and never follows a link
        # in it (Wine cannot remove the link itself without following it: it stays there).
        outside = self.prefix.drive_c("outside-the-work-folder")
        precious = os.path.join(outside, "precious.txt")

        def leave_link():
            os.makedirs(outside, exist_ok=True)
            with open(precious, "w") as f:
                f.write("not the launcher's")
            for work in self.work_folders():
                os.makedirs(work, exist_ok=True)
                if not os.path.lexists(os.path.join(work, "link")):
                    os.symlink(outside, os.path.join(work, "link"))

        def untouched(result, after):
            with open(precious) as f:
                self.assertEqual(f.read(), "not the launcher's")

        self.fault("a left-over work folder holding a link", "the work folder an earlier launch left, holding a "
                   "link to a folder outside it", [self.exe("pkg", "0")], 0, "left by an earlier launch, emptied",
                   prepare=leave_link, cleanup=self.clear_work_folders, check=untouched)

    def test_work_folder_that_is_a_link(self):
        outside = self.prefix.drive_c("where-the-work-folder-link-points")
        precious = os.path.join(outside, "precious.txt")

        def link_work_folder():
            self.clear_work_folders()
            os.makedirs(outside, exist_ok=True)
            with open(precious, "w") as f:
                f.write("not the launcher's")
            for work in self.work_folders():
                os.symlink(outside, work)

        def refused(result, after):
            self.assertEqual(self.started(), [])
            self.assertEqual(os.listdir(outside), ["precious.txt"])

        self.fault("a work folder that is a link", "the work folder's name in the temporary folder taken by a link "
                   "to a folder elsewhere", [self.exe("pkg", "0")], 681,  # ERROR_STOPPED_ON_SYMLINK
                   r"Failed\. PrepareFolders\( ", prepare=link_work_folder, cleanup=self.clear_work_folders,
                   check=refused)

    def test_file_left_in_the_work_folder_is_never_run(self):
        # A package that is not cached is acquired into the work folder; its entry pins nothing
        # ("Size", "Hash"), so a file found there would pass any check: it is acquired anew instead.
        package = {"ExePackage": {"Id": "pkg", "PreRequired": True, "Cache": False,
                                  "ExecuteFile": {"Name": "pkg.exe", "DownloadUrl": self.servers.url("pkg.exe")},
                                  "InstallCommand": "0", "SilentInstallCommand": "0"}}

        def leave_file():
            for work in self.work_folders():
                os.makedirs(work, exist_ok=True)
                with open(os.path.join(work, "pkg.exe"), "wb") as f:
                    f.write(foreign_program())  # it would end with 193 if it were run

        def downloaded_and_run(result, after):
            self.assertEqual(self.started(), [("pkg.exe", "0")])
            if os.path.exists(self.record):
                os.remove(self.record)

        self.fault("a file left in the work folder", "a program of the package's file name left in the work folder, "
                   "for a package that is not cached and pins nothing", [package], 0, "Downloading",
                   prepare=leave_file, cleanup=self.clear_work_folders, check=downloaded_and_run)

    # -- servers ---------------------------------------------------------------------------------------

    def test_servers_that_misbehave(self):
        for fault, done, url, exit_code, explains in (
                ("a server that stalls in the middle of a body", "200 announcing 300000 bytes, 100000 sent, then "
                 "nothing", self.servers.fault.url("/stall/300000/100000"), DOWNLOAD_FAILED,
                 # WinHTTP's receive time-out (12002); Wine's sockets give their own (10060).
                 r"ファイルのダウンロードに失敗しました\((12002|10060)\)"),
                ("a server that sends more than it announced", "200 announcing 100000 bytes, then 150000 sent",
                 self.servers.fault.url("/cut/100000/150000"), DOWNLOAD_FAILED, "file size varies"),
                ("a redirect to another host", "302 from 127.0.0.1 to localhost",
                 self.servers.url("to-other-host/pkg.exe"), 0, "Download Size"),
                ("a redirect from HTTPS to HTTP", "302 from https://localhost to http://127.0.0.1",
                 self.servers.url("to-http/pkg.exe", https=True), DOWNLOAD_FAILED,
                 r"ファイルのダウンロードに失敗しました\((12156|302)\)")):
            with self.subTest(fault):
                data = pattern(150_000) if "more than" in fault else self.PROGRAM
                self.fault(fault, done, [self.exe("pkg", "0", url=url, data=data)], exit_code, explains,
                           valid={"pkg.exe": data})

    def test_payload_replaced_between_two_runs(self):
        new = self.exe("pkg", "0", served="pkg-v2.exe", data=self.NEW)
        self.fault("a payload replaced on the server, the manifest updated", "the cache holds release 1; the "
                   "manifest and the server have release 2", [new], 0, "file size varies",
                   prepare=lambda: self.put(self.PROGRAM), valid={"pkg.exe": self.NEW},
                   check=lambda result, after: self.assertEqual(after, "pkg.exe valid"))
        # The manifest names release 2 while the server still has release 1: the download is refused
        # and the cached file goes back to what it was.
        stale_server = self.exe("pkg", "0", served="pkg.exe", data=self.NEW)
        self.fault("a payload the server has not replaced yet", "the cache holds release 1; the manifest names "
                   "release 2; the server still has release 1", [stale_server], DOWNLOAD_FAILED, "file size varies",
                   prepare=lambda: self.put(self.PROGRAM), valid={"pkg.exe": self.PROGRAM},
                   check=lambda result, after: self.assertEqual(after, "pkg.exe valid"))

    def test_replaced_file_is_restored_when_its_package_fails(self):
        # Release 2 replaces the cached release 1, then its installer fails: the cache goes back to
        # release 1, byte for byte.
        failing = self.exe("pkg", "1603", served="pkg-v2.exe", data=self.NEW)
        self.fault("a package that fails after its cached file was replaced", "the cache holds release 1; "
                   "release 2 is downloaded over it, then its installer ends with 1603", [failing], 1603,
                   "RestoreFile", prepare=lambda: self.put(self.PROGRAM), valid={"pkg.exe": self.PROGRAM},
                   check=lambda result, after: self.assertEqual(after, "pkg.exe valid"),
                   # An installer's own failure is its to show (it ran with its own interface); the
                   # launcher passes its code on. A manifest that wants a message says "error".
                   message=False)

    # -- the temporary folder ----------------------------------------------------------------------------

    def user_environment(self, name, value=None):
        """HKCU\\Environment's `name` (what Wine gives its processes), set to `value` when given."""
        key = r"HKCU\Environment"
        if value is not None:
            self.prefix.wine(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"],
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            return value
        out = self.prefix.wine(["reg", "query", key, "/v", name], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL).stdout.decode("utf-8", errors="replace")
        match = re.search(name + r"\s+REG_\w+\s+(.*?)\s*$", out, re.MULTILINE)
        return match.group(1) if match else None

    def test_temporary_folder_near_the_path_limit(self):
        saved = {name: self.user_environment(name) for name in ("TEMP", "TMP")}
        try:
            for length in (200, 215, 240):
                with self.subTest(length=length):
                    folder = "C:\\t\\" + "x" * (length - 5)
                    unix = self.prefix.drive_c(folder[3:].replace("\\", "/"))
                    os.makedirs(unix, exist_ok=True)
                    self.prefix.other_temp_folders.append(unix)
                    for name in ("TEMP", "TMP"):
                        self.user_environment(name, folder)
                    self.fault(f"a temporary folder of {length} characters", f"TEMP and TMP set to a folder whose "
                               f"path is {length} characters long", [self.exe("pkg", "0")], {0, 206},
                               # It works while the work folder and its backup folder fit the path
                               # limit; past it the run ends naming the path that does not fit.
                               "(PrepareFolders|パスが長すぎます)",
                               check=lambda result, after: self.assertIn(folder, result.log_text))
        finally:
            for name, value in saved.items():
                if value is not None:
                    self.user_environment(name, value)


if __name__ == "__main__":
    unittest.main()
