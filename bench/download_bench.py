"""./tev bench download: the downloader's cost against bare loops of the same platform calls, and
its memory, under wine64 against nginx on the loopback.
  P1  DownloadFile + VerifyFile of 256 MiB without a dialog / a bare loop (8 KiB reads, then
      MsiGetFileHashW); goal <= 1.05. Beside it: the same / a bare loop with 1 MiB reads.
  P5  peak working set during a 1 GiB download / the working set just before it; goal <= 1.2.
      Measured for DownloadFile with an empty entry (the transfer alone), and with Size and Hash
      (VerifyFile's MsiGetFileHashW adds what the hash function itself holds).
  P2  the same acquisition under the progress dialog (Xvfb) / without it; goal <= 1.02. Beside it:
      the dialog open with its bar left still / without it (the dialog's cost apart from the bar).
  Sha256  the P1 acquisition with the entry's "Sha256" too / without it: what the extra check costs.
  start-up  a hidden run of the launcher with nothing to install, signed (the shipped build refuses
      an unsigned file), from the driver's start to its exit code.
Each figure is measured for the shipped i686 build (build/x86) and for the x86_64 twin (build/x64),
both stripped release builds, in one run; each line gives both, and the last lines i686 / x64.
Each figure is the median of ROUNDS interleaved runs."""
import hashlib
import json
import os
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "testing"))
import tevharness  # noqa: E402
from servers import Servers, file_entry_of  # noqa: E402

ROUNDS = int(os.environ.get("TEV_BENCH_ROUNDS", "5"))


def write_payload(path: str, size: int):
    with open(path, "wb") as f:
        for _ in range(size >> 20):
            f.write(os.urandom(1 << 20))
    os.chmod(path, 0o644)


# The builds compared: the shipped i686 configuration and its x86_64 twin.
BUILDS = (("i686", "x86", "i686-w64-mingw32"), ("x64", "x64", "x86_64-w64-mingw32"))


def stripped(path: str, triple: str, folder: str) -> str:
    """A stripped copy of the program at `path`, as it ships."""
    out = os.path.join(folder, f"{triple}-{os.path.basename(path)}")
    subprocess.run([f"{triple}-strip", "-o", out, path], check=True)
    return out


def signed(path: str, key: str, cert: str) -> str:
    out = path[:-4] + "-signed.exe"
    subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-in", path, "-out", out], check=True,
                   capture_output=True)
    return out


