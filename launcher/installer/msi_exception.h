// The launcher's one error type, and the system texts that explain its codes.
#pragma once

#include <cstdint>
#include <string>

namespace TevMSI {

// Not derived from std::exception on purpose: handlers catch it by its own type, apart from the
// standard errors that malformed input raises.
class CMsiException {
 public:
  explicit CMsiException(std::int32_t code, std::wstring message = {}) : m_code(code), m_message(std::move(message)) {}
  virtual ~CMsiException() = default;

  std::int32_t Code() const { return m_code; }
  const std::wstring& Message() const { return m_message; }

 private:
  std::int32_t m_code;
  std::wstring m_message;
};

// The operating system's text for a code, its trailing line break included; empty when it has none.
std::wstring SystemMessage(std::uint32_t code);

}  // namespace TevMSI
