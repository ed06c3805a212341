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
Each figure is the median of ROUNDS interleaved runs."""
import hashlib
import json
import os
import statistics
import subprocess
import sys

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


def main(build: str):
    program = os.path.join(build, "x64", "bench", "download", "download_bench.exe")
    with Servers() as servers, tevharness.Prefix(build) as prefix:
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

        def run(*args):
            proc = prefix.wine([program, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, timeout=900)
            out = dict(line.split(": ", 1) for line in proc.stdout.decode().splitlines() if ": " in line)
            if proc.returncode != 0 or "seconds" not in out:
                raise SystemExit(f"bench: {' '.join(args)} failed: {proc.stdout.decode()}")
            if os.path.exists(dest):
                os.remove(dest)
            return out

        win = lambda path: tevharness.windows_path(prefix, path)  # noqa: E731
        url = servers.url("p1.bin")
        times = {"tev": [], "bare8k": [], "bare1m": [], "dialog": [], "dialog-still": [], "sha": []}
        ratios5 = {"none": [], "p5": []}
        for _ in range(ROUNDS):
            times["tev"].append(float(run("tev", url, win(dest), win(entries["p1"]))["seconds"]))
            times["sha"].append(float(run("tev", url, win(dest), win(entries["p1sha"]))["seconds"]))
            times["bare8k"].append(float(run("bare", "8192", url, win(dest))["seconds"]))
            times["bare1m"].append(float(run("bare", "1048576", url, win(dest))["seconds"]))
            for mode in ("dialog", "dialog-still"):
                times[mode].append(float(run(mode, url, win(dest), win(entries["p1"]))["seconds"]))
            for entry in ratios5:
                before, peak = map(int, run("tev", servers.url("p5.bin"), win(dest), win(entries[entry]))
                                   ["working-set"].split())
                ratios5[entry].append(peak / before)
        median = {k: statistics.median(v) for k, v in times.items()}
        cpu = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
        print(f"machine: {os.cpu_count()} cores ({os.sched_getaffinity(0).__len__()} usable), {cpu}; "
              f"wine64, loopback nginx; median of {ROUNDS} interleaved runs")
        print(f"P1 DownloadFile+VerifyFile 256 MiB / bare loop 8 KiB reads: {median['tev'] / median['bare8k']:.3f} "
              f"(goal <= 1.05; {median['tev']:.3f} s / {median['bare8k']:.3f} s)")
        print(f"   same / bare loop 1 MiB reads: {median['tev'] / median['bare1m']:.3f} ({median['bare1m']:.3f} s)")
        print(f"P5 peak working set during a 1 GiB download / before it: {statistics.median(ratios5['none']):.3f} "
              f"(goal <= 1.2); with VerifyFile: {statistics.median(ratios5['p5']):.3f}")
        print(f"P2 the same acquisition under the progress dialog / without it: "
              f"{median['dialog'] / median['tev']:.3f} (goal <= 1.02; {median['dialog']:.3f} s / {median['tev']:.3f} s)")
        print(f"   the dialog with its bar left still / without it: {median['dialog-still'] / median['tev']:.3f}")
        print(f"Sha256 the P1 acquisition with \"Sha256\" checked too / without it: "
              f"{median['sha'] / median['tev']:.3f} ({median['sha']:.3f} s / {median['tev']:.3f} s)")


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1]))
