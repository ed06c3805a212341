// Whether the launcher refuses to run when its own file carries no Authenticode signature. Each
// launcher executable compiles its own answer in, so that one library serves builds of both kinds.
#pragma once

namespace Tevrian {

bool SignatureRequired();

}  // namespace Tevrian
