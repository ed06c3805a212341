"""The progress dialog, real under Xvfb: dialogwith.exe opens it over scripted work, the driver
reads and answers it, and dialogwith's log says what the work saw and how the run ended. Wine's
progress bar keeps no state, so the bar's states are those dialogwith sees it receive
("bar: state N" lines), not what the driver reads back."""
import os
import unittest

import tevharness
from e2e import BUILD, LauncherTestCase

DIALOGWITH = os.path.join(BUILD, "tests", "ui", "dialogwith.exe")
TITLE = "テスト製品 セットアップ"
INSTRUCTION = "「テスト製品 セットアップ」の準備を行っています。"
QUESTION = ["テスト製品 セットアップを中止します。", "よろしいですか？"]
NORMAL, ERROR, PAUSED = 1, 2, 3
CANCELED = 1602


class ProgressDialogTest(LauncherTestCase):
    def open(self, case, *answers, timeout=60):
        result = tevharness.run_launcher(BUILD, self.prefix, case, answers=answers, launcher=DIALOGWITH,
                                         timeout=timeout)
        self.assertIsNotNone(result.exit_code, f"the dialog did not close:\n{result.output}\n{result.log_text}")
        self.assertIsNone(result.crash, f"crash: {result.crash}\n{result.output}")
        return result

    def lines(self, result):
        return result.log_text.splitlines()

    def assertLines(self, result, *expected):
        """Each expected line appears in the log, in this order."""
        lines, at = self.lines(result), 0
        for line in expected:
            self.assertIn(line, lines[at:], f"\n{result.output}\n{result.log_text}")
            at = lines.index(line, at) + 1

    def test_title_instruction_content_and_bar(self):
        result = self.open("progress", "none@TevSample.msi")
        dialog = result.dialogs[0]
        self.assertEqual(dialog.caption, TITLE)
        self.assertEqual(dialog.texts, [INSTRUCTION, "パッケージを確認しています: TevSample.msi"])
        self.assertTrue(dialog.progress.startswith("400 of 1000,"), result.output)  # 1000 of 2500 steps
        self.assertEqual(len(result.dialogs), 1, result.output)
        self.assertEqual(result.exit_code, 0)
        self.assertLines(result, "work: content set, bar at 400 of 1000", "work: returning", "DoModal returned 2",
                         "IsCanceled false", "token canceled false")

    def test_a_dialog_that_cannot_be_shown_reports_the_systems_error(self):
        # Wine's task dialog answers S_OK for a dialog it could not create: its reason is the system's
        # error (1400, the parent window does not exist), never a failure that reads as success.
        result = self.open("bad-parent")
        self.assertEqual(result.dialogs, [], result.output)
        self.assertLines(result, "Failed TaskDialogIndirect:0x80070578", "DoModal returned 0", "LastResult 0x80070578",
                         "token canceled never handed out")

    def test_cancel_then_no_resumes_the_work(self):
        for how in ("cancel", "close"):
            with self.subTest(how):
                result = self.open("cancel", f"{how}@running", "no")
                self.assertEqual(len(result.dialogs), 2, result.output)
                question = result.dialogs[1]
                self.assertEqual((question.caption, question.texts), ("TevLauncher", QUESTION))
                self.assertEqual(result.exit_code, 0)
                # Yellow while asking, then normal again.
                self.assertLines(result, f"bar: state {PAUSED}", "Cancel: the user goes on with the setup",
                                 f"bar: state {NORMAL}", f"work: held at the gate, bar state now {NORMAL}",
                                 "work: resumed for 10 steps after the hold", "work: returning",
                                 "IsCanceled false", "token canceled false")
                self.assertNotIn("work: passed the gate while a message box was open", self.lines(result))

    def test_cancel_then_yes_stops_the_work_and_waits_for_it(self):
        result = self.open("cancel", "cancel@running", "yes", "no", "no")
        self.assertEqual(len(result.dialogs), 2, f"asked again while stopping:\n{result.output}")
        self.assertEqual(result.dialogs[1].texts, QUESTION)
        self.assertEqual(result.exit_code, CANCELED)
        # The work's callback runs on the dialog's thread before Cancel is disabled; the dialog
        # stays open until the work has returned.
        self.assertLines(result, f"bar: state {PAUSED}",
                         f"callback: on the dialog's thread yes, Cancel still enabled yes, bar state {PAUSED}",
                         "Cancel: the user stopped the setup", f"bar: state {ERROR}",
                         f"work: canceled, callback ran yes, Cancel enabled no, bar state {ERROR}",
                         "work: asked again no, dialog still open yes", "work: returning", "DoModal returned 2",
                         "IsCanceled true", "token canceled true")
        self.assertNotIn("work: passed the gate while a message box was open", self.lines(result))

    def test_report_error_shows_and_logs_its_text(self):
        result = self.open("error", "none", "ok")
        self.assertEqual(len(result.dialogs), 2, result.output)
        box = result.dialogs[1]
        self.assertEqual((box.caption, box.texts), ("TevLauncher", ["ファイルが見つかりません: TevSample.msi"]))
        self.assertEqual(result.exit_code, 0)
        self.assertLines(result, f"bar: state {ERROR}", "ファイルが見つかりません: TevSample.msi",
                         f"work: ReportError returned, box still open no, bar state {ERROR}", "work: returning",
                         "IsCanceled false")

    def test_work_that_throws_still_closes_the_dialog(self):
        for case, logged in (
                ("throw-msi", "The background task ended by TevMSI::CMsiException 1603(0x00000643) "
                              "インストールに失敗しました。"),
                ("throw-std", "The background task ended by an exception: disk on fire"),
                ("throw-unknown", "The background task ended by an exception of unknown type")):
            with self.subTest(case):
                result = self.open(case, "none")
                self.assertEqual(result.exit_code, 0, result.output)
                self.assertLines(result, "work: started", logged, "DoModal returned 2", "IsCanceled false")
                self.assertNotIn("work: returning", self.lines(result))

    def test_work_that_returns_at_once_still_closes(self):
        for case, line in (("return", "work: started"), ("no-steps", "work: range 0..1, position 0")):
            with self.subTest(case):
                result = self.open(case, "none")
                self.assertEqual(result.exit_code, 0, result.output)
                self.assertLines(result, line, "work: returning", "DoModal returned 2", "IsCanceled false")


if __name__ == "__main__":
    unittest.main()
