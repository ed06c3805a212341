#include "manifest_lint.h"

#include <algorithm>
#include <exception>
#include <map>
#include <set>
#include <string>

#include "condition_lint.h"
#include "json_parser.h"
#include "manifest_members.h"
#include "message_text.h"
#include "positioned_json.h"
#include "source_position.h"
#include "text_utf8.h"
#include "value_checks.h"

namespace TevTool {
namespace {

using Tevrian::JSON::JsonKind;

std::vector<std::string_view> MemberNames(const TypeInfo& type) {
  std::vector<std::string_view> names;
  for (const MemberInfo& member : type.members) names.push_back(member.name);
  return names;
}

// A property name that a condition or a bracketed reference reads, kept until all definitions
// are known.
struct NameUse {
  std::wstring name;
  std::uint32_t offset;
  bool reference;  // [Name] in a text, else a name in a condition
};

class Linter {
 public:
  explicit Linter(std::string_view text) : m_text(text), m_positions(text) {}

  std::vector<Finding> Run() {
    if (!ReadAsLauncher()) return Sorted();
    CheckObject(m_document.root, ManifestType(), "the manifest");
    CheckNames();
    CheckTargetPackage();
    return Sorted();
  }

 private:
  void Add(std::uint32_t offset, Severity severity, std::string text) {
    m_findings.push_back({offset, severity, std::move(text)});
  }

  std::vector<Finding> Sorted() {
    std::stable_sort(m_findings.begin(), m_findings.end(),
                     [](const Finding& a, const Finding& b) { return a.offset < b.offset; });
    return std::move(m_findings);
  }

  std::string At(std::uint32_t offset) const {
    const LineColumn where = m_positions.At(offset);
    return std::to_string(where.line) + ":" + std::to_string(where.column);
  }

  // The launcher's own read of the text decides whether there is a manifest at all.
  bool ReadAsLauncher() {
    m_document = ReadPositioned(m_text);
    std::string problem;
    try {
      const Tevrian::JSON::JsonValue tree = Tevrian::JSON::ParseJSON(m_text);
      if (!tree.IsObject()) problem = "the launcher reads no object from this text";
    } catch (const Tevrian::JSON::BadAnyCast&) {
      problem = "the launcher cannot read this text: it breaks off inside an array";
    } catch (const std::exception&) {
      problem = "the launcher cannot read this text: it breaks off inside an object";
    }
    if (!problem.empty()) {
      if (!m_document.complete) problem += " (the JSON breaks off here)";
      Add(m_document.complete ? 0 : m_document.stopOffset, Severity::Error, problem);
      return false;
    }
    if (!m_document.complete) {
      Add(m_document.stopOffset, Severity::Warning, "the launcher stops reading here: the rest of the text is ignored");
    }
    if (!m_document.hasRoot || m_document.root.kind != JsonKind::Object) {
      Add(0, Severity::Error, "the manifest must be an object");
      return false;
    }
    return true;
  }

  void CheckValue(const PositionedValue& value, const TypeInfo& type, std::string_view name, std::uint32_t offset) {
    if (!KindMatches(type.kind, value.kind) && type.kind == ValueKind::Scalar) {
      // A constant of another kind is no error to the launcher: the property just gets no value.
      Add(offset, Severity::Warning,
          Quoted(name) + " must be " + std::string(ExpectedKindName(type.kind)) + ", found " +
              std::string(FoundKindName(value.kind)) + ": the property gets no value");
      return;
    }
    if (!KindMatches(type.kind, value.kind)) {
      Add(offset, Severity::Error,
          Quoted(name) + " must be " + std::string(ExpectedKindName(type.kind)) + ", found " +
              std::string(FoundKindName(value.kind)) + ": the launcher stops with a malformed manifest");
      return;
    }
    if (value.kind == JsonKind::String) CheckText(value, type, name, offset);
    if (value.kind == JsonKind::Integer) {
      for (ValueFinding& finding : CheckNumber(value.raw, type, name)) {
        Add(offset, finding.severity, std::move(finding.text));
      }
    }
    if (value.kind == JsonKind::Object) CheckObject(value, type, name);
    if (value.kind == JsonKind::Array) CheckArray(value, type, name);
  }

  void CheckArray(const PositionedValue& array, const TypeInfo& type, std::string_view name) {
    if (type.meaning == Meaning::Hash && array.elements.size() != 4) {
      Add(array.offset, Severity::Error,
          Quoted(name) + " must be four integers, found " + std::to_string(array.elements.size()) + " element" +
              (array.elements.size() == 1 ? "" : "s"));
    }
    if (!type.item) return;
    std::size_t index = 0;
    for (const PositionedValue& element : array.elements) {
      CheckValue(element, *type.item, std::string(name) + "[" + std::to_string(index++) + "]", element.offset);
    }
  }

