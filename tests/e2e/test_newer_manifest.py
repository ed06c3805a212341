"""The newer manifest and the other launcher as a run meets them under Wine: the embedded manifest
names a "Latest" address served by nginx over HTTPS (a throw-away CA the prefix trusts), the
launcher follows the chain, and an accepted manifest may hand the run to another launcher, a small
fixture program signed here with osslsigncode. Which manifest is in force shows in the message its
refused "Condition" gives: every manifest here refuses, so that no case depends on installing."""
import json
import os
import shutil
import subprocess
import tempfile
import unittest

import tevharness
from e2e import BUILD, WORK_FOLDER, HeldOpen, ServedTestCase
from servers import free_port
from test_manifest import manifest_file

OTHER_LAUNCHER = os.path.join(BUILD, "tests", "e2e", "otherlauncher.exe")
# A library of the build's own architecture.
LIBRARY = os.path.join(BUILD, "testing", "planted.dll")
EMBEDDED_NAME = "Embedded Product"
EMBEDDED_MESSAGE = f"embedded: {EMBEDDED_NAME}"
INVALID = "実行情報に誤りがあります。"
ABORT = "実行を中止します。"
REFUSED = "ダウンロードしたランチャーの署名を確認できませんでした"
NETWORK_HINT = "ネットワーク接続に問題がないか確認してください。"
ONLY_HTTPS = "not fetched, a newer manifest is accepted only over HTTPS"


def fetched(tag, version=None, latest=None, **launch):
    """A newer manifest whose refusal names `tag`, with a property of its own and a display name
    that must not become the package's name."""
    launch_package = {"DisplayName": "Fetched Product", "Condition": "NOTHING",
                      "FailMessage": f"{tag}: [PackageName] [Origin]", **launch}
    if version is not None:
        launch_package["Version"] = version
    if latest is not None:
        launch_package["Latest"] = latest
    return {"LaunchPackage": launch_package, "Properies": [{"Origin": {"Value": "from-" + tag}}], "LaunchList": []}


def message_of(tag):
    return f"{tag}: {EMBEDDED_NAME} from-{tag}"


class NewerManifestCase(ServedTestCase):
    def setUp(self):
        self.servers.fault.requests.clear()
        self.row = ""

    def name(self, document):
        """The served path of `document` in this test's row."""
        return f"{self._testMethodName}-{self.row}-{document}.json".replace(" ", "_")

    def url(self, reference):
        """A reference of a table ("@A" a document of the row, "@^A" the same with an upper-case
        scheme, "@http" a plain-HTTP address, "@unreachable", "@missing", "@other:FILE" a file of nginx
        over HTTPS, "@plain:FILE" the same over HTTP) as an address."""
        if not isinstance(reference, str) or not reference.startswith("@"):
            return reference
        target = reference[1:]
        if target == "http":
            return self.servers.fault.url("/" + self.name("http"))
        if target == "unreachable":
            return f"https://localhost:{free_port()}/{self.name('unreachable')}"
        if target == "missing":
            return self.servers.url(self.name("missing"), https=True)
        if target.startswith("other:"):
            return self.servers.url(target[len("other:"):], https=True)
        if target.startswith("plain:"):
            return self.servers.url(target[len("plain:"):])
        if target.startswith("^"):
            return self.servers.url(self.name(target[1:]), https=True).replace("https://", "HTTPS://", 1)
        return self.servers.url(self.name(target), https=True)

    def resolve(self, value):
        if isinstance(value, dict):
            return {k: self.resolve(v) for k, v in value.items()}
        if isinstance(value, list):
            return [self.resolve(v) for v in value]
        return self.url(value)

    def serve(self, documents):
        for tag, document in documents.items():
            body = document if isinstance(document, bytes) else \
                document.encode() if isinstance(document, str) else json.dumps(self.resolve(document)).encode()
            if tag == "http":
                # Served for real, so that a fetch would show in the manifest in force, not only here.
                self.servers.fault.bodies["/" + self.name(tag)] = body
            else:
                self.servers.add(self.name(tag), body)

    def fetches(self, tag):
        """How often nginx was asked for the row's document `tag`."""
        with open(os.path.join(self.servers.nginx.folder, "access.log")) as f:
            return f.read().count(f'"GET /{self.name(tag)} HTTP')

    def run_embedded(self, launch, arguments="", **kw):
        document = {"LaunchPackage": {"DisplayName": EMBEDDED_NAME, "Condition": "NOTHING",
                                      "FailMessage": "embedded: [PackageName]", **self.resolve(launch)},
                    "LaunchList": []}
        path = manifest_file(document)
        try:
            return self.run_launcher(arguments, manifest=path, **kw)
        finally:
            os.remove(path)


