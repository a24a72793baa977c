#include "pkgtool/printable_text.h"

#include <cstring>
#include <cwchar>
#include <cwctype>

void make_printable(char* text) {
  const char* in = text;
  const char* const end = text + strlen(text);
  char* out = text;
  mbstate_t state{};
  while (in < end) {
    wchar_t wide = 0;
    size_t length = mbrtowc(&wide, in, static_cast<size_t>(end - in), &state);
    if (length == static_cast<size_t>(-1) || length == static_cast<size_t>(-2) || length == 0) {
      state = mbstate_t{};
      *out++ = '?';
      ++in;
    } else if (wide == L'\n' || wide == L'\t' || iswprint(static_cast<wint_t>(wide))) {
      memmove(out, in, length);
      out += length;
      in += length;
    } else {
      *out++ = '?';
      in += length;
    }
  }
  *out = '\0';
}
