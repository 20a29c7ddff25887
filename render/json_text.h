// JSON texts and numbers as the program's JSON has always had them, byte for byte (the JSON
// library it was first written with, nlohmann-json, dumping with ensure_ascii off and invalid
// UTF-8 replaced):
//
//   texts      UTF-8 as it is, " and \ escaped, \b \t \n \f \r, the other codes below 0x20 as
//              \u001f (lower case); 0x7F as it is; each malformed UTF-8 sequence (its longest
//              valid beginning, or a byte no sequence begins with) as U+FFFD
//   fractions  the digits of nlohmann's Grisu2 (they read back as the value; now and then one
//              more than needed: 48.154833000000004), laid out as it lays them out: 25.0, 0.0001,
//              123456789012345.6, 1e-05, 1.5e+16; null for a value that is not finite
#ifndef PACKSCOPE_RENDER_JSON_TEXT_H_
#define PACKSCOPE_RENDER_JSON_TEXT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace packscope {

// Which digits a fraction gets.
enum class FractionDigits : std::uint8_t {
  kJson,      // those the program's JSON has always written (see above)
  kShortest,  // the fewest that read back as the value (48.154833), in the same layout
};

// Whether s is well-formed UTF-8 (no overlong forms, surrogates or values beyond U+10FFFF).
bool IsUtf8(std::string_view s);
// Appends s as a quoted JSON text (see above).
void AppendJsonString(std::string& out, std::string_view s);
// The same for Windows-1252 text (render/codepage.h), written as UTF-8.
void AppendJsonStringCp1252(std::string& out, std::string_view bytes);
// Appends v as a JSON number with a fraction part or an exponent ("25.0", "1e-07"), or null.
void AppendJsonFraction(std::string& out, double v, FractionDigits digits = FractionDigits::kJson);

}  // namespace packscope

#endif  // PACKSCOPE_RENDER_JSON_TEXT_H_
