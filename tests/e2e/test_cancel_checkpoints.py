"""Cancel at every checkpoint of the first two phases, under Wine: in phase 1 while a file beside the
launcher is verified; in phase 2 while a prerequisite installs, while a file downloads, while a cached
file is verified, while a file is copied into the cache, and while the main package's file downloads.
Each row is pressed Cancel and confirmed; it must end with 1602, start no installer after the
checkpoint, and leave the cache with only valid files. Its hidden twin (no dialog, so nobody to
cancel) runs the same chain to its end without a window. The rows go to docs/reliability.md."""
import os
import re
import unittest

import tevharness
from chain import CANCELLED, ChainTestCase, program
from reliability import Row, Table, describe_cache, exit_text

TABLE = Table("2-cancel-checkpoints", "Cancel at every checkpoint of phases 1 and 2",
              "The user presses Cancel at the progress dialog and confirms; the checkpoint is where the "
              "work is when the confirmation is answered. The hidden twin has no dialog to cancel: it runs "
              "the same chain to its end.")
CONFIRM = "yes"


def tearDownModule():
    TABLE.write()


class CancelCheckpointsTest(ChainTestCase):
    @classmethod
    def payloads(cls):
        cls.PROGRAM = program()
        # Large enough that verifying or copying it takes a while; still a program.
        cls.BIG = cls.PROGRAM + os.urandom(160 << 20)
        return {"pre1.exe": cls.PROGRAM, "pkg.exe": cls.PROGRAM, "main.exe": cls.PROGRAM}

    def setUp(self):
        super().setUp()
        self.servers.fault.bodies["/pkg.exe"] = self.PROGRAM
        self.servers.fault.bodies["/main.exe"] = self.PROGRAM
        self.beside = self.prefix.drive_c(tevharness.LAUNCHER_DIR, "pkg.exe")

    def tearDown(self):
        if os.path.exists(self.beside):
            os.remove(self.beside)

    def caches(self):
        return os.path.dirname(self.cache("x"))

    def state(self, valid):
        return "; ".join(f"{package_id}: {describe_cache(self.cache(package_id), valid)}"
                         for package_id in ("pre1", "pkg", "main"))

    def put_beside(self, data):
        os.makedirs(os.path.dirname(self.beside), exist_ok=True)
        with open(self.beside, "wb") as f:
            f.write(data)

    def put_cached(self, data):
        os.makedirs(self.cache("pkg"), exist_ok=True)
        with open(os.path.join(self.cache("pkg"), "pkg.exe"), "wb") as f:
            f.write(data)

    def reset(self):
        for package_id in ("pre1", "pkg", "main"):
            folder = self.cache(package_id)
            if os.path.isdir(folder):
                for name in os.listdir(folder):
                    os.remove(os.path.join(folder, name))
        if os.path.exists(self.record):
            os.remove(self.record)
        if os.path.exists(self.beside):
            os.remove(self.beside)

    def checkpoint(self, where, done, packages, at, started_before, prepare=None, valid=None):
        valid = valid or {"pre1.exe": self.PROGRAM, "pkg.exe": self.PROGRAM, "main.exe": self.PROGRAM}
        self.reset()
        if prepare:
            prepare()
        before = self.state(valid)
        result = self.run_chain(packages, answers=[f"cancel@{at}", CONFIRM], timeout=150)
        log = result.log_text
        self.assertEqual(result.exit_code, CANCELLED, result.output + log)
        self.assertIn("Cancel: the user stopped the setup", log)
        self.assertEqual([p for p, _ in self.started()], started_before, log)
        # The confirmation was the only box: a cancelled run reports no failure.
        self.assertEqual([b.texts for b in self.boxes(result)], [["Install セットアップを中止します。", "よろしいですか？"]])
        after = self.state(valid)
        self.assertNotIn("unverified", after)
        self.assertNotIn("partial", after)
        # The confirmation, then the first word of the work stopping.
        lines = [line.split("]", 1)[-1] for line in log.splitlines()]
        at_cancel = lines.index("Cancel: the user stopped the setup")
        stopped = next((line for line in lines[at_cancel + 1:]
                        if re.match(r"(Cancelled before|Canceled\.|Fail Download|End \w+\(\))", line)), "")
        told = f"{lines[at_cancel]}; then {stopped}" if stopped else lines[at_cancel]

        self.reset()
        if prepare:
            prepare()
        hidden = self.run_chain(packages, hidden=True, timeout=150)
        self.assertEqual((hidden.exit_code, hidden.dialogs), (0, []), hidden.log_text)
        self.assertNotIn("unverified", self.state(valid))
        TABLE.add(Row(where, done, exit_text(result.exit_code), f"{exit_text(hidden.exit_code)} (ran to its end)",
                      told, before, after))

    def test_phase_1_while_a_file_beside_the_launcher_is_verified(self):
        package = self.exe("pkg", "0", data=self.BIG, url=self.servers.fault.url("/status/404"))
        self.checkpoint("phase 1: verifying a file beside the launcher", "a 160 MB file beside the launcher; "
                        "Cancel as soon as the dialog shows", [package], "の準備を行っています", [],
                        prepare=lambda: self.put_beside(self.BIG), valid={"pkg.exe": self.BIG})

    def test_phase_2_while_a_prerequisite_installs(self):
        self.checkpoint("phase 2: a prerequisite installing", "Cancel while pre1's installer runs (4 s); pkg "
                        "follows", [self.exe("pre1", "0 /sleep:4000"), self.exe("pkg", "0")],
                        "pre1 をインストールしています。", ["pre1.exe"])

    def test_phase_2_while_a_file_downloads(self):
        slow = self.servers.fault.url("/trickle/60/pkg.exe")
        self.checkpoint("phase 2: a prerequisite's file downloading", "Cancel while pkg comes 4 KiB every 60 ms",
                        [self.exe("pre1", "0"), self.exe("pkg", "0", url=slow)],
                        "pre1 をインストールしています。", ["pre1.exe"])

    def test_phase_2_while_a_cached_file_is_verified(self):
        self.checkpoint("phase 2: verifying a cached file", "pkg's 160 MB file valid in the cache; Cancel "
                        "while it is verified", [self.exe("pre1", "0"), self.exe("pkg", "0", data=self.BIG)],
                        "pre1 をインストールしています。", ["pre1.exe"], prepare=lambda: self.put_cached(self.BIG),
                        valid={"pre1.exe": self.PROGRAM, "pkg.exe": self.BIG})

    def test_phase_2_while_a_file_is_copied_into_the_cache(self):
        package = self.exe("pkg", "0", data=self.BIG, url=self.servers.fault.url("/status/404"))
        self.checkpoint("phase 2: copying a file into the cache", "pkg's 160 MB file beside the launcher; "
                        "Cancel while it is copied into the cache", [self.exe("pre1", "0"), package],
                        "pre1 をインストールしています。", ["pre1.exe"], prepare=lambda: self.put_beside(self.BIG),
                        valid={"pre1.exe": self.PROGRAM, "pkg.exe": self.BIG})

    def test_phase_2_while_the_main_package_downloads(self):
        slow = self.servers.fault.url("/trickle/60/main.exe")
        self.checkpoint("phase 2: the main package's file downloading", "Cancel while main (no prerequisite) "
                        "comes 4 KiB every 60 ms", [self.exe("pre1", "0"), self.exe("main", "0", prerequisite=False,
                                                                                     url=slow)],
                        "pre1 をインストールしています。", ["pre1.exe"])


if __name__ == "__main__":
    unittest.main()
