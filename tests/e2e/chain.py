"""Whole runs of a launch chain, shared by the install and fault suites: executable packages (the
tests' exitwith.exe, which ends with the exit code its first argument names and appends the command
line it got to the file TEV_EXITWITH_RECORD names), each cached under a folder of its own."""
import json
import os
import tempfile

import tevharness
from e2e import BUILD, ServedTestCase, is_progress_dialog
from servers import file_entry

EXITWITH = os.path.join(BUILD, "tests", "app", "exitwith.exe")
CANCELLED = 1602
DOWNLOAD_FAILED = 0x80073CF5


def program() -> bytes:
    with open(EXITWITH, "rb") as f:
        return f.read()


def foreign_program() -> bytes:
    """exitwith.exe marked as a program for another processor (ARM64): a real PE image that no x86
    system starts. Both CreateProcess and ShellExecuteEx refuse it with 193 (ERROR_BAD_EXE_FORMAT)
    in either build, with or without Wine's 32-bit support; a file that is no PE image at all would
    instead go to Wine's DOS loader where 32-bit support is installed, and end with its code."""
    data = bytearray(program())
    header = int.from_bytes(data[0x3C:0x40], "little")
    data[header + 4:header + 6] = (0xAA64).to_bytes(2, "little")
    return bytes(data)


class ChainTestCase(ServedTestCase):
    def setUp(self):
        self.record = self.prefix.drive_c(f"record-{self._testMethodName}.txt")
        if os.path.exists(self.record):
            os.remove(self.record)
        user = [d for d in os.listdir(self.prefix.drive_c("users")) if d != "Public"][0]
        self.cache_root = self.prefix.drive_c("users", user, "AppData", "Local", "ProgramData",
                                              "TevLauncherPackageCache")

    def cache(self, package_id):
        return os.path.join(self.cache_root, f"{self._testMethodName}-{package_id}")

    def exe(self, package_id, command, prerequisite=True, served=None, url=None, data=None, **members):
        """An executable package downloaded from nginx (or from `url`), cached under its own folder."""
        name = f"{package_id}.exe"
        data = self.PROGRAM if data is None else data
        return {"ExePackage": {
            "Id": package_id, "DisplayName": package_id, "PreRequired": prerequisite, "Cache": True,
            "CacheId": f"{self._testMethodName}-{package_id}",
            "ExecuteFile": {"Name": name, "DownloadUrl": url or self.servers.url(served or name), **file_entry(data)},
            "InstallCommand": command, "SilentInstallCommand": command, **members}}

    def run_chain(self, packages, arguments="", env=None, **kw):
        document = {"LaunchPackage": {"DisplayName": "Install"}, "LaunchList": packages}
        fd, path = tempfile.mkstemp(suffix=".json")
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            json.dump(document, f, ensure_ascii=False)
        try:
            kw.setdefault("timeout", 120)
            return self.run_launcher(arguments, manifest=path,
                                     env={"TEV_EXITWITH_RECORD": tevharness.windows_path(self.prefix, self.record),
                                          **(env or {})}, **kw)
        finally:
            os.remove(path)

    def started(self):
        """(program file name, arguments) of every installer run, in order."""
        if not os.path.exists(self.record):
            return []
        runs = []
        with open(self.record, encoding="utf-8") as f:
            lines = f.read().splitlines()
        for line in lines:
            program, _, arguments = line.partition('" ') if line.startswith('"') else line.partition(" ")
            runs.append((program.strip('"').replace("/", "\\").rsplit("\\", 1)[-1], arguments.strip()))
        return runs

    def boxes(self, result):
        return [d for d in result.dialogs if not is_progress_dialog(d)]

    def assertInOrder(self, text, *parts):
        at = 0
        for part in parts:
            found = text.find(part, at)
            self.assertGreaterEqual(found, 0, f"{part!r} not after position {at} in:\n{text}")
            at = found + len(part)
