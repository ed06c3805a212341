// The lint verb as a release pipeline calls it: its fault table, one fault per manifest, each
// checked by its message, its line:column and the exit code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "verbs.h"

namespace TevTool {
namespace {

constexpr char kCleanFile[] = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 1, "Hash": [1, 2, 3, 4]})";

// A clean manifest with one part replaced. "@" marks where the finding must be reported and is
// removed before the manifest is written.
struct Fault {
  const char* name;
  std::string launchPackage = R"("DisplayName": "P")";
  std::string package = R"("Id": "A")";
  std::string file = kCleanFile;
  std::string type = R"("ExePackage")";
  std::string top;            // members before "LaunchList"
  std::string more;           // elements after the first package
  std::string whole;          // replaces everything when given
  const char* expected = "";  // "error: ..." or "warning: ..." (a part of the message)
  int exitCode = kFindings;
  bool werror = false;
};

std::string Compose(const Fault& fault) {
  if (!fault.whole.empty()) return fault.whole;
  return "{\n  \"LaunchPackage\": {" + fault.launchPackage + "},\n" +
         (fault.top.empty() ? "" : "  " + fault.top + "\n") + "  \"LaunchList\": [\n    {" + fault.type + ": {" +
         fault.package + ",\n      \"ExecuteFile\": " + fault.file + "}}" + fault.more + "\n  ]\n}\n";
}

