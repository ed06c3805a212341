// The Authenticode check of the launcher's own file and of another launcher it is asked to run: a
// signature that does not verify means the file was changed after signing, so the launcher must not
// act on what it carries, nor start it.
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

// Both verify without any revocation check: a launcher must not hang on an offline machine.
// `path` is the running launcher's own file; whether it is signed at all is read from the headers
// of the image in memory, the one that runs.
SignatureCheck VerifyOwnSignature(const std::wstring& path);
// Any file: whether it is signed at all is read from the file's own headers.
SignatureCheck VerifyFileSignature(const std::wstring& path);

}  // namespace Tevrian
