#!/usr/bin/python3
"""./tev run [--arch i686|x64] [--prefix DIR] [--answer ok|cancel|yes|no]... [--hidden] [--manifest FILE] [--timeout S] -- ARGS...

Runs the i686 launcher (build/x86-test/TevLauncher.exe: the shipped configuration without the
signature requirement) or with --arch x64 its x86_64 twin under wine64 with ARGS joined by blanks as its argument text, exactly
as a user would type it at a command prompt (quote inside the words: 'A="hello world"'). Prints
each dialog the launcher opens with the answer given, then every log file it wrote in the
prefix's temporary folder, and last the line `exit code N`."""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tevharness  # noqa: E402

BUILDS = {"i686": "x86-test", "x64": "x64"}


def main() -> int:
    parser = argparse.ArgumentParser(prog="./tev run", description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, help=argparse.SUPPRESS)
    parser.add_argument("--arch", choices=sorted(BUILDS), default="i686", help="which build's launcher runs")
    parser.add_argument("--prefix", help="reuse this Wine prefix instead of a fresh copy of the template")
    parser.add_argument("--answer", action="append", default=[], choices=["ok", "cancel", "yes", "no"])
    parser.add_argument("--hidden", action="store_true", help="start the launcher hidden (SW_HIDE)")
    parser.add_argument("--manifest", help="run a copy of the launcher carrying this manifest")
    parser.add_argument("--timeout", type=int, default=300)
    parser.add_argument("args", nargs="*")
    options = parser.parse_args()

    build = os.path.join(options.build, BUILDS[options.arch])
    prefix = tevharness.Prefix(build, os.path.abspath(options.prefix) if options.prefix else None)
    try:
        result = tevharness.run_launcher(build, prefix, " ".join(options.args), options.answer,
                                         options.hidden, None, options.timeout,
                                         manifest=os.path.abspath(options.manifest) if options.manifest else None)
    except tevharness.StampError as error:
        print(f"tevtool stamp refused the manifest: {error}", file=sys.stderr)
        return 2
    finally:
        prefix.close()
    for dialog in result.dialogs:
        print(f"--- dialog \"{dialog.caption}\" ---")
        for text in dialog.texts:
            print(text)
        print(f"--- answered {dialog.answer.upper()} ---")
    for line in result.output.splitlines():
        if line.startswith("driver: "):
            print(line)
    if result.crash:
        print(f"crash: {result.crash}")
    for path, text in result.logs.items():
        print(f"--- log {path} ---")
        print(text, end="" if text.endswith("\n") else "\n")
    if not result.logs:
        print("--- no log file was written ---")
    print(f"exit code {result.exit_code if result.exit_code is not None else 'unknown'}")
    return 0 if result.exit_code is not None else 1


if __name__ == "__main__":
    sys.exit(main())
