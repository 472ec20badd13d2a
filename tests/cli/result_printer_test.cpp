#include "cli/result_printer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace kg {
namespace {

struct SerializeCase {
    const char* name;
    ResultObject object;
    const char* expected;
};

TEST(SerializeResult, WritesCompactJsonWithEscapedSlashes) {
    const SerializeCase cases[] = {
        {"empty", {}, "{}"},
        {"usage", errorResult("usage: kestrelgrain-capture <select-region|record|stop>"),
         R"({"error":"usage: kestrelgrain-capture <select-region|record|stop>"})"},
        {"path", {{"status", std::string("recording")}, {"output", std::string("/tmp/a b/x.mp4")}},
         R"({"status":"recording","output":"\/tmp\/a b\/x.mp4"})"},
        {"integers", {{"pid", std::int64_t{4242}}, {"neg", std::int64_t{-180}}}, R"({"pid":4242,"neg":-180})"},
        {"bool", {{"cancelled", true}}, R"({"cancelled":true})"},
        {"quotes and backslashes", {{"k", std::string("a\"b\\c")}}, R"({"k":"a\"b\\c"})"},
        {"control characters", {{"k", std::string("a\nb\tc\x01")}}, R"({"k":"a\nb\tc\u0001"})"},
        {"non-ASCII kept as UTF-8", {{"k", std::string("300 \xC3\x97 200")}}, "{\"k\":\"300 \xC3\x97 200\"}"},
        {"slash in a key", {{"a/b", true}}, R"({"a\/b":true})"},
    };
    for (const auto& c : cases) {
        const auto text = serializeResult(c.object);
        ASSERT_TRUE(text.has_value()) << c.name;
        EXPECT_EQ(*text, c.expected) << c.name;
    }
}

TEST(SerializeResult, RepairsInvalidUtf8WithReplacementCharacters) {
    const struct {
        std::string raw;
        std::string repaired;
    } cases[] = {
        {"bad\xFFtail", "bad\xEF\xBF\xBDtail"},
        {"\xC3", "\xEF\xBF\xBD"},                               // truncated sequence
        {"\xE2\x82", "\xEF\xBF\xBD"},                           // maximal subpart: one replacement
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},               // overlong: each byte replaced
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
        {"ok \xF0\x9F\x8E\xA5", "ok \xF0\x9F\x8E\xA5"},         // valid 4-byte sequence kept
    };
    for (const auto& c : cases) {
        const auto text = serializeResult({{"error", "unknown command: " + c.raw}});
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, "{\"error\":\"unknown command: " + c.repaired + "\"}");
        // Whatever came in, the output parses as strict JSON.
        EXPECT_FALSE(nlohmann::json::parse(*text, nullptr, false).is_discarded());
    }
}

TEST(SerializeResult, FloatsReadBackAsTheSameDouble) {
    const double values[] = {7.5, 2.0, 0.1, 1.0 / 3.0, 123456789.123456789, 1e-300, 1.7976931348623157e308, -0.0, 5e-324};
    for (const double v : values) {
        const auto text = serializeResult({{"duration", v}});
        ASSERT_TRUE(text.has_value()) << v;
        const auto parsed = nlohmann::json::parse(*text);
        ASSERT_TRUE(parsed["duration"].is_number_float()) << *text;
        EXPECT_EQ(parsed["duration"].get<double>(), v) << *text;
    }
    EXPECT_EQ(*serializeResult({{"duration", 7.5}}), R"({"duration":7.5})");
}

TEST(SerializeResult, NonFiniteFloatMakesTheObjectUnserializable) {
    for (const double v : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(serializeResult({{"status", std::string("done")}, {"duration", v}}).has_value());
    }
}

}  // namespace
}  // namespace kg
