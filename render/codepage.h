// Windows-1252, the single-byte code page of the program's text: codes 0..127 are ASCII, 128..255
// are the Western European letters and signs of that code page. The five codes that it leaves
// undefined (81, 8D, 8F, 90, 9D) map to the control characters of the same number, so every
// byte survives a round trip through Unicode.
#ifndef PACKSCOPE_RENDER_CODEPAGE_H_
#define PACKSCOPE_RENDER_CODEPAGE_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace packscope {

char16_t Cp1252ToUnicode(std::uint8_t byte);
// The Windows-1252 byte of a Unicode character, or '?' when the code page has none.
std::uint8_t UnicodeToCp1252(char32_t c);

std::string Cp1252ToUtf8(std::string_view bytes);
void AppendCp1252AsUtf8(std::string& out, std::string_view bytes);
// Malformed UTF-8 and characters outside the code page become '?'.
std::string Utf8ToCp1252(std::string_view utf8);

}  // namespace packscope

#endif  // PACKSCOPE_RENDER_CODEPAGE_H_
