"""A launcher that dies of an exception: its last log lines name the exception, its exit code is the
exception code, and the harness reports the crash, so that no test can pass over one. The faults
are met by crashwith.exe, which carries the launcher's application object and crash report."""
import os
import time
import unittest

import tevharness
from e2e import ARCH, BUILD, LauncherTestCase

CRASHWITH = os.path.join(BUILD, "tests", "e2e", "crashwith.exe")
STACK_OVERFLOW, ACCESS_VIOLATION, UNHANDLED_EXCEPTION = 0xC00000FD, 0xC0000005, 0xC0000144
# A code address is written with all the digits of a pointer of the build: 8 (i686) or 16 (x64).
ADDRESS_DIGITS = 8 if ARCH == "i686" else 16


def signed(code):
    return code - (1 << 32) if code >= 1 << 31 else code


class CrashReportTest(LauncherTestCase):
    def crash(self, fault):
        return tevharness.run_launcher(BUILD, self.prefix, fault, launcher=CRASHWITH, timeout=60)

    def assertLastLines(self, result, *patterns):
        lines = result.log_text.splitlines()
        self.assertGreaterEqual(len(lines), len(patterns), result.logs)
        for line, pattern in zip(lines[-len(patterns):], patterns):
            self.assertRegex(line, r"^\[\d{4}(-\d\d){5}\]" + pattern + "$")

    def test_exception_is_logged_and_becomes_the_exit_code(self):
        for fault, code in (("stack-overflow", STACK_OVERFLOW), ("access-violation", ACCESS_VIOLATION),
                            ("worker-stack-overflow", STACK_OVERFLOW),
                            ("worker-access-violation", ACCESS_VIOLATION)):
            with self.subTest(fault):
                result = self.crash(fault)
                self.assertEqual(result.exit_code, code, result.output)
                self.assertIn(f"crash: exception 0x{code:08X}", result.output)
                self.assertEqual(result.crash, f"exception 0x{code:08X}")
                self.assertEqual(len(result.logs), 1, result.logs)
                self.assertRegex(list(result.logs)[0], r"\\TevLauncher_[-0-9]+(\([0-9]+\))?\.log$")
                self.assertLastLines(result, "crashwith " + fault,
                                     f"Unhandled exception 0x{code:08X} at 0x[0-9A-F]{{{ADDRESS_DIGITS}}}; the run ends",
                                     rf"ExitCode={signed(code)}\(0x{code:08X}\)")

    def test_fault_with_the_log_locked_still_ends_with_its_code_in_a_few_seconds(self):
        start = time.monotonic()
        result = self.crash("fault-while-logging")
        self.assertLess(time.monotonic() - start, 30)
        self.assertEqual(result.exit_code, ACCESS_VIOLATION, result.output)
        self.assertEqual(result.crash, f"exception 0x{ACCESS_VIOLATION:08X}")
        self.assertEqual(result.logs, {})  # the writer that faulted is the only one

    def test_launch_thread_gone_without_the_process_ends_the_run(self):
        result = self.crash("launch-thread-ends")
        self.assertEqual(result.exit_code, UNHANDLED_EXCEPTION, result.output)
        self.assertLastLines(result, "crashwith launch-thread-ends",
                             r"The launch thread ended without ending the run \(thread exit code 1\); the run ends",
                             rf"ExitCode={signed(UNHANDLED_EXCEPTION)}\(0x{UNHANDLED_EXCEPTION:08X}\)")

    def test_harness_finds_a_crash_nobody_reported_in_what_wine_prints(self):
        for fault, wine_says in (("unreported-stack-overflow", "err:virtual:virtual_setup_exception stack overflow"),
                                 ("unreported-access-violation", "wine: Unhandled page fault on write access")):
            with self.subTest(fault):
                result = self.crash(fault)
                self.assertIn(wine_says, result.crash or "", result.output)
                self.assertEqual(result.logs, {})

    def test_a_crash_fails_the_test_that_meets_it(self):
        with self.assertRaises(self.failureException) as raised:
            self.run_launcher("access-violation", launcher=CRASHWITH)
        self.assertIn(f"crash: exception 0x{ACCESS_VIOLATION:08X}", str(raised.exception))


if __name__ == "__main__":
    unittest.main()
