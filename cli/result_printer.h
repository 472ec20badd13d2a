#pragma once
// One result object becomes one line of compact JSON on standard output.
//
// The form: no white space between tokens, every "/" written as "\/", control characters as
// JSON escapes, text always valid UTF-8 (invalid bytes become U+FFFD), integers in decimal,
// floats in the shortest form that reads back as the same 64-bit value. A float that JSON
// cannot carry (NaN, infinity) makes the whole object unserializable.

#include <optional>
#include <string>

#include "cli/result_object.h"

namespace kg {

// The JSON text of the object, without the line feed; nullopt when it cannot be serialized.
[[nodiscard]] std::optional<std::string> serializeResult(const ResultObject& object);

// Prints the object as one line and flushes. Any thread. The whole line is written under the
// standard-output lock, so lines printed from different threads never interleave. An object
// that cannot be serialized prints nothing. Write errors are ignored.
void printResult(const ResultObject& object);

}  // namespace kg
