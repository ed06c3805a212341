"""Runs TevLauncher under wine64 the way a user meets it: in a Wine prefix of its own, under
Xvfb, through tevdriver.exe, which answers its dialogs and reports its full exit code. Both
`./tev run` and the end-to-end tests use this module. A `build` argument is the folder of one
architecture's build (build/x64, or build/x86-test for i686): its launcher and test programs run,
under wine64 in a WoW64 prefix either way."""
import dataclasses
import filecmp
import glob
import os
import re
import shutil
import subprocess
import tempfile
import time
from typing import Optional, Sequence

from prefix import clone_prefix

WINE64 = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LAUNCHER_DIR = "TevSetup"      # C:\TevSetup\TevLauncher.exe, like a user's download folder
HARNESS_DIR = "TevHarness"     # C:\TevHarness\tevdriver.exe


@dataclasses.dataclass
class Dialog:
    caption: str
    texts: list
    answer: str
    progress: str = ""        # "position of range, state N" of its progress bar, when it has one
    owner_progress: str = ""  # the same of the dialog it is shown over

    @property
    def text(self) -> str:
        return "\n".join(self.texts)


@dataclasses.dataclass
class RunResult:
    exit_code: Optional[int]
    dialogs: list
    output: str
    logs: dict          # Windows path of each log file written during the run -> its text
    crash: Optional[str] = None   # what the run died of, when a program of it crashed

    @property
    def log_text(self) -> str:
        return "".join(self.logs.values())


def wine_env(prefix: str, extra: Optional[dict] = None) -> dict:
    env = dict(os.environ)
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8")
    extra = dict(extra or {})
    # A crash must end the program, not wait for someone at Wine's debugger.
    overrides = [o for o in (extra.pop("WINEDLLOVERRIDES", ""), "winedbg.exe=d") if o]
    env.update(extra, WINEDLLOVERRIDES=";".join(overrides))
    return env


