"""The downloader against real servers under Wine: nginx over HTTP and HTTPS (a throw-away CA
trusted in the prefix), and the fault server for what nginx will not do on request (cut
connections, slow bodies, a record of the requests). downloadwith.exe calls CDownloader and
prints what each call gave."""
import concurrent.futures
import json
import os
import signal
import subprocess
import time
import unittest

import tevharness
from e2e import BUILD, ServedTestCase
from faultserver import pattern
from servers import file_entry

DOWNLOADWITH = os.path.join(BUILD, "tests", "packages", "downloadwith.exe")
DOWNLOAD_FAILED = 0x80073CF5
NETWORK_HINT = "ネットワーク接続に問題がないか確認してください。"


def failed_message(code):
    return f"ファイルのダウンロードに失敗しました({code})\\n{NETWORK_HINT}"


def signed(code):
    return code - (1 << 32) if code >= 1 << 31 else code


class DownloadTest(ServedTestCase):
    PAYLOAD = os.urandom(300_000)
    BIG = os.urandom(64 << 20)

    @classmethod
    def payloads(cls):
        return {"payload.bin": cls.PAYLOAD, "big.bin": cls.BIG}

    def setUp(self):
        self.folder = self.prefix.drive_c("dl", self._testMethodName)
        os.makedirs(self.folder, exist_ok=True)
        self.servers.fault.requests.clear()

    def path(self, name):
        """The Windows path of `name` in this test's folder."""
        return tevharness.windows_path(self.prefix, os.path.join(self.folder, name))

    def local(self, name):
        return os.path.join(self.folder, name)

    def entry(self, entry):
        path = self.local(f"entry{len(os.listdir(self.folder))}.json")
        with open(path, "w") as f:
            json.dump(entry, f)
        return tevharness.windows_path(self.prefix, path)

    def download(self, *args, prefix=None):
        proc = (prefix or self.prefix).wine([DOWNLOADWITH, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                            stderr=subprocess.PIPE, timeout=300)
        output = proc.stdout.decode("utf-8", errors="replace")
        self.assertEqual(proc.returncode, 0, output + proc.stderr.decode(errors="replace"))
        return output.splitlines()

    def lines(self, output, kind):
        return [line[len(kind) + 2:] for line in output if line.startswith(kind + ": ")]

    def assertNoFileLeft(self, name):
        self.assertEqual([f for f in os.listdir(self.folder) if f.startswith(name)], [])

    def test_http_and_https_bodies_arrive_whole_and_verified(self):
        for scheme, https in (("http", False), ("https", True)):
            with self.subTest(scheme):
                url = self.servers.url("payload.bin", https=https)
                out = self.download("--progress", "file", url, self.path(scheme + ".bin"),
                                    self.entry(file_entry(self.PAYLOAD)))
                self.assertEqual(self.lines(out, "result"), ["0"], out)
                with open(self.local(scheme + ".bin"), "rb") as f:
                    self.assertEqual(f.read(), self.PAYLOAD)
                self.assertEqual(self.lines(out, "log"), [f"Downloading...{url} -> {self.path(scheme + '.bin')}",
                                                          f"Download Size:{len(self.PAYLOAD)}"])
                # The bar moves by exactly the bytes received.
                self.assertEqual(self.lines(out, "progress")[0].split()[0], str(len(self.PAYLOAD)))
                self.assertNoFileLeft(scheme + ".bin.tevpart")

    def test_http_error_fails_the_download_and_leaves_no_file(self):
        url = self.servers.fault.url("/status/404")
        out = self.download("stream", url, self.path("stream.bin"), "file", url,
                            self.path("sub\\404.bin"), "-")
        self.assertEqual(self.lines(out, "result"), ["404"], out)
        self.assertEqual(self.lines(out, "exception"), [f"0x{DOWNLOAD_FAILED:08X} {failed_message(404)}"])
        self.assertFalse(os.path.exists(self.local("sub/404.bin")))
        self.assertEqual(os.listdir(self.local("sub")), [])  # no partial file either

    def test_failure_logs_the_code_and_message_with_a_dialog(self):
        url = self.servers.fault.url("/status/503")
        out = self.download("--progress", "file", url, self.path("a.bin"), "-")
        self.assertIn(f"Fail Download.\\nErrorCode={DOWNLOAD_FAILED}(0x{DOWNLOAD_FAILED:08X}(15605)\\n"
                      f"Message={failed_message(503)}", self.lines(out, "log"))

    def test_file_that_arrives_wrong_is_refused_without_message(self):
        good = file_entry(self.PAYLOAD)
        for name, entry in (("size", dict(good, Size=len(self.PAYLOAD) + 1)),
                            ("hash", dict(good, Hash=[good["Hash"][0] ^ 1] + good["Hash"][1:]))):
            with self.subTest(name):
                out = self.download("file", self.servers.url("payload.bin"), self.path(name + ".bin"),
                                    self.entry(entry))
                self.assertEqual(self.lines(out, "exception"), [f"0x{DOWNLOAD_FAILED:08X} "], out)
                self.assertNoFileLeft(name + ".bin")

    def test_body_cut_before_its_announced_length_is_a_failed_transfer(self):
        url = self.servers.fault.url("/cut/100000/40000")
        out = self.download("stream", url, self.path("cut-stream.bin"), "file", url, self.path("cut.bin"), "-")
        connection_error = 0x80072EFE  # ERROR_WINHTTP_CONNECTION_ERROR in its result form
        self.assertEqual(self.lines(out, "result"), [str(signed(connection_error))], out)
        self.assertEqual(self.lines(out, "exception"), [f"0x{DOWNLOAD_FAILED:08X} {failed_message(12030)}"])
        self.assertNoFileLeft("cut.bin")

    def test_chunked_body_announces_no_length_and_passes(self):
        out = self.download("file", self.servers.fault.url("/chunked/25000"), self.path("chunked.bin"),
                            self.entry(file_entry(pattern(25000))))
        self.assertEqual(self.lines(out, "result"), ["0"], out)

    def test_a_body_that_never_ends_stops_at_the_size_expected(self):
        url = self.servers.fault.url("/endless")
        out = self.download("file", url, self.path("endless.bin"), self.entry({"Size": 100000}),
                            "memory", url, self.path("endless.json"))
        # 15605 in its result form, without a message: a file that arrives wrong, as one that fails its check.
        self.assertEqual(self.lines(out, "exception"), [f"0x{DOWNLOAD_FAILED:08X} "] * 2, out)
        stopped = [line for line in self.lines(out, "log") if line.startswith("Download stopped")]
        self.assertEqual(stopped, [f"Download stopped: the body goes on past the 100000 bytes expected( {url} )",
                                   f"Download stopped: the body goes on past the {64 << 20} bytes expected( {url} )"])
        self.assertNoFileLeft("endless")

    def test_time_limits_end_a_silent_or_dripping_server_and_cancel_ends_a_blocked_call_at_once(self):
        """The launcher's own limits (60 s for the response's headers, a floor of 1 KiB/s over a
        minute), not the platform's defaults; the cases run side by side."""
        silent = self.servers.fault.url("/silent")
        drip = self.servers.fault.url("/slow/100000/20000")  # a byte every 20 s

        def timed(*args):
            start = time.monotonic()
            return self.download(*args), time.monotonic() - start

        with concurrent.futures.ThreadPoolExecutor() as pool:
            waits = pool.submit(timed, "stream", silent, self.path("silent.bin"))
            drips = pool.submit(timed, "stream", drip, self.path("drip.bin"))
            cancelled = pool.submit(timed, "--cancel-at-ms", "2000", "stream", silent, self.path("cancelled.bin"),
                                    "file", silent, self.path("cancelled-file.bin"), "-")
            (out, took), (drip_out, drip_took), (cancel_out, cancel_took) = (
                waits.result(), drips.result(), cancelled.result())
        timeout = str(signed(0x80072EE2))  # ERROR_WINHTTP_TIMEOUT in its result form
        self.assertEqual(self.lines(out, "result"), [timeout], out)
        self.assertIn(f"Download stopped: no response from the server within 60 s( {silent} )", self.lines(out, "log"))
        self.assertLess(took, 120, out)
        self.assertEqual(self.lines(drip_out, "result"), [timeout], drip_out)
        self.assertRegex("\n".join(self.lines(drip_out, "log")),
                         r"Download stopped: \d bytes in the last 60 s, below the floor of 1024 bytes per second")
        self.assertLess(drip_took, 120, drip_out)
        # Cancelled two seconds in, while the request waits for headers that never come.
        self.assertEqual(self.lines(cancel_out, "result"), [str(signed(0x80070642))], cancel_out)
        self.assertEqual(self.lines(cancel_out, "exception"), [f"0x{DOWNLOAD_FAILED:08X} {failed_message(1602)}"])
        self.assertLess(cancel_took, 20, cancel_out)
        self.assertNoFileLeft("cancelled-file")

    def test_request_is_a_get_of_the_path_alone_with_the_launchers_user_agent(self):
        self.servers.fault.bodies["/manifest.json"] = b"{}"
        out = self.download("stream", self.servers.fault.url("/manifest.json?version=2&x=y#top"), self.path("m"))
        self.assertEqual(self.lines(out, "result"), ["0"], out)
        [request] = self.servers.fault.requests
        self.assertEqual(request.line, "GET /manifest.json HTTP/1.1")
        self.assertEqual(request.headers.get("User-Agent"), "TevLauncher/1.0")

    def test_two_ports_on_one_host_reach_their_own_servers(self):
        self.servers.fault.bodies["/payload.bin"] = b"the fault server's own body"
        out = self.download("stream", self.servers.url("payload.bin"), self.path("nginx.bin"),
                            "stream", self.servers.fault.url("/payload.bin"), self.path("fault.bin"),
                            "stream", self.servers.url("payload.bin"), self.path("nginx-again.bin"))
        self.assertEqual(self.lines(out, "result"), ["0", "0", "0"], out)
        for name, body in (("nginx.bin", self.PAYLOAD), ("fault.bin", b"the fault server's own body"),
                           ("nginx-again.bin", self.PAYLOAD)):
            with open(self.local(name), "rb") as f:
                self.assertEqual(f.read(), body, name)

    def test_cancelling_during_a_slow_body(self):
        url = self.servers.fault.url("/slow/400/10")
        out = self.download("--cancel-after", "20", "file", url, self.path("slow.bin"), "-")
        self.assertEqual(self.lines(out, "exception")[0], f"0x{DOWNLOAD_FAILED:08X} {failed_message(1602)}", out)
        self.assertNoFileLeft("slow.bin")
        out = self.download("--cancel-after", "20", "stream", url, self.path("slow-stream.bin"))
        self.assertEqual(self.lines(out, "result"), [str(signed(0x80070642))], out)

    def test_one_byte_reads_move_the_bar_only_after_each_write(self):
        out = self.download("--progress", "stream", self.servers.fault.url("/slow/30/20"), self.path("bytes.bin"))
        self.assertEqual(self.lines(out, "result"), ["0"], out)
        self.assertEqual(self.lines(out, "progress"), ["30 0"])  # 30 units, never ahead of the bytes written

    def test_a_failing_write_ends_the_download_with_its_code(self):
        out = self.download("--write-fails", "stream", self.servers.url("payload.bin"), self.path("w.bin"))
        self.assertEqual(self.lines(out, "result"), [str(signed(0x80030070))], out)  # STG_E_MEDIUMFULL

    def test_download_to_memory(self):
        status_url = self.servers.fault.url("/status/403")
        out = self.download("memory", self.servers.url("payload.bin", https=True), self.path("memory.bin"),
                            "memory", status_url, self.path("memory-403.bin"),
                            "memory", self.servers.fault.url("/cut/1000/10"), self.path("memory-cut.bin"))
        self.assertEqual(self.lines(out, "result"), ["0"], out)
        with open(self.local("memory.bin"), "rb") as f:
            self.assertEqual(f.read(), self.PAYLOAD)
        self.assertEqual(self.lines(out, "exception"),
                         [f"0x00003CF5 ファイルのダウンロードに失敗しました(403)\\n{status_url}",
                          "0x80072EFE "])  # a transport failure keeps its own code, without a message

    def test_failed_download_leaves_the_earlier_destination_as_it_was(self):
        with open(self.local("kept.bin"), "wb") as f:
            f.write(b"the earlier copy")
        with open(self.local("kept.bin.tevpart"), "wb") as f:
            f.write(b"left by a killed run")
        self.download("file", self.servers.fault.url("/status/404"), self.path("kept.bin"), "-")
        with open(self.local("kept.bin"), "rb") as f:
            self.assertEqual(f.read(), b"the earlier copy")
        self.assertFalse(os.path.exists(self.local("kept.bin.tevpart")))
        out = self.download("file", self.servers.url("payload.bin"), self.path("kept.bin"),
                            self.entry(file_entry(self.PAYLOAD)))
        self.assertEqual(self.lines(out, "result"), ["0"], out)
        with open(self.local("kept.bin"), "rb") as f:
            self.assertEqual(f.read(), self.PAYLOAD)

    def test_killed_download_leaves_no_half_file_and_the_next_run_recovers(self):
        dest, partial = self.local("big.bin"), self.local("big.bin.tevpart")
        entry = self.entry(file_entry(self.BIG))
        # The downloader's own process: killing it kills the download.
        proc = subprocess.Popen(self.prefix.command([DOWNLOADWITH, "file", self.servers.url("slow/big.bin"),
                                                     self.path("big.bin"), entry]), env=tevharness.wine_env(self.prefix.path),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline and (not os.path.exists(partial) or os.path.getsize(partial) < 4 << 20):
            time.sleep(0.1)
        os.kill(proc.pid, signal.SIGKILL)
        proc.wait()
        time.sleep(1)
        self.assertFalse(os.path.exists(dest))
        self.assertTrue(0 < os.path.getsize(partial) < len(self.BIG), "the run was not killed mid-way")

        out = self.download("file", self.servers.url("big.bin"), self.path("big.bin"), entry)
        self.assertEqual(self.lines(out, "result"), ["0"], out)
        self.assertFalse(os.path.exists(partial))
        with open(dest, "rb") as f:
            self.assertEqual(f.read(), self.BIG)

    def test_https_server_of_an_untrusted_authority_is_refused(self):
        with tevharness.Prefix(BUILD) as untrusted:
            out = self.download("stream", self.servers.url("payload.bin", https=True), "C:\\refused.bin",
                                prefix=untrusted)
        # Wine's WinHTTP finds the invalid authority (12045) and reports the handshake as failed
        # (ERROR_WINHTTP_SECURE_CHANNEL_ERROR); either way no body is written.
        self.assertIn(self.lines(out, "result"), [[str(signed(0x80072F7D))], [str(signed(0x80072F0D))]], out)


if __name__ == "__main__":
    unittest.main()
