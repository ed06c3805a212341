"""What a hostile manifest or a calling program that starts the launcher hidden meets: inputs that
once crashed the launcher end in order, every message also reaches the log, a hidden run opens no
window and ends exactly as its shown twin, and the log file is always one of the launcher's own."""
import os
import unittest

from e2e import COMMAND_LINE_ERROR, HELP_LINES, is_progress_dialog
from test_manifest import ManifestTestCase
import tevharness

INVALID = "実行情報に誤りがあります。"


def launch(**launch_package):
    return {"LaunchPackage": {"DisplayName": "Hostile", **launch_package}, "LaunchList": []}


class CrashReproducerTest(ManifestTestCase):
    def assertInvalid(self, result, cause_start):
        self.assertEqual(result.exit_code, 13, result.output)
        self.assertEqual(len(result.dialogs), 1, result.output)
        self.assertEqual(result.dialogs[0].texts[0], INVALID)
        self.assertTrue(result.dialogs[0].texts[1].startswith(cause_start), result.dialogs[0].texts)
        self.assertIn("Invalid manifest: " + cause_start, result.log_text)

    def test_conditions_of_thousands_of_terms_are_malformed_not_a_crash(self):
        long_or = "VersionNT" + " OR VersionNT" * 7999
        long_eq = "A" + " == A" * 8000
        self.assertInvalid(self.run_with(launch(Condition=long_or, FailMessage="x")),
                           'the "Condition" of the launch (LaunchPackage.Condition): the condition nests deeper than '
                           '256 levels at character')
        document = {"LaunchPackage": {"DisplayName": "Hostile"},
                    "LaunchList": [{"ExePackage": {"Id": "deep", "ExecuteCondition": long_eq}}]}
        result = self.run_with(document)
        self.assertInvalid(result, 'the "ExecuteCondition" of package Id deep '
                                   '(LaunchList[0].ExePackage.ExecuteCondition): the condition nests deeper')
        # What the log quotes of the condition is bounded.
        self.assertIn('in the condition "A == A', result.log_text)
        self.assertLess(len(result.log_text), 20000)

    def test_ten_thousand_bracket_pairs_resolve_to_the_refusal_they_mean(self):
        result = self.run_with(launch(Condition="NOTHING", FailMessage="[]" * 10000))
        self.assertEqual(result.exit_code, 0, result.output)
        self.assertEqual(len(result.dialogs), 1, result.output)
        self.assertIn("Message: \n", result.log_text + "\n")

    def test_a_file_name_that_leaves_its_folder_is_malformed_before_any_file_is_touched(self):
        document = {"LaunchPackage": {"DisplayName": "Hostile"},
                    "LaunchList": [{"ExePackage": {"ExecuteCondition": "NOTHING",
                                                   "ExecuteFile": {"Name": "..\\x.exe"}}}]}
        self.assertInvalid(self.run_with(document),
                           'LaunchList[0].ExePackage.ExecuteFile.Name: the file name "..\\x.exe" cannot be used: '
                           'it climbs out of its folder with ".."')

    def test_launch_package_without_display_name_names_that_member(self):
        result = self.run_with({"LaunchPackage": {}, "LaunchList": []})
        self.assertInvalid(result, "LaunchPackage.DisplayName: the required member is missing")


class HiddenTwinTest(ManifestTestCase):
    """Each case runs shown and hidden: hidden, no window opens and the exit code is the same; the
    text of the box is in the log either way (when the run has a log file)."""

    CASES = [
        # name, arguments, manifest (None: the sample's), expected exit code, text that is logged
        ("false condition", "", launch(Condition="NOTHING", FailMessage="「[PackageName]」は動作しません。"), 0,
         "「Hostile」は動作しません。"),
        ("help", "/?", None, 87, None),
        ("operator after =", "A=-5", None, 1639, "コマンドライン引数に間違いがあります。"),
        ("integer beyond 32 bits", "A=2147483648", None, 160, "コマンドライン引数に間違いがあります。"),
        ("debug dump", "/debug /q", launch(), 0, "Debug Break"),
        ("malformed manifest", "", {"LaunchPackage": {"DisplayName": 5}, "LaunchList": []}, 13, INVALID),
        ("no manifest", "", tevharness.REMOVE_MANIFEST, 1813, "実行情報がありません。"),
    ]

    def run_case(self, arguments, manifest, hidden):
        if manifest is None or manifest is tevharness.REMOVE_MANIFEST:
            return self.run_launcher(arguments, manifest=manifest, hidden=hidden)
        return self.run_with(manifest, arguments, hidden=hidden)

    def test_hidden_runs_open_no_window_and_end_as_their_shown_twins(self):
        for name, arguments, manifest, exit_code, logged in self.CASES:
            with self.subTest(name):
                shown = self.run_case(arguments, manifest, hidden=False)
                hidden = self.run_case(arguments, manifest, hidden=True)
                # One box; a progress dialog of a run that goes on may come and go beside it.
                self.assertEqual(len([d for d in shown.dialogs if not is_progress_dialog(d)]), 1, shown.output)
                self.assertEqual(hidden.dialogs, [], hidden.output)
                self.assertEqual(shown.exit_code, exit_code, shown.output)
                self.assertEqual(hidden.exit_code, exit_code, hidden.output)
                if logged:
                    self.assertIn(logged, shown.log_text)
                    self.assertIn(logged, hidden.log_text)
                    self.assertIn("Message not shown", hidden.log_text)


class LogFileTest(ManifestTestCase):
    def test_a_name_ending_in_nul_never_appends_to_another_file(self):
        notes = [os.path.join(folder, "notes.txt") for folder in self.prefix.temp_folders()]
        for path in notes:
            with open(path, "w") as f:
                f.write("my notes\n")
        result = self.run_with({"LaunchPackage": {"DisplayName": "notes.txt\u0000"}, "LaunchList": []})
        self.assertEqual(result.exit_code, 0, result.output)
        for path in notes:
            with open(path) as f:
                self.assertEqual(f.read(), "my notes\n")
        self.assertEqual(len(result.logs), 1, result.output)
        self.assertRegex(next(iter(result.logs)).split("\\")[-1], r"^notes\.txt__\d{4}(-\d{2}){5}\.log$")

    def test_a_300_character_name_still_gives_a_log_within_the_path_limit(self):
        result = self.run_with({"LaunchPackage": {"DisplayName": "x" * 300}, "LaunchList": []})
        self.assertEqual(len(result.logs), 1, result.output)
        path = next(iter(result.logs))
        self.assertLessEqual(len(path), 259)
        self.assertTrue(path.endswith(".log"))


if __name__ == "__main__":
    unittest.main()