  void CheckObject(const PositionedValue& object, const TypeInfo& type, std::string_view name) {
    const std::vector<std::string_view> known = MemberNames(type);
    const PositionedMember* first = nullptr;  // in key order, the launcher's iteration order
    std::size_t distinct = 0;
    for (const PositionedMember& member : object.members) {
      if (member.overridden) {
        Add(member.offset, Severity::Warning,
            Quoted(member.key) + " is given again later in this object: the launcher keeps only the last one");
        continue;
      }
      ++distinct;
      if (!first || member.key < first->key) first = &member;
    }
    if (type.meaning == Meaning::PackageTypeWord && distinct == 0) {
      Add(object.offset, Severity::Error, Quoted(name) + " names no package type");
    }
    if ((type.meaning == Meaning::PackageTypeWord || type.meaning == Meaning::Definition) && distinct > 1) {
      Add(object.offset, Severity::Warning,
          "this object has " + std::to_string(distinct) + " members: the launcher reads only the first in key order, " +
              Quoted(first->key));
    }
    for (const PositionedMember& member : object.members) {
      if (member.overridden) continue;
      // Of a definition or a launch-list element the launcher reads nothing past the first member.
      if ((type.meaning == Meaning::Definition || type.meaning == Meaning::PackageTypeWord) && &member != first) {
        continue;
      }
      const auto info = std::find_if(type.members.begin(), type.members.end(),
                                     [&](const MemberInfo& m) { return m.name == member.key; });
      if (info != type.members.end() && !info->onlyIn.empty() &&
          std::find(info->onlyIn.begin(), info->onlyIn.end(), name) == info->onlyIn.end()) {
        std::string readers;
        for (const std::string_view word : info->onlyIn) readers += (readers.empty() ? "" : " and ") + Quoted(word);
        Add(member.offset, Severity::Warning,
            Quoted(member.key) + " is read only in " + readers + " entries: the launcher ignores it in " +
                Quoted(name));
      } else if (info != type.members.end()) {
        CheckMember(member, *info);
      } else if (type.item) {
        CheckValue(member.value, *type.item, member.key, member.offset);
        if (type.item->meaning == Meaning::Definition)
          m_definitions.insert(Tevrian::JSON::DecodeJSONString(member.key));
      } else if (type.meaning == Meaning::PackageTypeWord) {
        Add(member.offset, Severity::Error,
            Quoted(member.key) + " is no package type (ExePackage, MsiPackage or MspPackage)" +
                DidYouMean(member.key, known));
      } else if (type.meaning == Meaning::Definition) {
        Add(member.offset, Severity::Warning,
            Quoted(member.key) + " is no kind of property definition: the property gets no value" +
                DidYouMean(member.key, known));
      } else {
        Add(member.offset, Severity::Warning,
            "unknown member " + Quoted(member.key) + " in " + Quoted(name) + ": the launcher ignores it" +
                DidYouMean(member.key, known));
      }
    }
    for (const MemberInfo& member : type.members) {
      if (member.required && !object.Find(member.name)) {
        Add(object.offset, Severity::Error,
            Quoted(name) + " has no " + Quoted(member.name) + ": the launcher stops with a malformed manifest");
      }
    }
    if (type.meaning == Meaning::FileEntry || type.meaning == Meaning::ExecuteFile) CheckFileEntry(object, type, name);
    if (&type == &ManifestType()) m_launchList = object.Find("LaunchList");
    if (name == "LaunchPackage") CheckLaunchPackage(object);
  }

  void CheckMember(const PositionedMember& member, const MemberInfo& info) {
    if (info.type->meaning == Meaning::PackageId && member.value.kind == JsonKind::String) {
      const std::wstring id = member.value.Text();
      const auto [earlier, added] = m_ids.emplace(id, member.offset);
      if (!added) {
        Add(member.offset, Severity::Error,
            "two packages have the \"Id\" " + Quoted(id) + ": the other one is at " + At(earlier->second));
      }
    }
    if (info.type->meaning == Meaning::TargetPackage && member.value.kind == JsonKind::String) {
      m_target = &member;
    }
    CheckValue(member.value, *info.type, info.name, member.offset);
  }

  void CheckLaunchPackage(const PositionedValue& launchPackage) {
    const PositionedMember* condition = launchPackage.Find("Condition");
    if (condition && condition->value.kind == JsonKind::String && !launchPackage.Find("FailMessage")) {
      Add(condition->offset, Severity::Error,
          "\"Condition\" without \"FailMessage\": when the condition is false the launcher stops with a "
          "malformed manifest instead of telling the user");
    }
  }

