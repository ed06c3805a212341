// The file entries of a manifest as the verbs that act on files meet them ("ExecuteFile", then the
// "Payloads", of each package in chain order), and the one check of their "Name" that every such
// verb makes before it reads or writes anything: the launcher's own rule.
#pragma once

#include <string>
#include <vector>

#include "positioned_json.h"

namespace TevTool {

// Each file entry object of the document's "LaunchList", in order; none when there is no list.
std::vector<const PositionedValue*> FileEntries(const PositionedDocument& document);

// FILE:LINE:COLUMN: error: ... for an entry whose "Name" is missing, not a text, or one the launcher
// refuses (it would reach outside its folder or name another file); empty when it can be used.
// `file` is the name the message gives the manifest, `text` the manifest's bytes.
std::string FileNameError(const std::string& file, std::string_view text, const PositionedValue& entry);

}  // namespace TevTool
