#include "char_class.h"

#include <windows.h>

namespace Tevrian::Expression::CharClass {
namespace {

WORD TypeOf(wchar_t c) {
  WORD type = 0;
  if (!GetStringTypeW(CT_CTYPE1, &c, 1, &type)) return 0;
  return type;
}

}  // namespace

bool IsBlank(wchar_t c) { return (TypeOf(c) & C1_SPACE) != 0; }
bool IsLetter(wchar_t c) { return (TypeOf(c) & C1_ALPHA) != 0; }
bool IsDigit(wchar_t c) { return (TypeOf(c) & C1_DIGIT) != 0; }
bool IsPunctuation(wchar_t c) { return (TypeOf(c) & C1_PUNCT) != 0; }

}  // namespace Tevrian::Expression::CharClass
