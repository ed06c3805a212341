// tevtool fill MANIFEST DIR -o OUT: a copy of MANIFEST whose file entries carry the "Size", "Hash"
// and "Sha256" of the files DIR\Name. The author's text stays as it was but for the values written: a
// member that is there gets its new value in place, one that is missing is added at the end of its
// entry.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../launcher/packages/partial_file.h"
#include "file_description.h"
#include "positioned_json.h"
#include "source_position.h"
#include "utf8_args.h"
#include "verb_arguments.h"
#include "verbs.h"

namespace TevTool {
namespace {

constexpr char kHelp[] =
    "usage: tevtool fill MANIFEST DIR -o OUT\n"
    "Writes OUT: MANIFEST with every file entry's \"Size\", \"Hash\" and \"Sha256\" set from the file DIR\\Name. A\n"
    "missing file, or one of 2^31 bytes or more, is an error (exit code 2) and OUT is not written.\n";

struct Edit {
  std::size_t offset;
  std::size_t length;
  std::string text;
};

// Where the value that starts at `offset` ends: after its closing bracket or brace (strings inside
// skipped), or after its last token character.
std::size_t ValueEnd(const std::string& text, std::size_t offset) {
  if (offset >= text.size()) return text.size();
  if (text[offset] != '[' && text[offset] != '{') {
    std::size_t end = offset;
    while (end < text.size() && text.find_first_of(",}] \t\r\n", end) != end) ++end;
    return end;
  }
  int depth = 0;
  for (std::size_t i = offset; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i) {
        if (text[i] == '\\') ++i;
      }
    } else if (c == '[' || c == '{') {
      ++depth;
    } else if ((c == ']' || c == '}') && --depth == 0) {
      return i + 1;
    }
  }
  return text.size();
}

class Filler {
 public:
  Filler(const std::string& manifestPath, const std::string& text, std::wstring folder)
      : m_path(manifestPath), m_text(text), m_positions(text), m_folder(std::move(folder)) {}

  void Entry(const PositionedValue& entry) {
    if (entry.kind != Tevrian::JSON::JsonKind::Object) return;
    const PositionedMember* name = entry.Find("Name");
    if (!name || name->value.kind != Tevrian::JSON::JsonKind::String) return;
    std::wstring file = m_folder;
    if (!file.empty() && file.back() != L'\\' && file.back() != L'/') file += L'\\';
    file += name->value.Text();
    FileDescription description;
    std::string reason;
    if (!DescribeFile(file, description, reason)) {
      const LineColumn where = m_positions.At(name->offset);
      std::fprintf(stderr, "%s:%u:%u: error: %s: %s\n", m_path.c_str(), where.line, where.column, Utf8(file).c_str(),
                   reason.c_str());
      m_failed = true;
      return;
    }
    Set(entry, "Size", std::to_string(description.size));
    Set(entry, "Hash", HashJson(description));
    Set(entry, "Sha256", Sha256Json(description));
  }

  bool Failed() const { return m_failed; }

  std::string Result() {
    std::string text = m_text;
    // From the end backwards; of two insertions at one place the later is applied first, so that
    // the text reads in the order they were made ("Size", "Hash", "Sha256").
    std::vector<std::size_t> order(m_edits.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return m_edits[a].offset != m_edits[b].offset ? m_edits[a].offset > m_edits[b].offset : a > b;
    });
    for (const std::size_t i : order) text.replace(m_edits[i].offset, m_edits[i].length, m_edits[i].text);
    return text;
  }

 private:
  void Set(const PositionedValue& entry, const char* key, const std::string& value) {
    if (const PositionedMember* member = entry.Find(key)) {
      m_edits.push_back({member->value.offset, ValueEnd(m_text, member->value.offset) - member->value.offset, value});
      return;
    }
    // Added after the entry's last member, before whatever space precedes its closing brace.
    std::size_t close = ValueEnd(m_text, entry.offset) - 1;
    std::size_t at = close;
    while (at > entry.offset + 1 && std::string(" \t\r\n").find(m_text[at - 1]) != std::string::npos) --at;
    const bool empty = m_text[at - 1] == '{';
    m_edits.push_back({at, 0, std::string(empty ? "" : ", ") + "\"" + key + "\": " + value});
  }

  const std::string& m_path;
  const std::string& m_text;
  SourcePositions m_positions;
  std::wstring m_folder;
  std::vector<Edit> m_edits;
  bool m_failed = false;
};

bool ReadText(const std::string& path, std::string& text) {
  std::ifstream file(Wide(path).c_str(), std::ios::binary);
  if (!file) return false;
  text.assign(std::istreambuf_iterator<char>(file), {});
  return !file.bad();
}

}  // namespace

int Fill(const Args& args) {
  const VerbArguments split = SplitArguments(args, "-o");
  if (split.help) {
    std::fputs(kHelp, stdout);
    return kClean;
  }
  const std::vector<std::string>& words = split.words;
  const std::string& output = split.option;
  if (words.size() != 2 || output.empty()) {
    std::fputs(kHelp, stderr);
    return kUsageOrFileError;
  }
  std::string text;
  if (!ReadText(words[0], text)) {
    std::fprintf(stderr, "tevtool fill: cannot read \"%s\"\n", words[0].c_str());
    return kUsageOrFileError;
  }
  const PositionedDocument document = ReadPositioned(text);
  const PositionedMember* list = document.hasRoot && document.root.kind == Tevrian::JSON::JsonKind::Object
                                     ? document.root.Find("LaunchList")
                                     : nullptr;
  if (!list || list->value.kind != Tevrian::JSON::JsonKind::Array) {
    std::fprintf(stderr, "tevtool fill: \"%s\" has no \"LaunchList\" array (tevtool lint says more)\n",
                 words[0].c_str());
    return kUsageOrFileError;
  }
  Filler filler(words[0], text, Wide(words[1]));
  for (const PositionedValue& element : list->value.elements) {
    if (element.kind != Tevrian::JSON::JsonKind::Object || element.members.empty()) continue;
    const PositionedValue& package = element.members.front().value;
    if (package.kind != Tevrian::JSON::JsonKind::Object) continue;
    if (const PositionedMember* file = package.Find("ExecuteFile")) filler.Entry(file->value);
    if (const PositionedMember* payloads = package.Find("Payloads");
        payloads && payloads->value.kind == Tevrian::JSON::JsonKind::Array) {
      for (const PositionedValue& payload : payloads->value.elements) filler.Entry(payload);
    }
  }
  if (filler.Failed()) return kUsageOrFileError;
  // Written beside OUT and moved into place whole: a fill cut short never leaves half a manifest.
  const std::wstring destination = Wide(output);
  const std::wstring partial = Tevrian::PartialFilePath(destination);
  bool written = false;
  {
    std::ofstream out(partial.c_str(), std::ios::binary | std::ios::trunc);
    const std::string result = filler.Result();
    out.write(result.data(), static_cast<std::streamsize>(result.size()));
    written = static_cast<bool>(out.flush());
  }
  if (!written || !Tevrian::CommitPartialFile(partial, destination)) {
    DeleteFileW(partial.c_str());
    std::fprintf(stderr, "tevtool fill: cannot write \"%s\"\n", output.c_str());
    return kUsageOrFileError;
  }
  return kClean;
}

}  // namespace TevTool
