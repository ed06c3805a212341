"""Start-up as a user meets it: the command line, the help, the debug dump, orderly ends, and the
check of the launcher's own signature."""
import os
import shutil
import subprocess
import tempfile
import unittest

import tevharness
from e2e import ARCH, BUILD, BUILD_ROOT, COMMAND_LINE_ERROR, HELP_LINES, SAMPLE_WITHOUT_PACKAGES, LauncherTestCase


class CommandLineTest(LauncherTestCase):
    MANIFEST = SAMPLE_WITHOUT_PACKAGES

    def test_help_shows_the_help_text_and_exits_87(self):
        for switch in ("/?", "/help", "-H", "/ help"):
            with self.subTest(switch=switch):
                result = self.run_launcher(switch)
                self.assertOnlyDialog(result, [*HELP_LINES, ""])
                self.assertEqual(result.exit_code, 87)

    def test_help_lists_command_line_properties_after_two_empty_lines(self):
        result = self.run_launcher('/? A=1 B="two words"')
        self.assertOnlyDialog(result, [*HELP_LINES, "", "", "A=1", "B=two words"])
        self.assertEqual(result.exit_code, 87)

    def test_operator_after_equals_is_a_command_line_error_ending_with_1639_naming_the_argument(self):
        for arguments, hidden in (("A=-5", False), ("/help A=-5", False), ("/help A=-5", True)):
            with self.subTest(arguments=arguments, hidden=hidden):
                result = self.run_launcher(arguments, hidden=hidden)
                if hidden:
                    self.assertEqual(result.dialogs, [])
                else:
                    self.assertOnlyDialog(result, [COMMAND_LINE_ERROR, "A="])
                self.assertEqual(result.exit_code, 1639)  # ERROR_INVALID_COMMAND_LINE
                self.assertIn("CommandLine error: the value given to A is not a value", result.log_text)

    def test_integer_beyond_32_bits_ends_with_bad_arguments(self):
        result = self.run_launcher("A=2147483648")
        self.assertOnlyDialog(result, [COMMAND_LINE_ERROR])
        self.assertEqual(result.exit_code, 160)
        self.assertIn("CommandLine error: an integer is beyond the 32-bit range", result.log_text)

    def test_debug_dump_shows_properties_so_far_and_start_up_goes_on(self):
        result = self.run_launcher("A=1 B=v1.2 /debug /q")
        self.assertOnlyDialog(result, ["Debug Break", "", "", "A=1", "B=v1.2.0.0"])
        self.assertEqual(result.exit_code, 0)

    def test_debug_alone(self):
        result = self.run_launcher("/debug")
        self.assertOnlyDialog(result, ["Debug Break", ""])
        self.assertEqual(result.exit_code, 0)

    def test_hidden_start_still_ends_in_order(self):
        result = self.run_launcher("/q", hidden=True)
        self.assertEqual(result.dialogs, [])
        self.assertEqual(result.exit_code, 0)


class SignedLauncherCase(LauncherTestCase):
    """A launcher signed with a throw-away certificate; Wine accepts its untrusted root, so the digest
    and the signature blob are what is checked."""

    launcher = "TevLauncher.exe"

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.work = tempfile.mkdtemp(prefix="tevsign-")
        key, cert = os.path.join(cls.work, "key.pem"), os.path.join(cls.work, "cert.pem")
        cls.key, cls.cert = key, cert
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Tev Test Signing",
                        "-days", "2", "-keyout", key, "-out", cert], check=True, capture_output=True)
        cls.unsigned = os.path.join(BUILD, cls.launcher)  # an absolute launcher stays as it is
        cls.signed = os.path.join(cls.work, "signed.exe")
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", cls.unsigned, "-out", cls.signed],
                       check=True, capture_output=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)
        super().tearDownClass()

    def stripped(self):
        """The signed file with its signature removed again."""
        path = os.path.join(self.work, "stripped.exe")
        subprocess.run(["osslsigncode", "remove-signature", "-in", self.signed, "-out", path],
                       check=True, capture_output=True)
        return path

    def assertRuns(self, result):
        self.assertOnlyDialog(result, [*HELP_LINES, ""])
        self.assertEqual(result.exit_code, 87)

    def assertRefused(self, result):
        self.assertEqual(len(result.dialogs), 1, result.output)
        self.assertIn("署名を確認できませんでした", result.dialogs[0].text)
        self.assertIn("実行を中止します。", result.dialogs[0].text)
        self.assertEqual(result.exit_code, 577)  # ERROR_INVALID_IMAGE_HASH: never read as installed
        self.assertIn("The launcher's own file is refused", result.log_text)


