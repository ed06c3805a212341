#!/usr/bin/python3
"""Copies a Wine prefix cheaply: files are hard links to the template's, except the registry
files, which wineserver rewrites and which must therefore be real copies. Wine replaces files it
changes (registry saves go through a new file), so the template is never written through a link."""
import os
import shutil
import sys

COPIED = {"system.reg", "user.reg", "userdef.reg", ".update-timestamp"}


def clone_prefix(template: str, dest: str) -> None:
    for root, dirs, files in os.walk(template):
        rel = os.path.relpath(root, template)
        target = os.path.join(dest, rel) if rel != "." else dest
        os.makedirs(target, exist_ok=True)
        for d in dirs:
            src = os.path.join(root, d)
            if os.path.islink(src):
                os.symlink(os.readlink(src), os.path.join(target, d))
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(root, d))]
        for f in files:
            src, dst = os.path.join(root, f), os.path.join(target, f)
            if os.path.islink(src):
                os.symlink(os.readlink(src), dst)
            elif f in COPIED or not os.access(src, os.R_OK):
                shutil.copy2(src, dst)
            else:
                os.link(src, dst)


if __name__ == "__main__":
    clone_prefix(sys.argv[1], sys.argv[2])
