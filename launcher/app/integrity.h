// The launcher's check of its own file: an Authenticode signature that does not verify means the
// file was changed after signing, so the launcher must not act on what it carries.
#pragma once

#include <string>

namespace Tevrian {

enum class SignatureState {
  Verified,  // signed, and the signature verifies
  Unsigned,  // no signature at all (every development build)
  Invalid,   // a signature that does not verify: tampered contents, damaged blob, bad chain
};

struct SignatureCheck {
  SignatureState state;
  long status;  // WinVerifyTrust's answer, or the system error when it could not be asked
};

// Verifies without any revocation check: a launcher must not hang on an offline machine.
SignatureCheck VerifyOwnSignature(const std::wstring& path);

}  // namespace Tevrian
