// tevtool fill MANIFEST DIR -o OUT: a copy of MANIFEST whose file entries carry the "Size", "Hash"
// and "Sha256" of the files DIR\Name. The author's text stays as it was but for the values written: a
// member that is there gets its new value in place, one that is missing is added at the end of its
// entry.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "../../launcher/installer/msi_exception.h"
#include "../../launcher/packages/partial_file.h"
#include "../../launcher/packages/path_join.h"
#include "file_description.h"
#include "file_entries.h"
#include "message_text.h"
#include "positioned_json.h"
#include "read_file.h"
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

class Filler {
 public:
  Filler(const std::string& manifestPath, const std::string& text, std::wstring folder)
      : m_path(manifestPath), m_text(text), m_positions(text), m_folder(std::move(folder)) {}

  void Entry(const PositionedValue& entry) {
    // An entry without a name describes no file to fill in (the lint reports it).
    if (!entry.Find("Name")) return;
    // The launcher's own rule for the name, before any file is read: a name that reaches outside
    // DIR must not bring another file's size and hashes into the manifest.
    if (const std::string error = FileNameError(m_path, m_text, entry); !error.empty()) {
      std::fprintf(stderr, "%s\n", error.c_str());
      m_failed = true;
      return;
    }
    const PositionedMember* name = entry.Find("Name");
    const std::wstring file = Tevrian::JoinText(m_folder, name->value.Text());
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
  // The whole value token the reader found is replaced, whatever it holds (a text with blanks,
  // commas or brackets inside included), so that the output reads as the input but for it.
  void Set(const PositionedValue& entry, const char* key, const std::string& value) {
    if (const PositionedMember* member = entry.Find(key)) {
      m_edits.push_back({member->value.offset, member->value.end - member->value.offset, value});
      return;
    }
    // Added after the entry's last member, before whatever space precedes its closing brace.
    std::size_t close = entry.end - 1;
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
  std::string text, reason;
  if (!ReadWholeFile(words[0], text, reason)) {
    std::fprintf(stderr, "tevtool fill: cannot read %s: %s\n", Quoted(words[0]).c_str(), reason.c_str());
    return kUsageOrFileError;
  }
  const PositionedDocument document = ReadPositioned(text);
  const PositionedMember* list = document.hasRoot && document.root.kind == Tevrian::JSON::JsonKind::Object
                                     ? document.root.Find("LaunchList")
                                     : nullptr;
  // Values are replaced where the reader found them: only a document it read whole is edited.
  if (!document.complete || !list || list->value.kind != Tevrian::JSON::JsonKind::Array) {
    std::fprintf(stderr,
                 "tevtool fill: %s is no complete manifest with a \"LaunchList\" array (tevtool lint says "
                 "more)\n",
                 Quoted(words[0]).c_str());
    return kUsageOrFileError;
  }
  Filler filler(words[0], text, Wide(words[1]));
  for (const PositionedValue* entry : FileEntries(document)) filler.Entry(*entry);
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
    const DWORD error = GetLastError();
    DeleteFileW(partial.c_str());
    std::fprintf(stderr, "tevtool fill: cannot write %s: error %lu, %s\n", Quoted(output).c_str(),
                 static_cast<unsigned long>(error), Utf8(TevMSI::SystemMessage(error)).c_str());
    return kUsageOrFileError;
  }
  return kClean;
}

}  // namespace TevTool
