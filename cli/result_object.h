#pragma once
// A result object: the one map every outcome of the tool is reported as. Flat (never nested),
// keys are text, values one of four kinds. Member order carries no meaning; it is kept as
// given only so that output is stable for people reading it.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace kg {

using ResultValue = std::variant<std::string, std::int64_t, double, bool>;

class ResultObject {
public:
    using Member = std::pair<std::string, ResultValue>;

    ResultObject() = default;
    ResultObject(std::initializer_list<Member> members) : members_(members) {}

    [[nodiscard]] const ResultValue* find(const std::string& key) const;
    [[nodiscard]] const std::vector<Member>& members() const { return members_; }
    [[nodiscard]] bool empty() const { return members_.empty(); }

private:
    std::vector<Member> members_;
};

// Convenience constructors for the two shapes most paths print.
[[nodiscard]] inline ResultObject errorResult(std::string message) {
    return ResultObject{{"error", ResultValue{std::move(message)}}};
}
[[nodiscard]] inline ResultObject warnResult(std::string message) {
    return ResultObject{{"warn", ResultValue{std::move(message)}}};
}

}  // namespace kg
