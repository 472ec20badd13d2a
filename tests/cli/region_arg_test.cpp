#include "cli/region_arg.h"

#include <gtest/gtest.h>

namespace kg {
namespace {

TEST(ParseRegionArg, AcceptsStrictJsonObjectsWithFourFiniteNumbersAndRefusesEverythingElse) {
    const std::pair<const char*, std::optional<Rect>> cases[] = {
        {R"({"x":10.5,"y":20.25,"width":640,"height":480})", Rect{10.5, 20.25, 640, 480}},
        {R"({"x":1,"y":2,"width":3,"height":4,"screen_x":0,"screen_y":-180})", Rect{1, 2, 3, 4}},
        {R"({"x":0,"y":0,"width":-5,"height":0})", Rect{0, 0, -5, 0}},  // sizes are checked later
        {" \n {\"height\":4,\"width\":3,\"y\":2,\"x\":1}\t", Rect{1, 2, 3, 4}},
        {R"({"x":-1e3,"y":1E2,"width":1e-2,"height":18446744073709551616})", Rect{-1000, 100, 0.01, 18446744073709551616.0}},
        {"", std::nullopt},
        {"10,20,640,480", std::nullopt},
        {"[10,20,640,480]", std::nullopt},
        {"null", std::nullopt},
        {R"({"x":10,"y":20,"width":640})", std::nullopt},
        {R"({"x":10,"y":20,"width":"640","height":480})", std::nullopt},
        {R"({"x":10,"y":20,"width":null,"height":480})", std::nullopt},
        {R"({"x":10,"y":20,"width":[640],"height":480})", std::nullopt},
        {R"({"x":true,"y":20,"width":640,"height":480})", std::nullopt},
        {R"({"x":10,"y":20,"width":1e400,"height":480})", std::nullopt},  // no finite double
        {R"({"x":NaN,"y":20,"width":640,"height":480})", std::nullopt},
        {R"({"x":10,"y":20,"width":640,"height":480)", std::nullopt},
        {R"({"x":10,"y":20,"width":640,"height":480} extra)", std::nullopt},
        {R"({'x':10,'y':20,'width':640,'height':480})", std::nullopt},
        {"{\"x\":1,\"y\":2,\"width\":3,\"height\":4,\"s\":\"\xFF\"}", std::nullopt},  // invalid UTF-8
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parseRegionArg(text), expected) << text;
    }
}

}  // namespace
}  // namespace kg
