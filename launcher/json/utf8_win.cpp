#include "utf8.h"

#include <windows.h>

#include <cstddef>

namespace Tevrian::JSON {
namespace {

// MultiByteToWideChar counts in int; longer input goes in pieces that end between sequences.
constexpr std::size_t kMaxPiece = std::size_t{1} << 30;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

void AppendPiece(std::wstring& out, std::string_view piece) {
  const int length = static_cast<int>(piece.size());
  const int units = MultiByteToWideChar(CP_UTF8, 0, piece.data(), length, nullptr, 0);
  if (units <= 0) return;
  const std::size_t start = out.size();
  out.resize(start + static_cast<std::size_t>(units));
  MultiByteToWideChar(CP_UTF8, 0, piece.data(), length, out.data() + start, units);
}

}  // namespace

void AppendUtf8AsUtf16(std::wstring& out, std::string_view bytes) {
  while (bytes.size() > kMaxPiece) {
    std::size_t cut = kMaxPiece;
    // A sequence is at most four bytes long: step back to its lead byte.
    for (int i = 0; i < 3 && IsContinuationByte(bytes[cut]); ++i) --cut;
    AppendPiece(out, bytes.substr(0, cut));
    bytes.remove_prefix(cut);
  }
  if (!bytes.empty()) AppendPiece(out, bytes);
}

}  // namespace Tevrian::JSON
