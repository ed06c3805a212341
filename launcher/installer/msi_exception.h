// The launcher's one error type, and the system texts that explain its codes.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace TevMSI {

// A standard exception, so that no handler meant for errors in general can lose its code: those
// that know it catch it first, by its own type.
class CMsiException : public std::exception {
 public:
  explicit CMsiException(std::int32_t code, std::wstring message = {}) : m_code(code), m_message(std::move(message)) {}

  std::int32_t Code() const { return m_code; }
  const std::wstring& Message() const { return m_message; }
  const char* what() const noexcept override { return "TevMSI::CMsiException"; }

 private:
  std::int32_t m_code;
  std::wstring m_message;
};

// What a user is told of an installer error: its message; else the system's text for its code;
// else "エラーが発生しました(5)。" (a Win32 code or HRESULT, its low 16 bits in decimal) or
// "エラーが発生しました(0x80070000)。" (any other negative code).
std::wstring ErrorText(const CMsiException& error);

// A file system error with the path it was met at, so that the user is told which file or folder:
// the text of `code` (as ErrorText gives it), then the path on a line of its own.
CMsiException ErrorAtPath(std::int32_t code, const std::wstring& path);

// The operating system's text for a code, its trailing line break included; empty when it has none.
std::wstring SystemMessage(std::uint32_t code);

}  // namespace TevMSI
