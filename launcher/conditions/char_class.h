// Character classes of the tokenizer: the platform's own wide-character classification of one
// UTF-16 code unit. Kept apart so that the tokenizer itself stays platform-free.
#pragma once

namespace Tevrian::Expression::CharClass {

bool IsBlank(wchar_t c);
bool IsLetter(wchar_t c);
bool IsDigit(wchar_t c);
bool IsPunctuation(wchar_t c);

}  // namespace Tevrian::Expression::CharClass
