#include "msp_package.h"

#include <windows.h>

#include "../installer/msi_exception.h"

namespace Tevrian {

// Installing is not part of this build yet: a package must never report an install it did not do.
bool CExecuteMspPackage::Execute(const std::wstring&) {
  throw TevMSI::CMsiException(ERROR_CALL_NOT_IMPLEMENTED,
                              GetPackageType() + L" packages cannot be installed by this build.");
}

bool CExecuteMspPackage::IsExecute() {
  if (!Reading("", [&] { return m_properties.IsExecuteMSP(entry); })) return false;
  return CExecutePackage::IsExecute();
}

}  // namespace Tevrian