// Where "@" stands, as line:column from 1.
std::string MarkerPosition(const std::string& text) {
  const std::size_t at = text.find('@');
  int line = 1, column = 1;
  for (std::size_t i = 0; i < at && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return std::to_string(line) + ":" + std::to_string(column);
}

struct LintRun {
  int exitCode;
  std::string output;
};

LintRun RunLint(const std::string& text, const std::string& name, bool werror) {
  const std::filesystem::path path = std::filesystem::path(TEV_TEST_TEMP_DIR) / (name + ".json");
  std::ofstream(path, std::ios::binary) << text;
  Args args{path.string()};
  if (werror) args.push_back("--werror");
  testing::internal::CaptureStderr();
  const int exitCode = Lint(args);
  return {exitCode, testing::internal::GetCapturedStderr()};
}

class LintFault : public testing::TestWithParam<Fault> {};

TEST_P(LintFault, IsReportedAtItsMember) {
  const Fault& fault = GetParam();
  std::string text = Compose(fault);
  ASSERT_NE(text.find('@'), std::string::npos) << "the fixture marks no position";
  const std::string where = MarkerPosition(text);
  text.erase(text.find('@'), 1);
  const LintRun run = RunLint(text, fault.name, fault.werror);
  const std::string path = (std::filesystem::path(TEV_TEST_TEMP_DIR) / (std::string(fault.name) + ".json")).string();
  EXPECT_NE(run.output.find(path + ":" + where + ": " + fault.expected), std::string::npos)
      << "expected at " << where << ": " << fault.expected << "\nmanifest:\n"
      << text << "\noutput:\n"
      << run.output;
  EXPECT_EQ(run.exitCode, fault.exitCode) << run.output;
}

const Fault kFaults[] = {
    // Errors: the launcher would stop with a malformed manifest, or read the text as nothing.
    {.name = "wrong_kind",
     .launchPackage = R"("DisplayName": "P", @"Privileged": "yes")",
     .expected = "error: \"Privileged\" must be a boolean, found a string"},
    {.name = "wrong_kind_in_file",
     .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", @"Size": "1", "Hash": [1, 2, 3, 4]})",
     .expected = "error: \"Size\" must be an integer, found a string"},
    {.name = "no_launch_list",
     .whole = R"(@{"LaunchPackage": {"DisplayName": "P"}})",
     .expected = "error: \"the manifest\" has no \"LaunchList\""},
    {.name = "not_an_object", .whole = "@[1, 2]", .expected = "error: the launcher reads no object from this text"},
    {.name = "cut_off",
     .whole = "{\"LaunchPackage\": {\"DisplayName\": \"P\"@",
     .expected = "error: the launcher reads no object from this text (the JSON breaks off here)"},
    {.name = "condition_unparsed",
     .launchPackage = R"("DisplayName": "P", @"Condition": "VersionNT >=", "FailMessage": "f")",
     .expected =
         "error: \"Condition\": the condition does not parse: an operand is missing at the end of the condition"},
    {.name = "condition_integer",
     .package = R"("Id": "A", @"ExecuteCondition": "ServicePackLevel > 99999999999")",
     .expected =
         "error: \"ExecuteCondition\": the integer at character 20 of the condition is beyond the signed 32-bit range"},
    {.name = "condition_without_message",
     .launchPackage = R"("DisplayName": "P", @"Condition": "VersionNT")",
     .expected = "error: \"Condition\" without \"FailMessage\""},
    {.name = "name_escapes",
     .file = R"({@"Name": "..\\a.exe", "DownloadUrl": "https://h/a.exe", "Size": 1, "Hash": [1, 2, 3, 4]})",
     .expected = "error: the file name \"..\\a.exe\" escapes its folder"},
    {.name = "hash_of_two",
     .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 1, "Hash": @[1, 2]})",
     .expected = "error: \"Hash\" must be four integers, found 2 elements"},
    {.name = "sha256_one_digit_short",
     .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 1, "Hash": [1, 2, 3, 4], @"Sha256": )"
             R"("0a64cfa2349968f1caaaeeb6308930ed486e49fb217b7dac3c9b113665085c8"})",
     .expected = "error: \"Sha256\": \"0a64cfa2349968f1caaaeeb6308930ed486e49fb217b7dac3c9b113665085c8\" is not 64 "
                 "hexadecimal digits: the launcher refuses the manifest"},
    {.name = "sha256_of_a_number",
     .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 1, @"Sha256": 5})",
     .expected = "error: \"Sha256\" must be a string, found a number"},
    {.name = "hash_of_text",
     .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 1, "Hash": [1, 2, 3, @"4"]})",
     .expected = "error: \"Hash[3]\" must be an integer, found a string"},
    {.name = "duplicate_id",
     .more = R"(, {"MsiPackage": {@"Id": "A"}})",
     .expected = "error: two packages have the \"Id\" \"A\": the other one is at 4:21"},
    {.name = "unknown_type_word",
     .type = R"(@"ExePackge")",
     .expected = "error: \"ExePackge\" is no package type (ExePackage, MsiPackage or MspPackage); did you mean "
                 "\"ExePackage\"?"},
    {.name = "empty_element", .more = ", @{}", .expected = "error: \"LaunchList[1]\" names no package type"},
    {.name = "behavior_case",
     .package = R"("Id": "A", "ExitCode": [{"Value": 0, @"Behavior": "Success"}])",
     .expected = "error: \"Success\" is no \"Behavior\" the launcher knows"},
    {.name = "uilevel_case",
     .package = R"("Id": "A", @"UILevel": "none")",
     .type = R"("MsiPackage")",
     .expected =
         "error: \"none\" is no \"UILevel\" the launcher knows (\"None\", \"Basic\", \"Reduce\", \"Full\"): it adds "
         "no user-interface option; did you mean \"None\"?"},
    {.name = "no_display_name",
     .whole = R"({"LaunchPackage": @{"Privileged": false}, "LaunchList": []})",
     .expected = "error: \"LaunchPackage\" has no \"DisplayName\": the launcher stops with a malformed manifest"},
    {.name = "search_without_root",
     .top = R"("Properies": [{"P": {"RegistrySearch": @{"Key": "k", "Result": "value"}}}],)",
     .expected = "error: \"RegistrySearch\" has no \"Root\""},
    // Warnings: the launcher reads the manifest, but otherwise than written. They fail only with --werror.
    {.name = "unknown_member",
     .file =
         R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 1, "Hash": [1, 2, 3, 4], @"DownloadURL": "x"})",
     .expected = "warning: unknown member \"DownloadURL\" in \"ExecuteFile\": the launcher ignores it; did you mean "
                 "\"DownloadUrl\"?",
     .exitCode = kClean},
    {.name = "unknown_member_werror",
     .launchPackage = R"("DisplayName": "P", @"Privileged ": true)",
     .expected = "warning: unknown member \"Privileged \" in \"LaunchPackage\"",
     .werror = true},
    {.name = "no_size",
     .file = R"(@{"Name": "a.exe", "DownloadUrl": "https://h/a.exe"})",
     .expected = "warning: \"ExecuteFile\" has no \"Size\": the file is never verified",
     .exitCode = kClean},
    {.name = "no_hash",
     .file = R"(@{"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 1})",
     .expected = "warning: \"ExecuteFile\" has no \"Hash\": only the file's size is verified",
     .exitCode = kClean},
    {.name = "plain_http",
     .file = R"({"Name": "a.exe", @"DownloadUrl": "http://h/a.exe", "Size": 1, "Hash": [1, 2, 3, 4]})",
     .expected = "warning: \"DownloadUrl\" is not an HTTPS address",
     .exitCode = kClean},
    {.name = "plain_http_latest",
     .launchPackage = R"("DisplayName": "P", @"Latest": "http://h/m.json")",
     .expected = "warning: \"Latest\" is not an HTTPS address",
     .exitCode = kClean},
    {.name = "beside_launcher",
     .file = R"(@{"Name": "a.exe", "Size": 1, "Hash": [1, 2, 3, 4]})",
     .expected = "warning: \"ExecuteFile\" has no \"DownloadUrl\": the file must lie beside the launcher",
     .exitCode = kClean},
    {.name = "undefined_name",
     .package = R"("Id": "A", @"ExecuteCondition": "NOT Missing")",
     .expected = "warning: the condition's name \"Missing\" is no built-in property and no definition under "
                 "\"Properies\" gives it: only a command-line assignment Missing=... can",
     .exitCode = kClean},
    {.name = "undefined_reference",
     .launchPackage = R"(@"DisplayName": "[Nowhere] setup")",
     .expected = "warning: the reference [Nowhere] is no built-in property",
     .exitCode = kClean},
    {.name = "and_symbol",
     .package = R"("Id": "A", @"ExecuteCondition": "VersionNT && Privileged")",
     .expected = "warning: \"ExecuteCondition\": \"&&\" at character 11 is no operator of the condition language: the "
                 "launcher passes over it and what follows, so the condition reads as \"VersionNT\"",
     .exitCode = kClean},
    {.name = "not_equal_symbol",
     .package = R"("Id": "A", @"ExecuteCondition": "VersionNT <> v1.0")",
     .expected = "warning: \"ExecuteCondition\": \"<>\" at character 11 is no operator",
     .exitCode = kClean},
    {.name = "triple_equal",
     .package = R"("Id": "A", @"ExecuteCondition": "VersionNT === v1.0")",
     .expected = "warning: \"ExecuteCondition\": \"===\" at character 11 is no operator",
     .exitCode = kClean},
    {.name = "trailing_operand",
     .package = R"("Id": "A", @"ExecuteCondition": "VersionNT v1.0")",
     .expected =
         "warning: \"ExecuteCondition\": the condition goes on after a complete expression at character 11: the "
         "launcher passes over \"v1.0\", so the condition reads as \"VersionNT\"",
     .exitCode = kClean},
    {.name = "version_overflow",
     .package = R"("Id": "A", @"ExecuteCondition": "VersionNT >= v6.70000")",
     .expected =
         "warning: \"ExecuteCondition\": the version v6.70000 at character 14 has a field above 65535; it reads "
         "as v6.4464.0.0",
     .exitCode = kClean},
    {.name = "version_member_overflow",
     .package = R"("Id": "A", @"Version": "1.70000")",
     .type = R"("MsiPackage")",
     .expected = "warning: \"Version\": the version \"1.70000\" has a field above 65535",
     .exitCode = kClean},
    {.name = "fraction",
     .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", @"Size": 1.5e3, "Hash": [1, 2, 3, 4]})",
     .expected = "warning: \"Size\": the number 1.5e3 is read as 1 (only an integer's decimal digits are read)",
     .exitCode = kClean},
    {.name = "beyond_32_bits",
     .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", @"Size": 2488871805, "Hash": [1, 2, 3, 4]})",
     .expected = "warning: \"Size\": the number 2488871805 is beyond the signed 32-bit range and read as -1806095491",
     .exitCode = kClean},
    {.name = "empty_number",
     .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 1, "Hash": [1, 2, 3, @]})",
     .expected = "warning: \"Hash[3]\": an empty value, read as the number 0",
     .exitCode = kClean},
    {.name = "member_of_another_kind",
     .package = R"("Id": "A", @"MsiProperty": {"P": "1"})",
     .expected = "warning: \"MsiProperty\" is read only in \"MsiPackage\" entries: the launcher ignores it in "
                 "\"ExePackage\"",
     .exitCode = kClean},
    {.name = "constant_of_no_kind",
     .top = R"("Properies": [{"P": {@"Value": [1]}}],)",
     .expected =
         "warning: \"Value\" must be a string, an integer or a boolean, found an array: the property gets no value",
     .exitCode = kClean},
    {.name = "repeated_key",
     .launchPackage = R"(@"DisplayName": "P", "DisplayName": "Q")",
     .expected = "warning: \"DisplayName\" is given again later in this object",
     .exitCode = kClean},
    {.name = "unknown_target",
     .launchPackage = R"("DisplayName": "P", @"TargetPackage": "B")",
     .expected = "warning: \"TargetPackage\" \"B\" names no package type or \"Id\" of the launch list",
     .exitCode = kClean},
    {.name = "two_definitions",
     .top = R"("Properies": [{"P": @{"Value": 1, "RegistrySearch": {}}}],)",
     .expected =
         "warning: this object has 2 members: the launcher reads only the first in key order, \"RegistrySearch\"",
     .exitCode = kFindings},  // the first in key order is then an incomplete search: its "Root" is missing
    {.name = "rest_not_read",
     .whole = "{\"LaunchPackage\": {\"DisplayName\": \"P\"}, \"LaunchList\": []}\n@]\n",
     .expected = "warning: the launcher stops reading here: the rest of the text is ignored",
     .exitCode = kClean},
};

