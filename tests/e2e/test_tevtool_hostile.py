"""tevtool against what someone else built: launchers whose manifest names files outside the
chosen folder, manifests whose values hold JSON's own punctuation, and launcher images cut short or
pointing outside themselves. Each is refused with exit code 1 or 2 and a message naming its cause;
nothing is written outside the chosen folder, the inputs stay as they were, and nothing crashes."""
import hashlib
import json
import os
import struct
import subprocess
import tempfile
import unittest

import tevharness
from e2e import BUILD, LauncherTestCase

TEVTOOL = os.path.join(BUILD, "tevtool.exe")
LAUNCHER = os.path.join(BUILD, "TevLauncher.exe")
ESCAPING = ["..\\escaped.exe", "../escaped.exe", "..\\..\\..\\..\\tmp\\x.exe", "pkg.exe:stream"]


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Image:
    """The fields of a PE image that the hostile shapes change."""

    def __init__(self, data: bytes):
        self.data = bytearray(data)
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        sections, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.directories = optional + (96 if magic == 0x10B else 112)
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            name, vsize, va, rsize, raw = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode(), va, max(vsize, rsize), raw))

    def directory_at(self, index):
        return self.directories + 8 * index

    def file_offset(self, rva):
        for _, va, size, raw in self.sections:
            if va <= rva < va + size:
                return raw + rva - va
        raise ValueError(hex(rva))

    def resource_root(self):
        return self.file_offset(struct.unpack_from("<I", self.data, self.directory_at(2))[0])

    def section_raw(self, name):
        return next(raw for n, _, _, raw in self.sections if n == name)

    def put32(self, at, value):
        struct.pack_into("<I", self.data, at, value)


def cut(size):
    return lambda image: image.data[:size]


def patched(change):
    def apply(image):
        change(image)
        return image.data
    return apply


