#include "signature_policy.h"

namespace Tevrian {

bool SignatureRequired() {
#ifdef TEV_REQUIRE_SIGNATURE
  return true;
#else
  return false;
#endif
}

}  // namespace Tevrian