def main(build: str):
    with Servers() as servers, tevharness.Prefix(os.path.join(build, "x64")) as prefix:
        folder = prefix.drive_c("bench")
        os.makedirs(folder)
        key, cert = os.path.join(folder, "key.pem"), os.path.join(folder, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Tev Bench",
                        "-days", "2", "-keyout", key, "-out", cert], check=True, capture_output=True)
        empty = os.path.join(folder, "empty.json")
        with open(empty, "w") as f:
            json.dump({"LaunchPackage": {"DisplayName": "Bench"}, "LaunchList": []}, f)
        programs, launchers = {}, {}
        for arch, folder_name, triple in BUILDS:
            programs[arch] = stripped(os.path.join(build, folder_name, "bench", "download", "download_bench.exe"),
                                      triple, folder)
            # As a release engineer makes it: stamped, then signed.
            launcher = stripped(os.path.join(build, folder_name, "TevLauncher.exe"), triple, folder)
            tevharness.stamp(os.path.join(build, "x64"), prefix, launcher, empty, launcher[:-4] + "-stamped.exe")
            launchers[arch] = signed(launcher[:-4] + "-stamped.exe", key, cert)
        write_payload(os.path.join(servers.payload, "p1.bin"), 256 << 20)
        write_payload(os.path.join(servers.payload, "p5.bin"), 1 << 30)
        entries = {}
        for name in ("p1", "p5"):
            entries[name] = prefix.drive_c(name + ".json")
            with open(entries[name], "w") as f:
                json.dump(file_entry_of(os.path.join(servers.payload, name + ".bin")), f)
        entries["p1sha"] = prefix.drive_c("p1sha.json")
        with open(entries["p1sha"], "w") as f:
            digest = hashlib.sha256()
            with open(os.path.join(servers.payload, "p1.bin"), "rb") as payload:
                for block in iter(lambda: payload.read(1 << 20), b""):
                    digest.update(block)
            json.dump(dict(file_entry_of(os.path.join(servers.payload, "p1.bin")), Sha256=digest.hexdigest()), f)
        entries["none"] = prefix.drive_c("none.json")
        with open(entries["none"], "w") as f:
            json.dump({}, f)
        dest = prefix.drive_c("bench.bin")

        def run(arch, *args, may_fail=False):
            proc = prefix.wine([programs[arch], *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, timeout=900)
            out = dict(line.split(": ", 1) for line in proc.stdout.decode().splitlines() if ": " in line)
            if proc.returncode != 0 or "seconds" not in out:
                if may_fail:
                    return None
                raise SystemExit(f"bench: {arch} {' '.join(args)} failed: {proc.stdout.decode()}")
            if os.path.exists(dest):
                os.remove(dest)
            return out

        def start_up(arch):
            started = time.monotonic()
            result = tevharness.run_launcher(os.path.join(build, "x64"), prefix, "/q", hidden=True,
                                             launcher=launchers[arch])
            if result.exit_code != 0:
                raise SystemExit(f"bench: the {arch} launcher's start-up ended with {result.exit_code}: "
                                 f"{result.log_text}")
            return time.monotonic() - started

        win = lambda path: tevharness.windows_path(prefix, path)  # noqa: E731
        url = servers.url("p1.bin")
        times = {arch: {"tev": [], "bare8k": [], "bare1m": [], "dialog": [], "dialog-still": [], "sha": [],
                        "start-up": []} for arch, _, _ in BUILDS}
        ratios5 = {arch: {"none": [], "p5": []} for arch, _, _ in BUILDS}
        for _ in range(ROUNDS):
            for arch, _, _ in BUILDS:
                mine = times[arch]
                mine["tev"].append(float(run(arch, "tev", url, win(dest), win(entries["p1"]))["seconds"]))
                mine["sha"].append(float(run(arch, "tev", url, win(dest), win(entries["p1sha"]))["seconds"]))
                mine["bare8k"].append(float(run(arch, "bare", "8192", url, win(dest))["seconds"]))
                mine["bare1m"].append(float(run(arch, "bare", "1048576", url, win(dest))["seconds"]))
                for mode in ("dialog", "dialog-still"):
                    mine[mode].append(float(run(arch, mode, url, win(dest), win(entries["p1"]))["seconds"]))
                for entry in ratios5[arch]:
                    # Wine's MsiGetFileHashW maps the whole file: in a 32-bit process a 1 GiB file
                    # does not fit (1627), and VerifyFile fails there.
                    out = run(arch, "tev", servers.url("p5.bin"), win(dest), win(entries[entry]), may_fail=entry == "p5")
                    if out:
                        before, peak = map(int, out["working-set"].split())
                        ratios5[arch][entry].append(peak / before)
                mine["start-up"].append(start_up(arch))
        m = {arch: {k: statistics.median(v) for k, v in times[arch].items()} for arch in times}
        p5 = {arch: {k: statistics.median(v) if v else None for k, v in ratios5[arch].items()} for arch in ratios5}
        ratio = lambda value: "failed (MsiGetFileHashW: 1627)" if value is None else f"{value:.3f}"  # noqa: E731
        cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
        print(f"machine: {os.cpu_count()} cores ({os.sched_getaffinity(0).__len__()} usable), {cpu}; "
              f"wine64 (WoW64 prefix), loopback nginx; median of {ROUNDS} interleaved runs; "
              f"each line: i686 (the shipped build/x86) | x64 (the twin), both stripped")

        def both(figure):
            return " | ".join(f"{arch} {figure(arch)}" for arch, _, _ in BUILDS)

        print("P1 DownloadFile+VerifyFile 256 MiB / bare loop 8 KiB reads (goal <= 1.05): " + both(
            lambda a: f"{m[a]['tev'] / m[a]['bare8k']:.3f} ({m[a]['tev']:.3f} s / {m[a]['bare8k']:.3f} s)"))
        print("   same / bare loop 1 MiB reads: " + both(
            lambda a: f"{m[a]['tev'] / m[a]['bare1m']:.3f} ({m[a]['bare1m']:.3f} s)"))
        print("P5 peak working set during a 1 GiB download / before it (goal <= 1.2): " + both(
            lambda a: f"{ratio(p5[a]['none'])}, with VerifyFile {ratio(p5[a]['p5'])}"))
        print("P2 the same acquisition under the progress dialog / without it (goal <= 1.02): " + both(
            lambda a: f"{m[a]['dialog'] / m[a]['tev']:.3f} ({m[a]['dialog']:.3f} s / {m[a]['tev']:.3f} s)"))
        print("   the dialog with its bar left still / without it: " + both(
            lambda a: f"{m[a]['dialog-still'] / m[a]['tev']:.3f}"))
        print("Sha256 the P1 acquisition with \"Sha256\" checked too / without it: " + both(
            lambda a: f"{m[a]['sha'] / m[a]['tev']:.3f} ({m[a]['sha']:.3f} s / {m[a]['tev']:.3f} s)"))
        print("start-up a signed launcher's hidden run with nothing to install: " + both(
            lambda a: f"{m[a]['start-up']:.3f} s"))
        print("i686 / x64: " + ", ".join(f"{name} {m['i686'][k] / m['x64'][k]:.3f}" for name, k in (
            ("P1 acquisition", "tev"), ("bare 8 KiB loop", "bare8k"), ("under the dialog", "dialog"),
            ("with Sha256", "sha"), ("start-up", "start-up"))))


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1]))
