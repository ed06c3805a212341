#include "msi_package.h"

#include <windows.h>

#include "../installer/msi_exception.h"

namespace Tevrian {

// Installing is not part of this build yet: a package must never report an install it did not do.
bool CExecuteMsiPackage::Execute(const std::wstring&) {
  throw TevMSI::CMsiException(ERROR_CALL_NOT_IMPLEMENTED,
                              GetPackageType() + L" packages cannot be installed by this build.");
}

bool CExecuteMsiPackage::IsExecute() {
  // A package that is not a prerequisite runs again over an equal installed version.
  if (!Reading("", [&] { return m_properties.IsExecuteMSI(entry, !IsPreRequired()); })) return false;
  return CExecutePackage::IsExecute();
}

}  // namespace Tevrian
