"""The table of faults whole runs were put through, docs/reliability.md, written by the fault suites
as they run (never by hand): for each fault what was done, the exit code of the shown run and of its
hidden twin, the log line that explains the end, and what the cache held before and after. Each
suite keeps its rows in its build's folder; the document is made again from every suite's rows of the
shipped architecture's build. Suites run side by side: each file is written whole under its name, and
the document is made under a lock, after the suite's rows are in place, so the last one made holds
every suite's rows."""
import contextlib
import dataclasses
import fcntl
import glob
import json
import os
import re
from typing import Dict, List

import tevharness
from e2e import ARCH, BUILD

ROWS = os.path.join(BUILD, "reliability")
DOCUMENT = os.path.join(tevharness.ROOT, "docs", "reliability.md")
DOCUMENT_ARCH = "i686"  # what users run
INTRO = """# Reliability: the faults a whole run was put through

Made by the fault suites of `./tev test` (`tests/e2e/test_run_faults.py`,
`tests/e2e/test_cancel_checkpoints.py`) from what the real launcher did under Wine against the local
servers: the i686 build, the shipped configuration (the x86_64 twin goes through the same faults and
keeps its rows in its build folder); do not edit by hand. Every fault was run twice, shown (under the
progress dialog, its message boxes answered) and hidden (started with SW_HIDE: no window ever opened,
checked by the test driver, and no hang). In every row the cache afterwards held exactly the valid files it held
before plus the valid files the run completed: never a partial or unverified file under a file's
real name. A file marked *partial* is the `.tevpart` file a killed run leaves under a name of its own;
it is never used, and the next run that writes the same file removes it. In the log lines, `<cache>`
stands for the package's folder in the package cache, `<work>` for the run's work folder.
"""


@dataclasses.dataclass
class Row:
    fault: str
    done: str
    exit_code: str
    hidden_exit_code: str
    log: str
    cache_before: str
    cache_after: str


def exit_text(code) -> str:
    if code is None:
        return "none"
    if isinstance(code, str):
        return code
    return f"{code} (0x{code:08X})" if code >= 0x10000 else str(code)


def describe_cache(folder: str, valid: Dict[str, bytes]) -> str:
    """The files under `folder`, each with its state: valid (the bytes the manifest describes),
    partial (a file on its way in), or unverified (anything else)."""
    if not os.path.isdir(folder):
        return "nothing"
    found = []
    for root, _, files in os.walk(folder):
        for name in sorted(files):
            path = os.path.join(root, name)
            shown = os.path.relpath(path, folder).replace(os.sep, "\\")
            if name.endswith(".tevpart"):
                found.append(f"{shown} *partial*")
                continue
            with open(path, "rb") as f:
                data = f.read()
            found.append(f"{shown} {'valid' if valid.get(name) == data else '**unverified**'}")
    return ", ".join(found) or "nothing"


# Long paths of the prefix, written the short way the table's intro explains.
_SHORTER = ((re.compile(r"C:\\users\\[^\\]+\\AppData\\Local\\ProgramData\\TevLauncherPackageCache\\[^\\]+"), "<cache>"),
            (re.compile(r"C:\\users\\[^\\]+\\Temp\\\{701B65B4-B91C-4B3B-93A2-8240BBE49DDA\}"), "<work>"),
            (re.compile(r"x{20,}"), lambda m: f"x…x ({len(m.group(0))} x)"),
            (re.compile(r"http://127\.0\.0\.1:\d+"), "http://127.0.0.1:PORT"),
            # The backup's name is the system's pick, new each run.
            (re.compile(r"\\TEV[0-9A-Fa-f]{1,4}\.tmp"), r"\\TEVnnnn.tmp"))


def shorter(text: str) -> str:
    for pattern, replacement in _SHORTER:
        text = pattern.sub(replacement, text)
    return text


def _cell(text: str) -> str:
    return shorter(text).replace("|", "\\|").replace("\n", "<br>")


class Table:
    def __init__(self, suite: str, title: str, intro: str):
        self.suite, self.title, self.intro = suite, title, intro
        self.rows: List[Row] = []

    def add(self, row: Row) -> None:
        self.rows.append(row)

    def write(self) -> None:
        os.makedirs(ROWS, exist_ok=True)
        table = {"title": self.title, "intro": self.intro, "rows": [dataclasses.asdict(r) for r in self.rows]}
        write_whole(os.path.join(ROWS, self.suite + ".json"), json.dumps(table, ensure_ascii=False, indent=1))
        if ARCH == DOCUMENT_ARCH:
            with rows_locked():
                write_document()


def write_whole(path: str, text: str) -> None:
    """`text` under `path`, never half of it: written beside it, then moved into place."""
    partial = f"{path}.{os.getpid()}.partial"
    with open(partial, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(partial, path)


@contextlib.contextmanager
def rows_locked():
    with open(os.path.join(ROWS, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        yield


def write_document() -> None:
    parts = [INTRO]
    for path in sorted(glob.glob(os.path.join(ROWS, "*.json"))):
        with open(path, encoding="utf-8") as f:
            table = json.load(f)
        parts.append(f"\n## {table['title']}\n\n{table['intro']}\n\n")
        parts.append("| fault | what was done | exit code | hidden | what the log said | cache before | cache after |\n"
                     "|---|---|---|---|---|---|---|\n")
        for row in table["rows"]:
            parts.append("| " + " | ".join(_cell(row[k]) for k in (
                "fault", "done", "exit_code", "hidden_exit_code", "log", "cache_before", "cache_after")) + " |\n")
    write_whole(DOCUMENT, "".join(parts))
