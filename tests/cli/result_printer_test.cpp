#include "cli/result_printer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace kg {
namespace {

TEST(SerializeResult, WritesCompactJsonEscapingSlashesQuotesAndControlCharacters) {
    const std::pair<ResultObject, const char*> cases[] = {
        {{}, "{}"},
        {{{"status", std::string("recording")}, {"output", std::string("/tmp/a b/x.mp4")}},
         R"({"status":"recording","output":"\/tmp\/a b\/x.mp4"})"},
        {{{"pid", std::int64_t{4242}}, {"neg", std::int64_t{-180}}, {"cancelled", true}},
         R"({"pid":4242,"neg":-180,"cancelled":true})"},
        {{{"k", std::string("a\"b\\c\nd\te\x01")}}, R"({"k":"a\"b\\c\nd\te\u0001"})"},
        {{{"k", std::string("300 \xC3\x97 200")}}, "{\"k\":\"300 \xC3\x97 200\"}"},  // UTF-8 kept
        {{{"a/b", true}}, R"({"a\/b":true})"},
    };
    for (const auto& [object, expected] : cases) {
        EXPECT_EQ(serializeResult(object), std::optional<std::string>(expected));
    }
}

TEST(SerializeResult, ReplacesInvalidUtf8SoTheLineAlwaysParses) {
    const std::string r = "\xEF\xBF\xBD";  // U+FFFD
    const std::pair<std::string, std::string> cases[] = {
        {"bad\xFFtail", "bad" + r + "tail"},
        {"\xC3", r},                          // truncated sequence
        {"\xE2\x82", r},                      // maximal subpart: one replacement
        {"\xC0\xAF", r + r},                  // overlong: each byte replaced
        {"\xED\xA0\x80", r + r + r},          // surrogate
        {"ok \xF0\x9F\x8E\xA5", "ok \xF0\x9F\x8E\xA5"},  // valid 4-byte sequence kept
    };
    for (const auto& [raw, repaired] : cases) {
        const auto text = serializeResult({{"error", raw}});
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, "{\"error\":\"" + repaired + "\"}");
        EXPECT_FALSE(nlohmann::json::parse(*text, nullptr, false).is_discarded());
    }
}

TEST(SerializeResult, FloatsReadBackAsTheSameDoubleAndNonFiniteOnesMakeNoLine) {
    for (const double v : {7.5, 0.1, 1.0 / 3.0, 123456789.123456789, 1.7976931348623157e308, -0.0, 5e-324}) {
        const auto text = serializeResult({{"duration", v}});
        ASSERT_TRUE(text.has_value()) << v;
        const auto parsed = nlohmann::json::parse(*text)["duration"];
        EXPECT_TRUE(parsed.is_number_float()) << *text;
        EXPECT_EQ(parsed.get<double>(), v) << *text;
    }
    EXPECT_EQ(*serializeResult({{"duration", 7.5}}), R"({"duration":7.5})");
    for (const double v : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(serializeResult({{"status", std::string("done")}, {"duration", v}}).has_value());
    }
}

}  // namespace
}  // namespace kg
