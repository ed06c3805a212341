#!/usr/bin/python3
"""./tev demo: the launcher does its whole job on the bundled sample, under Wine.

Builds the sample's packages (its prerequisite, exitwith.exe of this project, which ends with the
exit code its first argument names, 0 here; and an MSI package with its files in an external
cabinet, made by wixl and gcab), serves them from nginx on the loopback, and runs a launcher that
carries the sample manifest with the server's address and each file's size and hash filled in. The
run shows its progress dialog while it downloads, runs the prerequisite, and installs the MSI
package with msiexec once the dialog has closed; the product is then found installed.

The launcher is the shipped one, build/x86/TevLauncher.exe (32-bit, refusing a file without a
signature), made ready as a release engineer makes it: the manifest stamped in with `tevtool
stamp`, then the stamped file signed (here with a throw-away certificate the demo makes; Wine does
not check the certificate's root, Windows would want a trusted one)."""
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "testing"))
import tevharness  # noqa: E402
from servers import Servers, file_entry  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SAMPLE = os.path.join(ROOT, "samples", "sample-manifest.json")
SAMPLE_ADDRESS = "http://127.0.0.1:8080/"
PRODUCT_CODE = "{6D2C3A7E-1F4B-4C55-9A0E-3B5D7C9E1F20}"


def build_payloads(build: str, folder: str) -> dict:
    """The files the sample's packages name, by their download names."""
    shutil.copyfile(os.path.join(HERE, "ReadMe.txt"), os.path.join(folder, "ReadMe.txt"))
    subprocess.run(["wixl", "-a", "x64", "-o", "SampleSuite.msi", os.path.join(HERE, "SampleSuite.wxs")],
                   cwd=folder, check=True)
    # The cabinet holds the file under its File table key.
    shutil.copyfile(os.path.join(folder, "ReadMe.txt"), os.path.join(folder, "ReadMe"))
    subprocess.run(["gcab", "-c", "SampleSuite.cab", "ReadMe"], cwd=folder, check=True)
    payloads = {}
    for name, path in (("sample_runtime.exe", os.path.join(build, "x86-test", "tests", "app", "exitwith.exe")),
                       ("SampleSuite.msi", os.path.join(folder, "SampleSuite.msi")),
                       ("SampleSuite.cab", os.path.join(folder, "SampleSuite.cab"))):
        with open(path, "rb") as f:
            payloads[name] = f.read()
    return payloads


def served_manifest(servers: Servers, payloads: dict, path: str) -> None:
    """The sample, pointing at the demo's server, every file entry with its real size, hash and
    SHA-256 digest."""
    with open(SAMPLE, encoding="utf-8") as f:
        manifest = json.load(f)
    for element in manifest["LaunchList"]:
        package = next(iter(element.values()))
        for entry in [package["ExecuteFile"], *package.get("Payloads", [])]:
            name = entry["DownloadUrl"][len(SAMPLE_ADDRESS):]
            entry["DownloadUrl"] = servers.url(name)
            entry.update(file_entry(payloads[name]), Sha256=hashlib.sha256(payloads[name]).hexdigest())
    with open(path, "w", encoding="utf-8") as f:
        json.dump(manifest, f, ensure_ascii=False, indent=1)


def show(title: str, result) -> None:
    print(f"== {title}")
    for dialog in result.dialogs:
        print(f"--- dialog \"{dialog.caption}\" ---")
        for text in dialog.texts:
            print(text)
        if dialog.progress:
            print(f"(progress bar: {dialog.progress})")
        print(f"--- answered {dialog.answer.upper()} ---")
    for path, text in result.logs.items():
        lines = text.splitlines()
        # The launcher's log in full; the installer's verbose log is long: its start and its end.
        if "_MSI_" in path and len(lines) > 12:
            lines = [*lines[:4], f"... ({len(lines) - 8} more lines) ...", *lines[-4:]]
        print(f"--- log {path} ---")
        print("\n".join(lines))
    print(f"exit code {result.exit_code}")
    print()


def release(build: str, prefix, manifest: str, work: str) -> str:
    """The shipped launcher with `manifest` stamped in, then signed: the file a release engineer ships."""
    shipped = os.path.join(build, "x86")
    stamped, signed = os.path.join(work, "stamped.exe"), os.path.join(work, "SampleSuiteSetup.exe")
    tevharness.stamp(shipped, prefix, os.path.join(shipped, "TevLauncher.exe"), manifest, stamped, force=False)
    key, cert = os.path.join(work, "key.pem"), os.path.join(work, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Tevrian Demo Signing",
                    "-days", "2", "-keyout", key, "-out", cert], check=True, capture_output=True)
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Tevrian Sample Suite",
                    "-in", stamped, "-out", signed], check=True, capture_output=True)
    return signed


def main(build: str) -> int:
    work = tempfile.mkdtemp(prefix="tevdemo-")
    try:
        payloads = build_payloads(build, work)
        manifest = os.path.join(work, "sample-served.json")
        # The harness's driver comes from the i686 test build; the launcher it starts is the shipped one.
        harness = os.path.join(build, "x86-test")
        with Servers(payloads) as servers, tevharness.Prefix(harness) as prefix:
            served_manifest(servers, payloads, manifest)
            launcher = release(build, prefix, manifest, work)
            print(f"== TevLauncher demo: the sample manifest ({SAMPLE}), its packages served by nginx at "
                  f"{servers.url('')}")
            print(f"   The launcher: build/x86/TevLauncher.exe, the shipped 32-bit build (it refuses an unsigned "
                  f"file), the manifest stamped in with tevtool stamp, then signed with a throw-away certificate "
                  f"(CN=Tevrian Demo Signing)\n")
            result = tevharness.run_launcher(harness, prefix, "", launcher=launcher, timeout=120)
            signature = next((line for line in result.log_text.splitlines() if "VerifySignature(" in line), "")
            print(f"   The launcher's own check of its signature: {signature.split(']', 1)[-1] or 'NOT LOGGED'}\n")
            show("1. The whole run: the progress dialog downloads and verifies every file, runs the prerequisite; "
                 "msiexec installs the MSI package after it", result)
            print("== 2. The product is now installed")
            query = prefix.wine(["reg", "query", rf"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\{PRODUCT_CODE}",
                                 "/v", "DisplayVersion"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            print(query.stdout.decode(errors="replace").strip())
            installed = prefix.drive_c("Program Files", "Tevrian Sample Suite", "ReadMe.txt")
            print(f"C:\\Program Files\\Tevrian Sample Suite\\ReadMe.txt: "
                  f"{'installed' if os.path.exists(installed) else 'MISSING'}")
            print()
            show("3. The help text (/?), with a command-line property after it",
                 tevharness.run_launcher(harness, prefix, '/? Product="Tevrian Sample"', launcher=launcher))
            show("4. A malformed command line", tevharness.run_launcher(harness, prefix, "A=-5", launcher=launcher))
            return 0 if result.exit_code == 0 and os.path.exists(installed) else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(os.path.abspath(sys.argv[1])))