SHAPES = [
    # (case, how the launcher is changed, what the message says)
    ("cut to its first MiB", cut(1 << 20), "cannot be stamped: it is cut short: section"),
    ("cut to half", lambda image: image.data[:len(image.data) // 2], "cannot be stamped: it is cut short: section"),
    ("a resource table claiming 0xFFFF entries",
     patched(lambda image: struct.pack_into("<H", image.data, image.resource_root() + 14, 0xFFFF)),
     "entries, more than the resource directory holds"),
    ("a resource tree that loops",  # the first type's table is the root table itself
     patched(lambda image: image.put32(image.resource_root() + 16 + 4, 0x80000000)),
     "the resource tree loops"),
    ("a certificate entry pointing into .text",
     patched(lambda image: (image.put32(image.directory_at(4), image.section_raw(".text") + 0x10),
                            image.put32(image.directory_at(4) + 4, 62))),
     "its certificate table entry (offset 0x"),
    ("a certificate entry of size 0xFFFFFFFF",
     patched(lambda image: (image.put32(image.directory_at(4), len(image.data)),
                            image.put32(image.directory_at(4) + 4, 0xFFFFFFFF))),
     "size 0xFFFFFFFF) reaches past the file's end"),
    ("a resource directory pointing past the file",
     patched(lambda image: image.put32(image.directory_at(2), 0x7FFFFFF0)),
     "its resource directory (address 0x7FFFFFF0"),
]


class TevtoolHostileTest(LauncherTestCase):
    def setUp(self):
        # The work folder inside a folder of the test's own, so that what a name escaping the layout
        # would write shows there (the temporary folder is shared with the suites running beside).
        self.root = tempfile.mkdtemp(prefix="tevhostile-")
        self.work = os.path.join(self.root, "work")
        os.makedirs(self.work)

    def tevtool(self, *args):
        proc = self.prefix.wine([tevharness.z_path(TEVTOOL), *args], stdin=subprocess.DEVNULL,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return proc.returncode, proc.stdout.decode("utf-8"), proc.stderr.decode("utf-8", errors="replace")

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def write(self, name, text):
        with open(self.path(name), "w", encoding="utf-8") as f:
            f.write(text)
        return self.path(name)

    def manifest(self, names):
        return json.dumps({"LaunchPackage": {"DisplayName": "Hostile"}, "LaunchList": [
            {"ExePackage": {"Id": f"p{i}", "InstallCommand": "0",
                            "ExecuteFile": {"Name": name, "Size": 1, "DownloadUrl": "http://127.0.0.1:9/x.exe"}}}
            for i, name in enumerate(names)]}, indent=1)

    def assertNothingOutside(self, before):
        """The work folder and the test's own folder hold what they held before: nothing escaped."""
        self.assertEqual(sorted(os.listdir(self.work)), before)
        self.assertEqual(os.listdir(self.root), ["work"])
        self.assertFalse(os.path.exists("/tmp/x.exe"))

    def test_layout_and_from_refuse_names_that_leave_their_folder(self):
        z = tevharness.z_path
        launcher = self.path("Hostile.exe")
        manifest = self.write("m.json", self.manifest(ESCAPING))
        code, _, err = self.tevtool("stamp", "--force", z(LAUNCHER), z(manifest), z(launcher))
        self.assertEqual(code, 0, err)
        source = self.path("from")
        os.makedirs(source)
        before = sorted(os.listdir(self.work))
        for extra in ([], ["--from", z(source)]):
            with self.subTest(extra=extra):
                layout = self.path("layout")
                code, out, err = self.tevtool("layout", z(launcher), z(layout), *extra)
                self.assertEqual((code, out), (1, ""), err)
                for name in ESCAPING:
                    self.assertIn(f'error: the file name {json.dumps(name)} cannot be used: ', err)
                self.assertRegex(err, r"Hostile\.exe:\d+:\d+: error:")
                self.assertFalse(os.path.exists(layout), "a refused layout was begun")
                self.assertNothingOutside(before)

    def test_fill_refuses_names_that_leave_their_folder_and_writes_nothing(self):
        z = tevharness.z_path
        os.makedirs(self.path("payload"))
        with open(self.path("escaped.exe"), "wb") as f:
            f.write(b"a file outside the payload folder")
        for name, reason in ((ESCAPING[0], 'climbs out of its folder with ".."'),
                             (ESCAPING[3], 'holds the character ":"'),
                             ("a.exe.", "ends with a dot or a blank"),
                             ("a\0b.exe", "holds a control character")):
            with self.subTest(name=name):
                manifest = self.write("m.json", self.manifest([name]))
                output = self.path("out.json")
                code, _, err = self.tevtool("fill", z(manifest), z(self.path("payload")), "-o", z(output))
                self.assertEqual(code, 2, err)
                self.assertRegex(err, r"m\.json:\d+:\d+: error: the file name .* cannot be used: ")
                self.assertIn(reason, err)
                self.assertFalse(os.path.exists(output))

    def test_fill_replaces_whole_values_whatever_they_hold(self):
        z = tevharness.z_path
        os.makedirs(self.path("payload"))
        with open(self.path("payload", "a.exe"), "wb") as f:
            f.write(b"payload")
        for old in ('"1, 2"', '"]"', '"}"', '"a b"', '[1, "]", {"x": "}"}]', "-12", "null"):
            with self.subTest(old=old):
                text = ('{"LaunchPackage": {"DisplayName": "X"}, "LaunchList": [{"ExePackage": {"Id": "a", '
                        '"ExecuteFile": {"Name": "a.exe", "Size": ' + old + ', "Hash": ' + old + ', "Sha256": ' +
                        old + ', "Tail": "kept"}}}]}')
                manifest = self.write("m.json", text)
                output = self.path("out.json")
                code, _, err = self.tevtool("fill", z(manifest), z(self.path("payload")), "-o", z(output))
                self.assertEqual(code, 0, err)
                with open(output, encoding="utf-8") as f:
                    filled = json.loads(f.read())  # a strict parser: the output is JSON
                entry = filled["LaunchList"][0]["ExePackage"]["ExecuteFile"]
                self.assertEqual((entry["Size"], entry["Sha256"], entry["Tail"]),
                                 (7, hashlib.sha256(b"payload").hexdigest(), "kept"))
                self.assertEqual(len(entry["Hash"]), 4)

    def test_stamp_refuses_launchers_it_cannot_read_whole(self):
        z = tevharness.z_path
        manifest = self.write("m.json", self.manifest(["a.exe"]))
        with open(LAUNCHER, "rb") as f:
            original = f.read()
        for case, change, said in SHAPES:
            with self.subTest(case):
                broken = self.path("broken.exe")
                with open(broken, "wb") as f:
                    f.write(bytes(change(Image(original))))
                before = digest(broken)
                output = self.path("out.exe")
                code, _, err = self.tevtool("stamp", "--force", z(broken), z(manifest), z(output))
                self.assertEqual(code, 2, err)
                self.assertIn(said, err)
                self.assertFalse(os.path.exists(output))
                self.assertFalse(os.path.exists(output + ".tevpart"))
                self.assertEqual(digest(broken), before)

    def test_stamp_refuses_an_output_that_is_an_input(self):
        z = tevharness.z_path
        manifest = self.write("m.json", self.manifest(["a.exe"]))
        launcher = self.path("launcher.exe")
        with open(LAUNCHER, "rb") as f, open(launcher, "wb") as out:
            out.write(f.read())
        before = (digest(launcher), digest(manifest))
        for args in ((z(launcher), z(manifest), z(manifest)), (z(launcher), z(manifest), z(launcher)),
                     ("--remove", z(launcher), z(launcher)),
                     (z(launcher), z(manifest), z(self.path(".", "M.JSON")))):
            with self.subTest(args=args):
                code, _, err = self.tevtool("stamp", *args)
                self.assertEqual(code, 2, err)
                self.assertIn("is one of the inputs" if "--remove" not in args else "is the input", err)
                self.assertEqual((digest(launcher), digest(manifest)), before)

    def test_messages_are_whole_and_name_their_cause(self):
        z = tevharness.z_path
        manifest = self.write("m.json", self.manifest(["a\0b.exe"]))
        code, _, err = self.tevtool("lint", z(manifest))
        self.assertEqual(code, 1, err)
        self.assertIn('the file name "a\\u0000b.exe" escapes its folder or names another file: it holds a control '
                      "character", err)
        # NUL is the system's device in every folder: it is not read as a file, and the message says why
        # (Windows finds a device there, Wine no file at all).
        for verb in (("lint", "nul.json"), ("stamp", z(LAUNCHER), "nul.json", z(self.path("o.exe")))):
            with self.subTest(verb=verb[0]):
                code, _, err = self.tevtool(*verb)
                self.assertEqual(code, 2, err)
                self.assertRegex(err, r'cannot read "?nul\.json"?: (it is not a regular file \(a device|No such file)')


if __name__ == "__main__":
    unittest.main()
