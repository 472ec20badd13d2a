#include "cli/region_arg.h"

#include <gtest/gtest.h>

namespace kg {
namespace {

TEST(ParseRegionArg, AcceptsObjectsWithFourNumbers) {
    const struct {
        const char* text;
        Rect expected;
    } cases[] = {
        {R"({"x":10,"y":20,"width":640,"height":480})", {10, 20, 640, 480}},
        {R"({"x":10.5,"y":20.25,"width":100,"height":50})", {10.5, 20.25, 100, 50}},
        {R"({"x":100,"y":200,"width":300,"height":200,"screen_x":0,"screen_y":-180})", {100, 200, 300, 200}},
        {R"({"x":0,"y":0,"width":-5,"height":0})", {0, 0, -5, 0}},
        {" \n {\"height\":4,\"width\":3,\"y\":2,\"x\":1}\t", {1, 2, 3, 4}},
        {R"({"x":-1e3,"y":1E2,"width":1e-2,"height":18446744073709551616})", {-1000, 100, 0.01, 18446744073709551616.0}},
    };
    for (const auto& c : cases) {
        const auto rect = parseRegionArg(c.text);
        ASSERT_TRUE(rect.has_value()) << c.text;
        EXPECT_EQ(*rect, c.expected) << c.text;
    }
}

TEST(ParseRegionArg, RefusesEverythingElse) {
    const char* const cases[] = {
        "",
        "10,20,640,480",
        "[10,20,640,480]",
        "42",
        "\"text\"",
        "null",
        R"({"x":10,"y":20,"width":640})",                    // missing height
        R"({"x":10,"y":20,"width":"640","height":480})",      // text
        R"({"x":10,"y":20,"width":null,"height":480})",
        R"({"x":10,"y":20,"width":[640],"height":480})",
        R"({"x":10,"y":20,"width":{"v":1},"height":480})",
        R"({"x":true,"y":20,"width":640,"height":480})",     // literals are not numbers
        R"({"x":10,"y":false,"width":640,"height":480})",
        R"({"x":10,"y":20,"width":1e400,"height":480})",     // does not fit a finite double
        R"({"x":10,"y":20,"width":640,"height":480)",        // unterminated
        R"({"x":10,"y":20,"width":640,"height":480} extra)",
        R"({'x':10,'y':20,'width':640,'height':480})",       // not strict JSON
        R"({"x":NaN,"y":20,"width":640,"height":480})",
        "{\"x\":1,\"y\":2,\"width\":3,\"height\":4,\"s\":\"\xFF\"}",  // invalid UTF-8
    };
    for (const char* text : cases) {
        EXPECT_FALSE(parseRegionArg(text).has_value()) << text;
    }
}

}  // namespace
}  // namespace kg