class SignatureTest(SignedLauncherCase):
    """The test build's launcher, which accepts a file that carries no signature."""

    def variant(self, name, change):
        path = os.path.join(self.work, name)
        shutil.copyfile(self.signed, path)
        with open(path, "r+b") as f:
            data = bytearray(f.read())
            change(data)
            f.seek(0)
            f.write(data)
        return path

    def test_valid_signature_runs(self):
        self.assertRuns(self.run_launcher("/?", launcher=self.signed))

    def test_contents_changed_after_signing_are_refused(self):
        def change_dos_stub(data):
            at = data.index(b"This program cannot be run in DOS mode")
            data[at] ^= 0x20
        result = self.run_launcher("/?", launcher=self.variant("tampered.exe", change_dos_stub))
        self.assertRefused(result)

    def test_damaged_signature_is_refused(self):
        def damage_certificate_blob(data):
            pe = int.from_bytes(data[0x3C:0x40], "little")
            # Data directory 4 of the optional header: its directories start at 96 in a PE32 image
            # (the i686 build), at 112 in a PE32+ one (the x86_64 twin).
            magic = int.from_bytes(data[pe + 24:pe + 26], "little")
            self.assertIn(magic, (0x10B, 0x20B))
            security = pe + 24 + (96 if magic == 0x10B else 112) + 4 * 8
            offset = int.from_bytes(data[security:security + 4], "little")
            size = int.from_bytes(data[security + 4:security + 8], "little")
            for i in range(offset + 8, offset + size, 97):
                data[i] ^= 0xFF
        result = self.run_launcher("/?", launcher=self.variant("damaged.exe", damage_certificate_blob))
        self.assertRefused(result)

    def test_a_file_without_signature_runs_where_none_is_required(self):
        for name, launcher in (("unsigned", self.unsigned), ("signature removed", self.stripped())):
            with self.subTest(name):
                self.assertRuns(self.run_launcher("/?", launcher=launcher))


class RequiredSignatureTest(SignedLauncherCase):
    """A launcher that refuses a file without signature: in the i686 run the shipped build itself
    (build/x86), in the x64 run its twin built with the same requirement."""

    launcher = os.path.join(BUILD_ROOT, "x86", "TevLauncher.exe") if ARCH == "i686" else \
        os.path.join(BUILD, "TevLauncherRequireSignature.exe")

    def test_valid_signature_runs(self):
        self.assertRuns(self.run_launcher("/?", launcher=self.signed))

    def test_a_file_without_signature_is_refused(self):
        for name, launcher in (("unsigned", self.unsigned), ("signature removed", self.stripped())):
            with self.subTest(name):
                result = self.run_launcher("/?", launcher=launcher)
                self.assertRefused(result)
                self.assertIn("):unsigned(0x800B0100)", result.log_text)

    def stamp(self, launcher, output):
        """tevtool stamp of the sample manifest (its packages left out) into `launcher`: its stderr."""
        tool = os.path.join(BUILD, "tevtool.exe")
        proc = self.prefix.wine([tool, "stamp", tevharness.z_path(launcher), tevharness.z_path(SAMPLE_WITHOUT_PACKAGES),
                                 tevharness.z_path(output)], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        self.assertEqual(proc.returncode, 0, proc.stderr)
        return proc.stderr.decode("utf-8", errors="replace")

    def test_stamped_then_signed_starts_and_stamped_again_is_refused(self):
        # The release order: stamp, then sign last.
        stamped, released = os.path.join(self.work, "stamped.exe"), os.path.join(self.work, "released.exe")
        self.assertEqual(self.stamp(self.unsigned, stamped), "")
        subprocess.run(["osslsigncode", "sign", "-certs", self.cert, "-key", self.key, "-in", stamped, "-out", released],
                       check=True, capture_output=True)
        self.assertRuns(self.run_launcher("/?", launcher=released))
        # Stamped again without signing: tevtool says the signature is dropped, and the copy carries
        # none (never the old one, now broken): the launcher refuses it as unsigned.
        restamped = os.path.join(self.work, "restamped.exe")
        said = self.stamp(released, restamped)
        self.assertIn("is signed; stamping breaks a signature, so it is dropped", said)
        verified = subprocess.run(["osslsigncode", "verify", "-in", restamped], capture_output=True, text=True)
        self.assertIn("No signature found", verified.stdout + verified.stderr)
        result = self.run_launcher("/?", launcher=restamped)
        self.assertRefused(result)
        self.assertIn("):unsigned(0x800B0100)", result.log_text)

    def test_hidden_refusal_opens_no_window_and_keeps_the_reason_in_the_log(self):
        result = self.run_launcher("/?", launcher=self.unsigned, hidden=True)
        self.assertEqual(result.dialogs, [])
        self.assertEqual(result.exit_code, 577)
        self.assertIn("The launcher's own file is refused (0x800B0100); the run ends", result.log_text)


if __name__ == "__main__":
    unittest.main()
