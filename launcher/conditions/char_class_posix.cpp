#include "char_class.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace Tevrian::Expression::CharClass {
namespace {

// The C locale knows only ASCII classes; C.UTF-8 gives the Unicode ones without touching
// the process-wide locale.
locale_t Classes() {
  static const locale_t classes = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l ? l : newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
  }();
  return classes;
}

// Each wchar_t holds one UTF-16 code unit; surrogates classify as nothing.
bool IsSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDFFF; }

}  // namespace

bool IsBlank(wchar_t c) { return !IsSurrogate(c) && iswspace_l(static_cast<wint_t>(c), Classes()); }
bool IsLetter(wchar_t c) { return !IsSurrogate(c) && iswalpha_l(static_cast<wint_t>(c), Classes()); }
bool IsDigit(wchar_t c) { return !IsSurrogate(c) && iswdigit_l(static_cast<wint_t>(c), Classes()); }
bool IsPunctuation(wchar_t c) { return !IsSurrogate(c) && iswpunct_l(static_cast<wint_t>(c), Classes()); }

}  // namespace Tevrian::Expression::CharClass