class ManifestInForceTest(NewerManifestCase):
    def test_the_chain_of_newer_manifests(self):
        # name, the embedded "LaunchPackage" members, the served documents, the message shown (the
        # manifest in force), how often each document was fetched, a line the log must hold.
        cases = [
            ("newer by one in the last field", {"Version": "v1.0.0.0", "Latest": "@A"},
             {"A": fetched("A", "v1.0.0.1")}, message_of("A"), {"A": 1}, "accepted, Version=v1.0.0.1"),
            ("equal version is not newer", {"Version": "v1.2.3.4", "Latest": "@A"},
             {"A": fetched("A", "v1.2.3.4")}, EMBEDDED_MESSAGE, {"A": 1}, "is not newer than v1.2.3.4"),
            ("older version is not newer", {"Version": "v2.0.0.0", "Latest": "@A"},
             {"A": fetched("A", "v1.9.9.9")}, EMBEDDED_MESSAGE, {"A": 1}, "is not newer than v2.0.0.0"),
            # Nothing else of a document that is not newer is read, however malformed.
            ("a document not newer is ignored whole", {"Version": "v2.0.0.0", "Latest": "@A"},
             {"A": fetched("A", "v1", latest=7, OtherLauncher=["not", "a", "string"])}, EMBEDDED_MESSAGE, {"A": 1},
             "is not newer than v2.0.0.0"),
            ("a top field beyond the signed range is still newer", {"Version": "v1.0.0.0", "Latest": "@A"},
             {"A": fetched("A", "v65535.0.0.0")}, message_of("A"), {"A": 1}, "accepted, Version=v65535.0.0.0"),
            ("embedded without Version accepts version 0.0.0.1", {"Latest": "@A"},
             {"A": fetched("A", "v0.0.0.1")}, message_of("A"), {"A": 1}, "):accepted, Version=v0.0.0.1"),
            ("embedded without Version ignores version 0", {"Latest": "@A"},
             {"A": fetched("A", "v0.0.0.0")}, EMBEDDED_MESSAGE, {"A": 1}, "is not newer than v0.0.0.0"),
            ("a manifest naming its own address is fetched once", {"Version": "v1", "Latest": "@A"},
             {"A": fetched("A", "v2", latest="@A")}, message_of("A"), {"A": 1}, "accepted, Version=v2.0.0.0"),
            ("a chain of three, upper-case scheme included", {"Version": "v1", "Latest": "@A"},
             {"A": fetched("A", "v2", latest="@^B"), "B": fetched("B", "v3", latest="@C"), "C": fetched("C", "v4")},
             message_of("C"), {"A": 1, "B": 1, "C": 1}, "accepted, Version=v4.0.0.0"),
            ("a third manifest no newer than the second", {"Version": "v1", "Latest": "@A"},
             {"A": fetched("A", "v2", latest="@B"), "B": fetched("B", "v3", latest="@C"), "C": fetched("C", "v3")},
             message_of("B"), {"A": 1, "B": 1, "C": 1}, "is not newer than v3.0.0.0"),
            ("an unreachable address", {"Version": "v1", "Latest": "@unreachable"},
             {}, EMBEDDED_MESSAGE, {}, "ignored, Error "),
            ("an HTTP error status", {"Version": "v1", "Latest": "@missing"},
             {}, EMBEDDED_MESSAGE, {}, "ignored, Error 15605(0x00003CF5): ファイルのダウンロードに失敗しました(404)"),
            ("a plain-HTTP Latest is not fetched", {"Version": "v1", "Latest": "@http"},
             {"http": fetched("http", "v2")}, EMBEDDED_MESSAGE, {}, ONLY_HTTPS),
            ("an accepted manifest's plain-HTTP Latest ends the chain", {"Version": "v1", "Latest": "@A"},
             {"A": fetched("A", "v2", latest="@http"), "http": fetched("http", "v3")}, message_of("A"), {"A": 1},
             ONLY_HTTPS),
            ("an empty Latest fetches nothing", {"Version": "v1", "Latest": ""}, {}, EMBEDDED_MESSAGE, {}, None),
            ("an empty body", {"Version": "v1", "Latest": "@A"}, {"A": b""}, EMBEDDED_MESSAGE, {"A": 1},
             "ignored, the body is empty"),
            ("a document that is not an object", {"Version": "v1", "Latest": "@A"}, {"A": "[1, 2]"},
             EMBEDDED_MESSAGE, {"A": 1}, "ignored, the document is not an object"),
            ("a document without LaunchPackage", {"Version": "v1", "Latest": "@A"},
             {"A": {"LaunchList": []}}, EMBEDDED_MESSAGE, {"A": 1}, 'ignored, it has no "LaunchPackage"'),
            ("a document without Version", {"Version": "v1", "Latest": "@A"},
             {"A": fetched("A")}, EMBEDDED_MESSAGE, {"A": 1}, 'ignored, it has no "Version"'),
            ("OtherLauncher in the embedded manifest is ignored",
             {"Version": "v1", "OtherLauncher": "@other:other-signed.exe"}, {}, EMBEDDED_MESSAGE, {}, None),
        ]
        for name, launch, documents, message, fetches, log_line in cases:
            with self.subTest(name):
                self.row = name
                self.servers.fault.requests.clear()
                self.serve(documents)
                result = self.run_embedded(launch)
                self.assertEqual(result.exit_code, 0, result.output)
                self.assertEqual([d.texts for d in result.dialogs], [[message]], result.output)
                for tag, count in fetches.items():
                    self.assertEqual(self.fetches(tag), count, tag)
                # Nothing reaches the plain-HTTP server: not the manifest, nor anything else.
                self.assertEqual(self.servers.fault.requests, [])
                # The log is named after the embedded "DisplayName", whichever manifest is in force.
                self.assertEqual(len(result.logs), 1, result.output)
                self.assertTrue(next(iter(result.logs)).split("\\")[-1].startswith("Embedded_Product_"))
                if log_line:
                    self.assertIn(log_line, result.log_text)
                if message == EMBEDDED_MESSAGE:
                    self.assertNotIn("):accepted", result.log_text)
        with open(os.path.join(self.servers.nginx.folder, "access.log")) as f:
            self.assertNotIn("other-signed.exe", f.read())

    def test_malformed_newer_manifest_ends_the_run_as_a_malformed_manifest(self):
        cases = [
            ("Version of the wrong kind", fetched("A", 5), "LaunchPackage.Version: expected a string, found an integer"),
            ("LaunchPackage not an object", {"LaunchPackage": ["x"], "LaunchList": []},
             "LaunchPackage: expected an object, found an array"),
            ("Latest of the wrong kind", fetched("A", "v2", latest=7),
             "LaunchPackage.Latest: expected a string, found an integer"),
            ("not complete JSON", '{"LaunchPackage": {"Version": "v2", "x": [1, ', "the newer manifest is not complete JSON"),
        ]
        for name, document, cause in cases:
            with self.subTest(name):
                self.row = name
                self.serve({"A": document})
                result = self.run_embedded({"Version": "v1", "Latest": "@A"})
                self.assertEqual(result.exit_code, 13, result.output)
                self.assertEqual([d.texts for d in result.dialogs], [[INVALID, cause, ABORT]], result.output)
                self.assertIn("Invalid manifest: " + cause, result.log_text)
                self.assertIn("the newer manifest is malformed", result.log_text)

    def test_hidden_run_follows_the_chain_without_a_window(self):
        self.row = "hidden"
        self.serve({"A": fetched("A", "v2", latest="@http")})
        result = self.run_embedded({"Version": "v1", "Latest": "@A"}, hidden=True)
        self.assertEqual(result.exit_code, 0, result.output)
        self.assertEqual(result.dialogs, [])
        self.assertIn("Message not shown (the run is hidden): " + message_of("A"), result.log_text)
        self.assertIn(ONLY_HTTPS, result.log_text)


