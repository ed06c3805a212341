// The lint over the repository's own manifests, and over hostile text: it reports, never crashes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "manifest_lint.h"
#include "source_position.h"

namespace TevTool {
namespace {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "LINE:COLUMN: error|warning: text" for each finding.
std::vector<std::string> Describe(std::string_view text) {
  const SourcePositions positions(text);
  std::vector<std::string> lines;
  for (const Finding& finding : LintManifest(text)) {
    const LineColumn at = positions.At(finding.offset);
    lines.push_back(std::to_string(at.line) + ":" + std::to_string(at.column) + ": " +
                    (finding.severity == Severity::Error ? "error: " : "warning: ") + finding.text);
  }
  return lines;
}

TEST(LintRepositoryManifests, SampleHasNoErrorsAndItsKnownWarnings) {
  // The sample is served by the demo's local nginx over plain HTTP, and its files are built by the
  // demo, so they carry no size or hash.
  const std::vector<std::string> expected = {
      "21:24: warning: \"ExecuteFile\" has no \"Size\": the file is never verified",
      "21:64: warning: \"DownloadUrl\" is not an HTTPS address: what it fetches can be altered on the way",
      "35:24: warning: \"ExecuteFile\" has no \"Size\": the file is never verified",
      "35:53: warning: \"DownloadUrl\" is not an HTTPS address: what it fetches can be altered on the way",
      "36:23: warning: \"Payloads[0]\" has no \"Size\": the file is never verified",
      "36:52: warning: \"DownloadUrl\" is not an HTTPS address: what it fetches can be altered on the way",
  };
  EXPECT_EQ(Describe(ReadFile(std::filesystem::path(TEV_SOURCE_DIR) / "samples/sample-manifest.json")), expected);
}

// The benchmark's manifest and the fuzzing seeds keep behaviours in the letter case older
// manifests used; the lint must name each of them.
TEST(LintRepositoryManifests, OldBehaviourSpellingsAreErrors) {
  for (const char* file : {"bench/data/typical-manifest.json", "fuzz/corpus/manifest-full.json"}) {
    const std::vector<std::string> lines = Describe(ReadFile(std::filesystem::path(TEV_SOURCE_DIR) / file));
    const std::vector<std::string> errors = {
        "40:28: error: \"ForceReboot\" is no \"Behavior\" the launcher knows (\"success\", \"scheduleReboot\", "
        "\"forceReboot\", \"error\"): the exit code then fails the run; did you mean \"forceReboot\"?",
        "41:28: error: \"ScheduleReboot\" is no \"Behavior\" the launcher knows (\"success\", \"scheduleReboot\", "
        "\"forceReboot\", \"error\"): the exit code then fails the run; did you mean \"scheduleReboot\"?",
        "42:28: error: \"Error\" is no \"Behavior\" the launcher knows (\"success\", \"scheduleReboot\", "
        "\"forceReboot\", \"error\"): the exit code then fails the run; did you mean \"error\"?",
    };
    for (const std::string& error : errors) {
      EXPECT_NE(std::find(lines.begin(), lines.end(), error), lines.end()) << file << ": " << error;
    }
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find(": error: ") != std::string::npos; }),
              3)
        << file;
  }
}

// A finding quotes names and values as the manifest has them, and its text is UTF-8 whatever
// those bytes are: a malformed sequence is quoted as U+FFFD (fuzz/corpus/manifest_lint_fuzzer/
// raw-byte-in-key.json).
TEST(LintMessages, QuoteMalformedUtf8AsReplacementCharacters) {
  struct Case {
    const char* text;
    const char* expected;  // a line that must be among the findings
  };
  const Case cases[] = {
      {"{L\xFF\":}", "1:2: warning: unknown member \"\xEF\xBF\xBD\" in \"the manifest\": the launcher ignores it"},
      {"{\"LaunchPackage\": {\"Na\xC3\": 1}, \"LaunchList\": []}",
       "1:20: warning: unknown member \"Na\xEF\xBF\xBD\" in \"LaunchPackage\": the launcher ignores it"},
      {"{\"LaunchPackage\": {\"DisplayName\": \"P\", \"UILevel\xED\xA0\x80\": 1}, \"LaunchList\": []}",
       "1:40: warning: unknown member \"UILevel\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\" in \"LaunchPackage\": "
       "the launcher ignores it"},
      // Well-formed text is quoted as it stands.
      {"{\"LaunchPackage\": {\"DisplayName\": \"P\", \"\xE5\x90\x8D\": 1}, \"LaunchList\": []}",
       "1:40: warning: unknown member \"\xE5\x90\x8D\" in \"LaunchPackage\": the launcher ignores it"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> lines = Describe(c.text);
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.expected), lines.end()) << c.text << "\n"
                                                                              << testing::PrintToString(lines);
  }
}

TEST(LintPositions, ColumnsCountCharactersAfterAByteOrderMark) {
  const std::string text =
      "\xEF\xBB\xBF{\"LaunchPackage\": {\"DisplayName\": \"名前\", \"Privileged\": 1},\r\n"
      " \"LaunchList\": [], \"Extra\": 0}";
  const std::vector<std::string> lines = Describe(text);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(
      lines[0],
      "1:41: error: \"Privileged\" must be a boolean, found a number: the launcher stops with a malformed manifest");
  EXPECT_EQ(lines[1].substr(0, 14), "2:20: warning:");
}

// Every prefix of a real manifest, and every file of the JSON test suite and the fuzzing seeds:
// the lint answers with findings (or none), whatever the text.
TEST(LintHostileText, NeverRaisesOrCrashes) {
  const std::string sample = ReadFile(std::filesystem::path(TEV_SOURCE_DIR) / "samples/sample-manifest.json");
  for (std::size_t length = 0; length <= sample.size(); ++length) {
    EXPECT_NO_THROW(LintManifest(std::string_view(sample).substr(0, length))) << length;
  }
  std::size_t files = 0;
  for (const char* folder : {"tests/json/data/json-test-suite/test_parsing", "fuzz/corpus"}) {
    // The seeds of every fuzz target, each in its own folder under fuzz/corpus.
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(std::filesystem::path(TEV_SOURCE_DIR) / folder)) {
      if (!entry.is_regular_file()) continue;
      EXPECT_NO_THROW(LintManifest(ReadFile(entry.path()))) << entry.path();
      ++files;
    }
  }
  EXPECT_GT(files, 0u) << "no hostile files were found";
  // Deep nesting and long conditions stay within the reader's and the parser's own limits.
  EXPECT_NO_THROW(LintManifest(std::string(100000, '[')));
  std::string deep = R"({"LaunchPackage": {"DisplayName": "P", "FailMessage": "f", "Condition": ")";
  for (int i = 0; i < 5000; ++i) deep += "( ";
  deep += R"(A"}, "LaunchList": []})";
  const std::vector<std::string> lines = Describe(deep);
  ASSERT_FALSE(lines.empty());
  EXPECT_NE(lines[0].find("error: \"Condition\": the condition cannot be read"), std::string::npos) << lines[0];
}

}  // namespace
}  // namespace TevTool
