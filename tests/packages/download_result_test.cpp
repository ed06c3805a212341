#include "download_result.h"

#include <gtest/gtest.h>

namespace Tevrian {
namespace {

TEST(ResultFromLastError, FailedCallsNeverReadAsSuccess) {
  struct Case {
    const char* name;
    std::uint32_t error;
    std::uint32_t result;
  } const kCases[] = {
      {"a Win32 error gets its result form", 12029, 0x80072EFD},
      {"only the low 16 bits are kept", 0x0001'2EFD, 0x80072EFD},
      {"a call that failed without an error is E_FAIL, not success", 0, 0x80004005},
      {"a result code stays as it is", 0x80090325, 0x80090325},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(static_cast<std::uint32_t>(ResultFromLastError(c.error)), c.result);
  }
}

}  // namespace
}  // namespace Tevrian