class OtherLauncherTest(NewerManifestCase):
    """An accepted manifest naming "OtherLauncher": the fixture program, signed, unsigned or changed
    after signing, served by nginx over HTTPS."""

    ARGUMENTS = '/q A="two words" EXIT=74565'

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        work = tempfile.mkdtemp(prefix="tevother-")
        try:
            key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj",
                            "/CN=Tev Test Signing", "-days", "2", "-keyout", key, "-out", cert],
                           check=True, capture_output=True)

            def sign(program):
                signed = os.path.join(work, "signed")
                subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", program,
                                "-out", signed], check=True, capture_output=True)
                with open(signed, "rb") as f:
                    data = f.read()
                os.remove(signed)
                return data

            signed_bytes = sign(OTHER_LAUNCHER)
            # A signed file that verifies but is no program: a library under a program's name.
            cls.servers.add("other-library.exe", sign(LIBRARY))
        finally:
            shutil.rmtree(work, ignore_errors=True)
        with open(OTHER_LAUNCHER, "rb") as f:
            unsigned_bytes = f.read()
        tampered = bytearray(signed_bytes)
        at = tampered.index(b"This program cannot be run in DOS mode")
        tampered[at] ^= 0x20
        cls.servers.add("other-signed.exe", signed_bytes)
        cls.servers.add("other-unsigned.exe", unsigned_bytes)
        cls.servers.add("other-tampered.exe", bytes(tampered))
        cls.servers.add("other-text.exe", "これはプログラムではありません\n".encode())
        cls.record = cls.prefix.drive_c("TevHarness", "otherlauncher-record.txt")

    def hand_over(self, other, hidden=False, keep_work_folder=False):
        self.row = other.replace("/", "_").replace("@", "")
        self.serve({"A": fetched("A", "v2", OtherLauncher=other)})
        if os.path.exists(self.record):
            os.remove(self.record)
        kept, holders = [], []
        if keep_work_folder:
            # A file another program holds open keeps the work folder at exit, so that what the run
            # left in it shows.
            for temp in self.prefix.temp_folders():
                folder = os.path.join(temp, WORK_FOLDER)
                os.makedirs(folder, exist_ok=True)
                keep = os.path.join(folder, "keep.txt")
                if not os.path.exists(keep):
                    with open(keep, "w") as f:
                        f.write("kept")
                holders.append(HeldOpen(self.prefix, keep))
                kept.append(folder)
        env = {"TEV_OTHER_RECORD": tevharness.windows_path(self.prefix, self.record)}
        try:
            result = self.run_embedded({"Version": "v1", "Latest": "@A"}, self.ARGUMENTS, hidden=hidden, env=env)
        finally:
            for holder in holders:
                holder.close()
        self.assertEqual(len(result.logs), 1, result.output)
        self.assertTrue(next(iter(result.logs)).split("\\")[-1].startswith("Embedded_Product_"))
        return result, kept

    def recorded(self):
        with open(self.record, encoding="utf-8") as f:
            return f.read().splitlines()

    def test_signed_launcher_runs_with_the_same_arguments_and_its_exit_code_is_the_runs(self):
        for hidden in (False, True):
            with self.subTest(hidden=hidden):
                result, _ = self.hand_over("@other:other-signed.exe", hidden=hidden)
                self.assertEqual(result.exit_code, 74565, result.output)
                self.assertEqual(result.dialogs, [])
                command_line, shown, renamed = self.recorded()
                program = WORK_FOLDER + '\\other-signed.exe"'
                self.assertIn(program, command_line)
                # Wine's shell puts blanks of its own between the program and the arguments.
                self.assertEqual(command_line.split(program, 1)[1].lstrip(" "), self.ARGUMENTS)
                self.assertEqual(shown, "hidden: " + ("yes" if hidden else "no"))
                # What was verified is what runs: the launcher holds the file without write or
                # delete sharing from its check on, so not even the program itself can move it.
                self.assertEqual(renamed, "rename: 32")  # ERROR_SHARING_VIOLATION
                self.assertIn("other-signed.exe ):verified", result.log_text)
                self.assertIn("Succeeded: GetExitCodeProcess( 74565 ):ExitCode=74565", result.log_text)
                # The start-up ended with the hand-over: the fetched manifest's checks never ran.
                self.assertNotIn(message_of("A"), result.log_text)

    def test_launcher_whose_signature_does_not_verify_is_refused_and_deleted(self):
        cases = [
            ("unsigned", "other-unsigned.exe", 0x800B0100, False),   # TRUST_E_NOSIGNATURE
            ("changed after signing", "other-tampered.exe", 0x80096010, False),  # TRUST_E_BAD_DIGEST
            ("unsigned, hidden", "other-unsigned.exe", 0x800B0100, True),
            ("not a program at all", "other-text.exe", 0x800B0003, False),  # TRUST_E_SUBJECT_FORM_UNKNOWN
        ]
        for name, file, status, hidden in cases:
            with self.subTest(name):
                result, kept = self.hand_over("@other:" + file, hidden=hidden, keep_work_folder=True)
                self.assertEqual(result.exit_code, 577, result.output)
                self.assertFalse(os.path.exists(self.record), "the refused launcher ran")
                self.assertIn("RunOtherLauncher( ", result.log_text)
                self.assertIn("refused, the downloaded launcher's signature does not verify", result.log_text)
                self.assertIn(f"(0x{status:08X})", result.log_text)
                self.assertNotIn("Call:ShellExecute", result.log_text)
                for folder in kept:
                    self.assertEqual(os.listdir(folder), ["keep.txt"], "the refused file was left")
                if hidden:
                    self.assertEqual(result.dialogs, [])
                    self.assertIn("Message not shown (the run is hidden): " + REFUSED, result.log_text)
                    continue
                self.assertEqual(len(result.dialogs), 1, result.output)
                texts = result.dialogs[0].texts
                self.assertEqual(texts[0], f"{REFUSED}(0x{status:08X})。")
                self.assertTrue(texts[1].endswith(WORK_FOLDER + "\\" + file), texts)
                self.assertIn("実行を中止します。", texts[2])

    def test_launcher_that_cannot_be_fetched_named_or_started(self):
        cases = [
            ("verified but cannot be started", "@other:other-library.exe", 193,  # ERROR_BAD_EXE_FORMAT
             ["ランチャーを起動できませんでした。",
              f"*\\{WORK_FOLDER}\\other-library.exe"]),
            ("download fails", "@missing", 0x80073CF5,
             ["ファイルのダウンロードに失敗しました(404)", NETWORK_HINT]),
            ("address ends with a separator", "@other:launchers/", 13,
             [INVALID, 'LaunchPackage.OtherLauncher: the file name "" of the address cannot be used: it is empty',
              ABORT]),
            ("fetched over plain HTTP", "@plain:launchers/other-signed.exe", 13,
             [INVALID, "LaunchPackage.OtherLauncher: a launcher is fetched only over HTTPS", ABORT]),
            ("address names a device", "@other:launchers/NUL.exe", 13,
             [INVALID, 'LaunchPackage.OtherLauncher: the file name "NUL.exe" of the address cannot be used: '
                       'the part "NUL.exe" names a device', ABORT]),
        ]
        # A text starting with "*" is a line's end (a path in the prefix's temporary folder).
        for name, other, code, texts in cases:
            with self.subTest(name):
                before = self.fetches_of_launchers()
                result, _ = self.hand_over(other)
                self.assertEqual(result.exit_code, code, result.output)
                self.assertEqual(len(result.dialogs), 1, result.output)
                shown = result.dialogs[0].texts[:len(texts)]
                self.assertEqual([line[-len(t) + 1:] if t.startswith("*") else line for line, t in zip(shown, texts)],
                                 [t[1:] if t.startswith("*") else t for t in texts], result.output)
                self.assertFalse(os.path.exists(self.record))
                if code == 13:
                    self.assertEqual(self.fetches_of_launchers(), before, "a refused name was fetched")

    def fetches_of_launchers(self):
        with open(os.path.join(self.servers.nginx.folder, "access.log")) as f:
            return f.read().count('"GET /launchers/')


if __name__ == "__main__":
    unittest.main()
