#include "file_entries.h"

#include "../../launcher/packages/file_name_check.h"
#include "message_text.h"
#include "source_position.h"

namespace TevTool {

using Tevrian::JSON::JsonKind;

std::vector<const PositionedValue*> FileEntries(const PositionedDocument& document) {
  std::vector<const PositionedValue*> entries;
  const PositionedMember* list =
      document.hasRoot && document.root.kind == JsonKind::Object ? document.root.Find("LaunchList") : nullptr;
  if (!list || list->value.kind != JsonKind::Array) return entries;
  for (const PositionedValue& element : list->value.elements) {
    if (element.kind != JsonKind::Object || element.members.empty()) continue;
    const PositionedValue& package = element.members.front().value;
    if (package.kind != JsonKind::Object) continue;
    if (const PositionedMember* file = package.Find("ExecuteFile"); file && file->value.kind == JsonKind::Object) {
      entries.push_back(&file->value);
    }
    if (const PositionedMember* payloads = package.Find("Payloads");
        payloads && payloads->value.kind == JsonKind::Array) {
      for (const PositionedValue& payload : payloads->value.elements) {
        if (payload.kind == JsonKind::Object) entries.push_back(&payload);
      }
    }
  }
  return entries;
}

std::string FileNameError(const std::string& file, std::string_view text, const PositionedValue& entry) {
  const PositionedMember* name = entry.Find("Name");
  std::string problem;
  std::uint32_t at = entry.offset;
  if (!name) {
    problem = "the file entry has no \"Name\"";
  } else if (name->value.kind != JsonKind::String) {
    problem = "\"Name\" is not a text";
    at = name->value.offset;
  } else if (const std::wstring reason = Tevrian::UnsafeFileNameReason(name->value.Text()); !reason.empty()) {
    problem = "the file name " + Quoted(name->value.raw) + " cannot be used: " + Utf8(reason);
    at = name->value.offset;
  } else {
    return {};
  }
  const LineColumn where = SourcePositions(text).At(at);
  return file + ":" + std::to_string(where.line) + ":" + std::to_string(where.column) + ": error: " + problem;
}

}  // namespace TevTool