class Display:
    """An Xvfb display, started only when none is set."""

    def __init__(self):
        self.proc = None
        self.previous = None

    def __enter__(self):
        display = os.environ.get("DISPLAY", "")
        # A display whose server is gone would make every window fail silently.
        if display.startswith(":") and os.path.exists(f"/tmp/.X11-unix/X{display[1:].split('.')[0]}"):
            return self
        n = 100
        while os.path.exists(f"/tmp/.X11-unix/X{n}") or os.path.exists(f"/tmp/.X{n}-lock"):
            n += 1
        self.proc = subprocess.Popen(["Xvfb", f":{n}", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for _ in range(50):
            if os.path.exists(f"/tmp/.X11-unix/X{n}"):
                break
            time.sleep(0.1)
        self.previous = os.environ.get("DISPLAY")
        os.environ["DISPLAY"] = f":{n}"
        return self

    def __exit__(self, *exc):
        if self.proc:
            self.proc.terminate()
            self.proc.wait()
            if self.previous is None:
                os.environ.pop("DISPLAY", None)
            else:
                os.environ["DISPLAY"] = self.previous


WINE32_LOADER = "/usr/lib/wine/wine"   # installed with wine32:i386
I386 = 0x14C


def is_i386_program(path: str) -> bool:
    """Whether the file at `path` (a Linux path) is a 32-bit x86 PE image."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError:
        return False
    pe = int.from_bytes(head[0x3C:0x40], "little") if len(head) >= 0x40 else 0
    return head[:2] == b"MZ" and head[pe:pe + 4] == b"PE\0\0" and int.from_bytes(head[pe + 4:pe + 6], "little") == I386


def loader_for(prefix_path: str, program: str) -> str:
    """The Wine loader that runs `program` (a Linux path, a Z: or C: path in the prefix, or the name of
    one of Wine's own programs) as the process itself. wine64 would start a 32-bit program through
    start.exe as another process: a test could then neither kill it nor wait for it."""
    if program[:2].upper() == "Z:":
        path = program[2:].replace("\\", "/")
    elif program[:2].upper() == "C:":
        path = os.path.join(prefix_path, "drive_c", *program[3:].replace("\\", "/").split("/"))
    else:
        path = program
    return WINE32_LOADER if os.path.exists(WINE32_LOADER) and is_i386_program(path) else WINE64


def is_wow64_prefix(prefix: str) -> bool:
    """Whether `prefix` runs 32-bit programs as far as this machine's Wine can: one made before the
    32-bit Wine was installed lacks the 32-bit system folder and never gains it."""
    return not os.path.exists(WINE32_LOADER) or \
        os.path.isfile(os.path.join(prefix, "drive_c", "windows", "syswow64", "kernel32.dll"))


def template_prefix(build: str) -> str:
    """The run's template prefix; made here when no test run made one. `build` is the folder of one
    architecture's build (build/x64); the template lives beside it."""
    template = os.environ.get("TEV_WINE_TEMPLATE") or os.path.join(os.path.dirname(build), "wine", "template")
    if not os.path.exists(os.path.join(template, "system.reg")) or not is_wow64_prefix(template):
        shutil.rmtree(template, ignore_errors=True)
        os.makedirs(template, exist_ok=True)
        subprocess.run([WINE64, "wineboot", "-i"], env=wine_env(template), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=wine_env(template), check=True)
    return template


class Prefix:
    """A Wine prefix for one scenario: a fresh copy of the template, or an existing folder."""

    def __init__(self, build: str, path: Optional[str] = None):
        self.build = build
        self.display = Display().__enter__()  # Wine's desktop must see the display from the start
        self.owned = path is None
        self.other_temp_folders = []
        self.path = path or tempfile.mkdtemp(prefix="tevprefix-")
        if self.owned or not os.path.exists(os.path.join(self.path, "system.reg")):
            clone_prefix(template_prefix(build), self.path)
        # One wineserver for the prefix's life, and its services started with no pipe of ours:
        # a service holding a captured stdout open would keep every run waiting.
        subprocess.run([WINESERVER, "-p"], env=wine_env(self.path), check=True)
        subprocess.run([WINE64, "cmd", "/c", "exit"], env=wine_env(self.path), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def drive_c(self, *parts: str) -> str:
        return os.path.join(self.path, "drive_c", *parts)

    def temp_folders(self):
        """Where the runs' logs are looked for: the users' temporary folders, and any folder a test
        made the temporary folder (`other_temp_folders`, Linux paths)."""
        return glob.glob(self.drive_c("users", "*", "Temp")) + \
            glob.glob(self.drive_c("users", "*", "AppData", "Local", "Temp")) + self.other_temp_folders

    def command(self, args: Sequence[str]) -> list:
        """The Linux command line that runs the Windows program `args[0]` with `args[1:]` here."""
        return [loader_for(self.path, args[0]), *args]

    def wine(self, args: Sequence[str], env: Optional[dict] = None, timeout: int = 180, **kw):
        """Runs a program in the prefix. Output asked for as a pipe is caught in a file instead: Wine
        starts its desktop process (explorer.exe /desktop) and its services when some program first
        needs them, and they keep that program's standard output and error open for the prefix's
        life. A pipe would then never end, and the run would wait for it until its time-out."""
        files = {}
        try:
            for stream in ("stdout", "stderr"):
                if kw.get(stream) is subprocess.PIPE:
                    files[stream] = kw[stream] = tempfile.TemporaryFile()
            proc = subprocess.run(self.command(args), env=wine_env(self.path, env), timeout=timeout, **kw)
            for stream, file in files.items():
                file.seek(0)
                setattr(proc, stream, file.read())
            return proc
        finally:
            for file in files.values():
                file.close()

    def close(self):
        subprocess.run([WINESERVER, "-k"], env=wine_env(self.path), stderr=subprocess.DEVNULL)
        if self.owned:
            shutil.rmtree(self.path, ignore_errors=True)
        self.display.__exit__(None, None, None)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def windows_path(prefix: Prefix, unix_path: str) -> str:
    rel = os.path.relpath(unix_path, prefix.drive_c())
    return "C:\\" + rel.replace("/", "\\")


# Wine's own word on a crash. With WINEDEBUG=-all it still prints, for an exception that reaches
# its default handler, "wine: Unhandled page fault on write access to 0000000000000000 at address
# ... (thread 0180), starting debugger..." (or "wine: Unhandled exception 0xe0001234 in thread ...",
# "wine: Unhandled stack overflow ..."). A stack overflow it cannot dispatch ends the thread with
# exit code 0 or 1 and no word unless the err channel of "virtual" is on:
# "0114:err:virtual:virtual_setup_exception stack overflow 2064 bytes addr ...".
CRASH_DEBUG = "-all,err+virtual"
WINE_CRASH = re.compile(r"^(wine: .*(Unhandled|starting debugger).*"
                        r"|[0-9a-f]+:err:virtual:virtual_setup_exception (stack overflow|nested exception).*)$",
                        re.MULTILINE)


def find_crash(driver_output: str, wine_stderr: str) -> Optional[str]:
    """What the run died of: the driver's crash line, then Wine's messages; None when nothing crashed."""
    found = [line[len("crash: "):] for line in driver_output.splitlines() if line.startswith("crash: ")]
    found += [match.group(0).strip() for match in WINE_CRASH.finditer(wine_stderr)]
    return "; ".join(found) or None


def parse_driver_output(output: str):
    dialogs, exit_code = [], None
    for line in output.splitlines():
        if line.startswith("dialog: "):
            dialogs.append(Dialog(line[len("dialog: "):], [], ""))
        elif line.startswith("text: ") and dialogs:
            dialogs[-1].texts.append(line[len("text: "):])
        elif line.startswith("progress: ") and dialogs:
            dialogs[-1].progress = line[len("progress: "):]
        elif line.startswith("owner progress: ") and dialogs:
            dialogs[-1].owner_progress = line[len("owner progress: "):]
        elif line.startswith("answer: ") and dialogs:
            dialogs[-1].answer = line[len("answer: "):]
        elif line.startswith("exit code "):
            exit_code = int(line[len("exit code "):])
    return dialogs, exit_code


def log_files(prefix: Prefix) -> dict:
    """The log files in the prefix's temporary folders, with their sizes and times."""
    files = {}
    for folder in prefix.temp_folders():
        for path in glob.glob(os.path.join(folder, "*.log")):
            stat = os.stat(path)
            files[path] = (stat.st_size, stat.st_mtime_ns)
    return files


def read_logs(prefix: Prefix, before: dict) -> dict:
    """The log files that a run created or changed, decoded from the launcher's code page 932."""
    logs = {}
    for path, state in sorted(log_files(prefix).items()):
        if before.get(path) != state:
            with open(path, "rb") as f:
                logs[windows_path(prefix, path)] = f.read().decode("cp932", errors="replace").replace("\r\n", "\n")
    return logs


def z_path(unix_path: str) -> str:
    """A Linux path as Wine's drive Z: shows it."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class StampError(Exception):
    pass


def stamp(build: str, prefix: Prefix, launcher: str, manifest: Optional[str], output: str, force: bool = True) -> None:
    """Writes `manifest` (a file path; None removes the manifest) into a copy of `launcher` at
    `output` (Linux paths), with the project's own `tevtool stamp`; `force` stamps whatever the
    manifest holds, so that malformed manifests stay testable."""
    tool = os.path.join(build, "tevtool.exe")
    options = ["--force"] if force else []
    args = [z_path(tool), "stamp", *options, z_path(launcher), z_path(manifest), z_path(output)] if manifest else \
        [z_path(tool), "stamp", "--remove", z_path(launcher), z_path(output)]
    # Wine's word on a crash too: a stamp under load once ended with 1 and said nothing at all.
    proc = prefix.wine(args, env={"WINEDEBUG": CRASH_DEBUG}, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE)
    if proc.returncode != 0:
        raise StampError(proc.stderr.decode("utf-8", errors="replace").strip() or
                         f"tevtool exit {proc.returncode}, nothing said ({' '.join(args)})")


def install_launcher(build: str, prefix: Prefix, launcher: Optional[str] = None, manifest=None,
                     force: bool = True, setup_folder: str = LAUNCHER_DIR) -> str:
    """Copies the launcher into C:\\TevSetup (or C:\\`setup_folder`), carrying `manifest` when given
    (a file path, or REMOVE_MANIFEST for none), and returns its Windows path."""
    folder = prefix.drive_c(setup_folder)
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, "TevLauncher.exe")
    source = launcher or os.path.join(build, "TevLauncher.exe")
    if manifest is None:
        shutil.copyfile(source, target)
    else:
        stamp(build, prefix, source, None if manifest is REMOVE_MANIFEST else manifest, target, force)
    return windows_path(prefix, target)


REMOVE_MANIFEST = object()


def run_launcher(build: str, prefix: Prefix, arguments: str = "", answers: Sequence[str] = (),
                 hidden: bool = False, launcher: Optional[str] = None, timeout: int = 120,
                 env: Optional[dict] = None, manifest=None, setup_folder: str = LAUNCHER_DIR) -> RunResult:
    """Runs the launcher with `arguments` as its argument text, exactly as typed. Runs at the same
    time need setup folders of their own: a running program's file is never rewritten."""
    exe = install_launcher(build, prefix, launcher, manifest, setup_folder=setup_folder)
    harness = prefix.drive_c(HARNESS_DIR)
    os.makedirs(harness, exist_ok=True)
    driver, installed = os.path.join(build, "testing", "tevdriver.exe"), os.path.join(harness, "tevdriver.exe")
    if not os.path.exists(installed) or not filecmp.cmp(driver, installed, shallow=False):
        shutil.copyfile(driver, installed)
    cmd = [windows_path(prefix, os.path.join(harness, "tevdriver.exe"))]
    if hidden:
        cmd.append("--hidden")
    for answer in answers:
        cmd += ["--answer", answer]
    cmd += ["--timeout", str(timeout), exe]
    before = log_files(prefix)
    proc = prefix.wine(cmd, env={"TEV_ARGUMENTS": arguments, "WINEDEBUG": CRASH_DEBUG, **(env or {})},
                       timeout=timeout + 60, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    output = proc.stdout.decode("utf-8", errors="replace")
    dialogs, exit_code = parse_driver_output(output)
    crash = find_crash(output, proc.stderr.decode("utf-8", errors="replace"))
    return RunResult(exit_code, dialogs, output, read_logs(prefix, before), crash)
