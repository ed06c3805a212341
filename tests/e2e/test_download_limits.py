"""Downloads that end, in whole runs under Wine: a body that never ends stops at the file's "Size", a
server that never answers ends a hidden run within the launcher's own limits, and the dialog's
Cancel ends a request that waits for such a server at once."""
import os
import time
import unittest

from chain import CANCELLED, DOWNLOAD_FAILED, ChainTestCase, program
from reliability import describe_cache


class DownloadLimitsTest(ChainTestCase):
    @classmethod
    def payloads(cls):
        cls.PROGRAM = program()
        return {}

    def assertNothingLeft(self):
        after = describe_cache(self.cache("pkg"), {"pkg.exe": self.PROGRAM})
        self.assertNotIn("partial", after)
        self.assertNotIn("unverified", after)

    def test_hidden_run_stops_a_body_that_never_ends_at_its_size(self):
        url = self.servers.fault.url("/endless")
        result = self.run_chain([self.exe("pkg", "0", url=url)], hidden=True)
        self.assertEqual((result.exit_code, result.dialogs), (DOWNLOAD_FAILED, []), result.log_text)
        self.assertIn(f"Download stopped: the body goes on past the {len(self.PROGRAM)} bytes expected( {url} )",
                      result.log_text)
        self.assertEqual(self.started(), [])
        self.assertNothingLeft()

    def test_hidden_run_ends_when_the_server_never_answers(self):
        url = self.servers.fault.url("/silent")
        start = time.monotonic()
        result = self.run_chain([self.exe("pkg", "0", url=url)], hidden=True, timeout=300)
        took = time.monotonic() - start
        self.assertEqual((result.exit_code, result.dialogs), (DOWNLOAD_FAILED, []), result.log_text)
        self.assertIn(f"Download stopped: no response from the server within 60 s( {url} )", result.log_text)
        self.assertIn("ファイルのダウンロードに失敗しました(12002)", result.log_text)
        print(f"a hidden run against a server that never answers ended after {took:.0f} s")
        self.assertLess(took, 180)
        self.assertNothingLeft()

    def test_cancel_ends_a_request_the_server_never_answers_at_once(self):
        url = self.servers.fault.url("/silent")
        start = time.monotonic()
        # Cancel four seconds into the run, while the request waits for its answer.
        result = self.run_chain([self.exe("pkg", "0", url=url)], answers=["cancel+4000@の準備を行っています", "yes"])
        took = time.monotonic() - start
        self.assertEqual(result.exit_code, CANCELLED, result.output + result.log_text)
        lines = [line.split("]", 1)[-1] for line in result.log_text.splitlines()]
        downloading = next(i for i, line in enumerate(lines) if line.startswith("Downloading...") and url in line)
        self.assertGreater(lines.index("Cancel: the user stopped the setup"), downloading, result.log_text)
        # The server's limit is 60 s: a run that waited for it would have taken longer.
        print(f"the cancelled run ended after {took:.0f} s")
        self.assertLess(took, 40)
        self.assertEqual(self.started(), [])
        self.assertNothingLeft()


if __name__ == "__main__":
    unittest.main()