INSTANTIATE_TEST_SUITE_P(Table, LintFault, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

TEST(Lint, CleanManifestHasNoFindings) {
  const Fault clean[] = {
      {.name = "clean"},
      // Hash words are compared as 32-bit patterns: the unsigned spelling of a word is as good.
      {.name = "clean_hash_words", .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 0,
                                             "Hash": [4294967295, -1, 0, 2147483648]})"},
      // A digest pins the file by itself: no warning for the size or the hash it does without.
      {.name = "clean_sha256_alone", .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe",
                                             "Sha256": "0A64CFA2349968F1CAAAEEB6308930ED486E49FB217B7DAC3C9B113665085C84"})"},
      {.name = "clean_size_and_sha256", .file = R"({"Name": "a.exe", "DownloadUrl": "https://h/a.exe", "Size": 30,
                                             "Sha256": "0a64cfa2349968f1caaaeeb6308930ed486e49fb217b7dac3c9b113665085c84"})"},
      // A defined property, and one the launcher sets itself, are known names.
      {.name = "clean_names",
       .launchPackage = R"("DisplayName": "P", "Condition": "Defined AND VersionNT >= v6.1",
                                                 "FailMessage": "[PackageName] needs [Defined]")",
       .top = R"("Properies": [{"Defined": {"Value": 1}}],)"},
  };
  for (const Fault& fault : clean) {
    const LintRun run = RunLint(Compose(fault), fault.name, true);
    EXPECT_EQ(run.output, "") << fault.name;
    EXPECT_EQ(run.exitCode, kClean) << fault.name;
  }
}

