#pragma once
// UTF-8 checks for text that arrives as raw bytes (command-line arguments, file contents).

#include <string>
#include <string_view>

namespace kg::utf8 {

[[nodiscard]] bool isValid(std::string_view bytes);

// The bytes with every ill-formed sequence replaced by U+FFFD, one replacement per maximal
// ill-formed subpart (the Unicode recommendation), so nothing is dropped silently.
[[nodiscard]] std::string repaired(std::string_view bytes);

// The text with Unicode white space and line breaks (White_Space property) removed from both
// ends. The input must be valid UTF-8.
[[nodiscard]] std::string_view trimmedWhitespace(std::string_view text);

}  // namespace kg::utf8
