"""The launch manifest as release engineers stamp it and users meet it: its absence, malformed
manifests, property definitions with registry and product searches, and the log file."""
import json
import os
import re
import subprocess
import tempfile
import unittest

import tevharness
from e2e import ARCH, BUILD, LauncherTestCase

FAMILY_UPGRADE = "{3C5B8E10-7A2D-4F61-9B3E-1D2C3B4A5F00}"
FAMILY_V1 = "{3C5B8E10-7A2D-4F61-9B3E-1D2C3B4A5F01}"
TEST_KEY = r"HKLM\Software\TevLauncherE2E"
LINE = re.compile(r"^\[\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2}\](.*)$")


def manifest_file(document) -> str:
    handle, path = tempfile.mkstemp(suffix=".json", prefix="tevmanifest-")
    with os.fdopen(handle, "w", encoding="utf-8") as f:
        f.write(document if isinstance(document, str) else json.dumps(document, ensure_ascii=False))
    return path


# The registry's two views under WOW64: the 64-bit reg.exe writes the 64-bit view, the 32-bit one in
# the 32-bit system folder writes the 32-bit view (Software\WOW6432Node).
VIEW_64, VIEW_32 = r"C:\windows\system32\reg.exe", r"C:\windows\syswow64\reg.exe"


def reg_add(prefix, key, args, view):
    prefix.wine([view, "add", key, *args, "/f"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)


def registry_search(key, value=None, result="value", win64=True, root="HKLM"):
    search = {"Root": root, "Key": key, "Result": result, "Win64": win64}
    if value is not None:
        search["Value"] = value
    return {"RegistrySearch": search}


class ManifestTestCase(LauncherTestCase):
    def run_with(self, document, arguments="", **kw):
        path = manifest_file(document)
        try:
            return self.run_launcher(arguments, manifest=path, **kw)
        finally:
            os.remove(path)

    def log_bodies(self, result):
        self.assertEqual(len(result.logs), 1, result.output)
        lines = next(iter(result.logs.values())).splitlines()
        bodies = []
        for line in lines:
            match = LINE.match(line)
            if match:
                bodies.append(match.group(1))
            else:
                # A message with line breaks continues on the next lines without a prefix.
                self.assertTrue(bodies, f"the log begins without a time prefix: {line!r}")
                bodies[-1] += "\n" + line
        return bodies


class MissingAndMalformedTest(ManifestTestCase):
    def test_launcher_without_manifest_says_so(self):
        result = self.run_launcher("", manifest=tevharness.REMOVE_MANIFEST)
        self.assertOnlyDialog(result, ["実行情報がありません。"])
        self.assertEqual(result.exit_code, 1813)  # ERROR_RESOURCE_TYPE_NOT_FOUND: no JSON resource at all
        # The run ends before any package is named: its log is named after the launcher.
        self.assertEqual(len(result.logs), 1, result.output)
        self.assertTrue(next(iter(result.logs)).split("\\")[-1].startswith("TevLauncher_"))
        self.assertIn("Message: 実行情報がありません。", result.log_text)

    def test_member_of_wrong_kind_ends_with_13_and_a_message(self):
        result = self.run_with({"LaunchPackage": {"DisplayName": 5}, "LaunchList": []})
        self.assertEqual(result.exit_code, 13)
        self.assertEqual(len(result.dialogs), 1, result.output)
        cause = "LaunchPackage.DisplayName: expected a string, found an integer"
        self.assertEqual(result.dialogs[0].texts, ["実行情報に誤りがあります。", cause, "実行を中止します。"])
        self.assertIn("Invalid manifest: " + cause, result.log_text)

    def test_hidden_run_explains_a_malformed_manifest_only_in_the_log(self):
        document = {"LaunchPackage": {"DisplayName": "Broken"}, "Properies": {"not": "an array"}, "LaunchList": []}
        result = self.run_with(document, hidden=True)
        self.assertEqual(result.exit_code, 13)
        self.assertEqual(result.dialogs, [])
        self.assertIn("Invalid manifest: Properies: expected an array, found an object", result.log_text)
        self.assertTrue(next(iter(result.logs)).split("\\")[-1].startswith("Broken_"))

    def test_size_beyond_32_bits_is_malformed_not_read_as_its_low_bits(self):
        # 2^32 + 100 would read as 100 and accept a 100-byte file.
        package = {"ExePackage": {"Id": "big", "DisplayName": "big", "InstallCommand": "0",
                                  "ExecuteFile": {"Name": "big.exe", "Size": (1 << 32) + 100,
                                                  "DownloadUrl": "http://127.0.0.1:9/big.exe"}}}
        result = self.run_with({"LaunchPackage": {"DisplayName": "Big"}, "LaunchList": [package]}, hidden=True)
        self.assertEqual((result.exit_code, result.dialogs), (13, []), result.log_text)
        self.assertIn("Invalid manifest: LaunchList[0].ExePackage.ExecuteFile.Size: the number is beyond the 32-bit "
                      "range", result.log_text)

    def test_stamping_refuses_what_is_no_launch_manifest(self):
        for document in ("[1, 2]", "{}", '{"LaunchPackage": {}}', '{"LaunchPackage": [], "LaunchList": []}', ""):
            with self.subTest(document=document):
                path = manifest_file(document)
                try:
                    with self.assertRaises(tevharness.StampError) as raised:
                        tevharness.install_launcher(BUILD, self.prefix, manifest=path, force=False)
                finally:
                    os.remove(path)
                self.assertIn("is not a launch manifest", str(raised.exception))


class PropertyDefinitionsTest(ManifestTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        reg = [
            ["/v", "Release", "/t", "REG_DWORD", "/d", "528040"],
            ["/v", "AllBits", "/t", "REG_DWORD", "/d", "4294967295"],
            ["/v", "Text", "/t", "REG_SZ", "/d", "4.8.03761"],
            ["/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%SystemRoot%\\tev"],
            ["/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "a\\0b"],
        ]
        for args in reg:
            reg_add(cls.prefix, TEST_KEY, args, VIEW_64)
        # The 32-bit view holds other values under the same names: a search reads "Text" from the
        # launcher's own view (its "Win64" is false), "Release" from the 64-bit view in either build.
        for args in (["/v", "Release", "/t", "REG_DWORD", "/d", "1"], ["/v", "Text", "/t", "REG_SZ", "/d", "3.5.30729"]):
            reg_add(cls.prefix, TEST_KEY, args, VIEW_32)
        for name in ("TevFamilyV1", "TevFamilyV2"):
            package = tevharness.z_path(os.path.join(BUILD, "fixtures", f"{name}.msi"))
            cls.prefix.wine(["msiexec", "/i", package, "/qn"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                            check=True)

    def test_definitions_in_order_then_command_line(self):
        key = r"Software\TevLauncherE2E"
        document = {
            "LaunchPackage": {"DisplayName": "Demo: 1/2", "TargetPackageName": "Demo Target"},
            "Properies": [
                {"NETFRAMEWORK45": registry_search(key, "Release")},
                {"ALLBITS": registry_search(key, "AllBits")},
                {"TEXTVERSION": registry_search(key, "Text", win64=False)},
                {"EXPANDED": registry_search(key, "Expand")},
                {"MULTI": registry_search(key, "Multi")},
                {"MISSING": registry_search(key + r"\Nothing", "Release")},
                {"HAS_RELEASE": registry_search(key, "Release", result="exists")},
                {"HAS_NOTHING": registry_search(key + r"\Nothing", "x", result="exists")},
                {"LOWER_ROOT": registry_search(key, "Release", root="hklm")},
                {"FAMILY": {"ProductSearch": {"UpgradeCode": FAMILY_UPGRADE, "ProductCode": "{00000000-0000-0000-0000-000000000000}"}}},
                {"V1": {"ProductSearch": {"ProductCode": FAMILY_V1}}},
                {"ABSENT_PRODUCT": {"ProductSearch": {"UpgradeCode": "{00000000-1111-2222-3333-444444444444}"}}},
                {"SWITCH": {"Value": 1}, "OTHER": {"Value": "text"}},
                {"PackageName": {"Value": "From manifest"}},
            ],
            "LaunchList": [],
        }
        result = self.run_with(document, 'SWITCH=0 PackageName="From command line"')
        self.assertEqual(result.exit_code, 0, result.output)
        bodies = self.log_bodies(result)
        # The lines logged before the log file existed come first, in their order.
        self.assertTrue(bodies[0].startswith("VerifySignature( C:\\TevSetup\\TevLauncher.exe ):unsigned"))
        self.assertEqual(bodies[1], "Add Property Privileged=true")
        # Six built-in properties, and VersionNT64 in the 32-bit build (under WOW64).
        builtins = 7 if ARCH == "i686" else 6
        self.assertEqual(bodies[builtins + 1], 'CommandLine= SWITCH=0 PackageName="From command line"')
        windows = next(v for v in (b.split("=", 1)[1] for b in bodies if b.startswith("Add Property EXPANDED=")))
        added = [b[len("Add Property "):] for b in bodies if b.startswith("Add Property ")]
        self.assertEqual(added[builtins:], [
            "PackageName=Demo: 1/2",
            "TargetPackageName=Demo Target",
            "NETFRAMEWORK45=528040",
            "ALLBITS=-1",
            # The launcher's own view: the 32-bit one for the i686 build.
            "TEXTVERSION=" + ("3.5.30729" if ARCH == "i686" else "4.8.03761"),
            f"EXPANDED={windows}",
            "MULTI=(none)",
            "MISSING=(none)",
            "HAS_RELEASE=true",
            "HAS_NOTHING=false",
            "LOWER_ROOT=(none)",
            "FAMILY=v2.0.7.0",
            "V1=v1.0.0.0",
            "ABSENT_PRODUCT=(none)",
            "OTHER=text",
            "SWITCH=1",
            "PackageName=From manifest",
            "PackageName=From command line",
            "SWITCH=0",
        ])
        self.assertTrue(windows.lower().endswith("\\windows\\tev"), windows)
        # The log file is named before the command line's PackageName is merged.
        name = next(iter(result.logs)).split("\\")[-1]
        self.assertRegex(name, r"^Demo__1_2_\d{4}-\d{2}-\d{2}-\d{2}-\d{2}-\d{2}\.log$")
        # The exit dump holds the merged values, in name order.
        dump = bodies[bodies.index("Properties") + 1:]
        self.assertIn("PackageName=From command line", dump)
        self.assertNotIn("MISSING=(none)", dump)
        self.assertEqual(dump, sorted(dump, key=lambda line: line.split("=", 1)[0].encode("utf-16-be")))

    def test_false_condition_shows_the_expanded_fail_message_and_exits_0(self):
        document = {"LaunchPackage": {"DisplayName": "Demo", "Condition": "VersionNT > v99.0",
                                      "FailMessage": "「[PackageName]」は\nこの Windows では動作しません。"},
                    "LaunchList": []}
        result = self.run_with(document)
        self.assertOnlyDialog(result, ["「Demo」は", "この Windows では動作しません。"])
        self.assertEqual(result.exit_code, 0)
        bodies = self.log_bodies(result)
        self.assertIn("CheckCondition( VersionNT > v99.0 ):false", bodies)
        closing = bodies.index("ExitCode=0(0x00000000)")
        self.assertEqual(bodies[closing + 1:closing + 3], ["m_scheduleReboot=false, m_forceReboot=false", "Properties"])
        self.assertTrue(all("=" in line for line in bodies[closing + 3:]))
        self.assertIn("PackageName=Demo", bodies[closing + 3:])

    def conflict_document(self, registered_code):
        # The check reads the launcher's own view: an installed application's key, in both views.
        for view in (VIEW_64, VIEW_32):
            reg_add(self.prefix, TEST_KEY + r"\Conflict", ["/v", "ProductCode", "/t", "REG_SZ", "/d", registered_code],
                    view)
        return {"LaunchPackage": {"DisplayName": "Demo", "TargetPackage": "MsiPackage",
                                  "WendSpecialCheck": r"Software\TevLauncherE2E\Conflict",
                                  "WendSpecialCheckMessage": "「[PackageName]」は「[CONFLICT_APP_NAME]」と共存できません。"},
                "LaunchList": [{"MsiPackage": {"ProductCode": "{3C5B8E10-7A2D-4F61-9B3E-1D2C3B4A5F99}",
                                               "Version": "9.0"}}]}

    def test_conflicting_installed_product_is_named(self):
        result = self.run_with(self.conflict_document(FAMILY_V1))
        self.assertOnlyDialog(result, ["「Demo」は「TevFamilyV1」と共存できません。"])
        self.assertEqual(result.exit_code, 0)
        self.assertIn("Add Property CONFLICT_APP_NAME=TevFamilyV1", result.log_text)

    def test_own_product_code_in_other_case_is_no_conflict(self):
        # Hidden: the launch goes on past the checks, to a package that has nothing to install.
        result = self.run_with(self.conflict_document("{3c5b8e10-7a2d-4f61-9b3e-1d2c3b4a5f99}"), hidden=True)
        self.assertNotIn("CONFLICT_APP_NAME", result.log_text)
        self.assertNotIn("共存できません", result.log_text)
        self.assertIn("Start ResolveSources()", result.log_text)

    def test_already_installed_target_shows_its_message(self):
        document = {"LaunchPackage": {"DisplayName": "Demo", "TargetPackage": "old",
                                      "InstalledTargetPackage": "[PackageName] はインストール済みです。"},
                    "LaunchList": [{"MsiPackage": {"Id": "old", "ProductCode": FAMILY_V1, "UpgradeCode": FAMILY_UPGRADE,
                                                   "Version": "1.5"}}]}
        result = self.run_with(document)
        self.assertOnlyDialog(result, ["Demo はインストール済みです。"])
        self.assertIn(f"IsExecuteMSI( {FAMILY_V1} ):v1.5.0.0 >= v2.0.7.0", result.log_text)


if __name__ == "__main__":
    unittest.main()