  void CheckFileEntry(const PositionedValue& entry, const TypeInfo& type, std::string_view name) {
    if (entry.members.empty()) return;
    // A digest pins the file by itself.
    const bool pinned = entry.Find("Sha256") != nullptr;
    if (!entry.Find("Size")) {
      if (!pinned) Add(entry.offset, Severity::Warning, Quoted(name) + " has no \"Size\": the file is never verified");
    } else if (!entry.Find("Hash") && !pinned) {
      Add(entry.offset, Severity::Warning, Quoted(name) + " has no \"Hash\": only the file's size is verified");
    }
    if (type.meaning == Meaning::ExecuteFile && !entry.Find("DownloadUrl")) {
      Add(entry.offset, Severity::Warning,
          "\"ExecuteFile\" has no \"DownloadUrl\": the file must lie beside the launcher");
    }
  }

  void CheckText(const PositionedValue& value, const TypeInfo& type, std::string_view name, std::uint32_t offset) {
    const std::wstring text = value.Text();
    if (type.meaning == Meaning::Condition) {
      ConditionFindings found = LintCondition(text);
      for (Finding& finding : found.findings) Add(offset, finding.severity, Quoted(name) + ": " + finding.text);
      for (std::wstring& used : found.names) m_uses.push_back({std::move(used), offset, false});
    } else if (type.meaning == Meaning::Text) {
      CheckReferences(text, offset);
    } else {
      for (ValueFinding& finding : CheckString(text, type, name))
        Add(offset, finding.severity, std::move(finding.text));
    }
  }

  // [Name] references as the launcher's substitution finds them; "\[" is no reference.
  void CheckReferences(std::wstring_view text, std::uint32_t offset) {
    std::size_t from = 0;
    for (;;) {
      std::size_t open = text.find(L'[', from);
      while (open != std::wstring_view::npos && open > 0 && text[open - 1] == L'\\') open = text.find(L'[', open + 1);
      if (open == std::wstring_view::npos) return;
      const std::size_t close = text.find(L']', open + 1);
      if (close == std::wstring_view::npos) return;
      m_uses.push_back({std::wstring(text.substr(open + 1, close - open - 1)), offset, true});
      from = close + 1;
    }
  }

  void CheckNames() {
    std::set<std::wstring> known(m_definitions);
    for (const std::string_view name : BuiltinPropertyNames()) known.insert(std::wstring(name.begin(), name.end()));
    for (const NameUse& use : m_uses) {
      if (known.contains(use.name)) continue;
      const std::string name = Utf8(use.name);
      Add(use.offset, Severity::Warning,
          (use.reference ? "the reference [" + name + "]" : "the condition's name " + Quoted(name)) +
              " is no built-in property and no definition under \"Properies\" gives it: only a command-line "
              "assignment " +
              name + "=... can" +
              (use.reference ? ", otherwise it expands to no value" : ", otherwise it reads as false"));
    }
  }

  void CheckTargetPackage() {
    if (!m_target) return;
    const std::wstring target = m_target->value.Text();
    if (m_ids.contains(target)) return;
    if (m_launchList && m_launchList->value.kind == JsonKind::Array) {
      for (const PositionedValue& element : m_launchList->value.elements) {
        for (const PositionedMember& member : element.members) {
          if (Tevrian::JSON::DecodeJSONString(member.key) == target) return;
        }
      }
    }
    Add(m_target->offset, Severity::Warning,
        "\"TargetPackage\" " + Quoted(target) +
            " names no package type or \"Id\" of the launch list: the launcher's target check never finds it");
  }

  std::string_view m_text;
  SourcePositions m_positions;
  PositionedDocument m_document;
  std::vector<Finding> m_findings;
  std::set<std::wstring> m_definitions;
  std::vector<NameUse> m_uses;
  std::map<std::wstring, std::uint32_t> m_ids;
  const PositionedMember* m_target = nullptr;
  const PositionedMember* m_launchList = nullptr;
};

}  // namespace

std::vector<Finding> LintManifest(std::string_view text) {
  // Positions are 32-bit in the launcher's reader as well: a longer text is refused whole.
  if (text.size() > Tevrian::JSON::kMaxTextLength) {
    return {{0, Severity::Error, "the manifest is longer than the launcher can read"}};
  }
  try {
    return Linter(text).Run();
  } catch (const std::exception& error) {
    // Any text gets an answer; this one names what stopped the check.
    return {{0, Severity::Error, std::string("the manifest could not be checked: ") + error.what()}};
  }
}

}  // namespace TevTool