// The three faults a release engineer is most likely to make, each on its own line.
TEST(Lint, ShowsTheThreeCommonFaultsWithTheirLines) {
  const std::string text = R"({
  "LaunchPackage": {"DisplayName": "P", "Condition": "VersionNT >=", "FailMessage": "f"},
  "LaunchList": [{"ExePackage": {
    "ExecuteFile": {"Name": "a.exe", "DownloadURL": "https://h/a.exe", "Size": 1, "Hash": [1, 2, 3, 4]},
    "ExitCode": [{"Value": 0, "Behavior": "Success"}]}}]
}
)";
  const LintRun run = RunLint(text, "three", false);
  const std::string path = (std::filesystem::path(TEV_TEST_TEMP_DIR) / "three.json").string();
  EXPECT_NE(run.output.find(path + ":2:41: error: \"Condition\": the condition does not parse"), std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find(path + ":4:38: warning: unknown member \"DownloadURL\""), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(path + ":5:31: error: \"Success\" is no \"Behavior\" the launcher knows (\"success\", "
                                   "\"scheduleReboot\", \"forceReboot\", \"error\"): the exit code then fails the run; "
                                   "did you mean \"success\"?"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(run.exitCode, kFindings);
}

TEST(Lint, UsageAndFileErrors) {
  struct Case {
    Args args;
    int exitCode;
  };
  const Case cases[] = {
      {{}, kUsageOrFileError},
      {{"--help"}, kClean},
      {{"a.json", "b.json"}, kUsageOrFileError},
      {{"a.json", "--fix"}, kUsageOrFileError},
      {{std::string(TEV_TEST_TEMP_DIR) + "/absent.json"}, kUsageOrFileError},
      {{std::string(TEV_TEST_TEMP_DIR)}, kUsageOrFileError},  // a folder is no manifest
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Lint(c.args), c.exitCode) << (c.args.empty() ? "(no arguments)" : c.args[0]);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
  }
}

}  // namespace
}  // namespace TevTool
