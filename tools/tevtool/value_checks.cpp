#include "value_checks.h"

#include <algorithm>

#include "../../launcher/shared/sha256_text.h"
#include "file_name_check.h"
#include "message_text.h"
#include "number_token.h"
#include "version_literal.h"

namespace TevTool {
namespace {

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    wchar_t c = text[i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::vector<ValueFinding> OneOf(std::wstring_view text, const TypeInfo& type, std::string_view name) {
  const std::string written = Utf8(text);
  if (std::find(type.values.begin(), type.values.end(), written) != type.values.end()) return {};
  // A registry search with another root only finds nothing; the other two change what runs.
  const bool error = type.meaning != Meaning::RegistryRoot;
  std::string valid;
  for (const std::string_view one : type.values) valid += (valid.empty() ? "" : ", ") + Quoted(one);
  const char* effect = type.meaning == Meaning::Behavior  ? ": the exit code then fails the run"
                       : type.meaning == Meaning::UILevel ? ": it adds no user-interface option"
                                                          : ": the search finds nothing";
  return {{error ? Severity::Error : Severity::Warning, Quoted(written) + " is no " + Quoted(name) +
                                                            " the launcher knows (" + valid + ")" + effect +
                                                            DidYouMean(written, type.values)}};
}

}  // namespace

std::vector<ValueFinding> CheckString(std::wstring_view text, const TypeInfo& type, std::string_view name) {
  switch (type.meaning) {
    case Meaning::Version:
      if (ReadVersionLiteral(text).overflows) {
        return {{Severity::Warning,
                 Quoted(name) + ": the version " + Quoted(text) + " has a field above 65535, which wraps"}};
      }
      return {};
    case Meaning::HttpsAddress:
      if (!text.empty() && !StartsWithNoCase(text, L"https://")) {
        return {
            {Severity::Warning, Quoted(name) + " is not an HTTPS address: what it fetches can be altered on the way"}};
      }
      return {};
    case Meaning::FileName:
      if (const std::wstring reason = Tevrian::UnsafeFileNameReason(std::wstring(text)); !reason.empty()) {
        return {{Severity::Error,
                 "the file name " + Quoted(text) + " escapes its folder or names another file: " + Utf8(reason)}};
      }
      return {};
    case Meaning::Behavior:
    case Meaning::UILevel:
    case Meaning::RegistryRoot:
      return OneOf(text, type, name);
    case Meaning::Sha256:
      if (!Tevrian::ParseSha256(text)) {
        return {{Severity::Error, Quoted(name) + ": " + Quoted(text) +
                                      " is not 64 hexadecimal digits: the launcher refuses the manifest"}};
      }
      return {};
    default:
      return {};
  }
}

std::vector<ValueFinding> CheckNumber(std::string_view raw, const TypeInfo& type, std::string_view name) {
  const NumberReading reading = ReadNumberToken(raw);
  const std::string readAs = std::to_string(reading.value);
  if (raw.empty()) return {{Severity::Warning, Quoted(name) + ": an empty value, read as the number 0"}};
  if (!reading.plain) {
    return {{Severity::Warning, Quoted(name) + ": the number " + std::string(raw) + " is read as " + readAs +
                                    " (only an integer's decimal digits are read)"}};
  }
  // Hash words are compared as 32-bit patterns, so their unsigned spelling is as good.
  const bool hashWord = type.meaning == Meaning::HashWord;
  const long double high = hashWord ? 4294967295.0L : 2147483647.0L;
  if (reading.written < -2147483648.0L || reading.written > high) {
    return {{Severity::Warning, Quoted(name) + ": the number " + std::string(raw) + " is beyond " +
                                    (hashWord ? "32 bits" : "the signed 32-bit range") + " and read as " + readAs}};
  }
  return {};
}

}  // namespace TevTool
