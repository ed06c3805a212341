// Replays the JSONTestSuite parsing files (tests/json/data/json-test-suite). The reader is lenient,
// so acceptance is not the point: every file must end in an orderly way, and valid JSON must be
// read to its end as the value it starts with.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "json_describe.h"

namespace {

using namespace Tevrian::JSON;

struct SuiteFile {
  std::string name;
  std::string bytes;
};

std::vector<SuiteFile> ReadSuite() {
  std::vector<SuiteFile> files;
  for (const auto& entry : std::filesystem::directory_iterator(TEV_JSON_SUITE_DIR)) {
    std::ifstream in(entry.path(), std::ios::binary);
    files.push_back({entry.path().filename().string(),
                     std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>())});
  }
  return files;
}

// The kind a valid document's first byte announces.
JsonKind AnnouncedKind(const std::string& bytes) {
  const std::size_t first = bytes.find_first_not_of(" \t\r\n");
  switch (first == std::string::npos ? '\0' : bytes[first]) {
    case '{':
      return JsonKind::Object;
    case '[':
      return JsonKind::Array;
    case '"':
      return JsonKind::String;
    case 't':
    case 'f':
      return JsonKind::Boolean;
    case 'n':
      return JsonKind::Null;
    default:
      return JsonKind::Integer;
  }
}

TEST(JsonTestSuiteTest, EveryFileEndsInAnOrderlyWay) {
  const std::vector<SuiteFile> files = ReadSuite();
  ASSERT_EQ(files.size(), 318u) << "the copy of the JSONTestSuite files in " << TEV_JSON_SUITE_DIR << " is incomplete";
  for (const auto& file : files) {
    SCOPED_TRACE(file.name);
    const TevJsonTest::ExactText text(file.bytes);
    try {
      const JsonValue value = ParseJSON(text.View());
      if (file.name.starts_with("y_")) {
        EXPECT_EQ(value.Kind(), AnnouncedKind(file.bytes));
      }
    } catch (const BadAnyCast&) {
      EXPECT_FALSE(file.name.starts_with("y_")) << "valid JSON left an array open";
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "invalid string_view position");
      EXPECT_FALSE(file.name.starts_with("y_"));
    }
    if (file.name.starts_with("y_")) {
      std::string rest = "(no end)";
      ParseDocument(text.View(), [&](NotificationId id, std::string_view view) {
        if (id == NotificationId::EndDocument) rest = view;
        return true;
      });
      EXPECT_EQ(rest, "") << "valid JSON was not read to its end";
    }
  }
}

}  // namespace
