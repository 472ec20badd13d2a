#include "cli/result_printer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "cli/utf8.h"

namespace kg {

const ResultValue* ResultObject::find(const std::string& key) const {
    for (const auto& [k, v] : members_) {
        if (k == key) return &v;
    }
    return nullptr;
}

namespace {

void appendString(std::string& out, std::string_view raw) {
    const std::string text = utf8::repaired(raw);
    out += '"';
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    out += '"';
}

bool appendValue(std::string& out, const ResultValue& value) {
    if (const auto* s = std::get_if<std::string>(&value)) {
        appendString(out, *s);
    } else if (const auto* i = std::get_if<std::int64_t>(&value)) {
        out += std::to_string(*i);
    } else if (const auto* b = std::get_if<bool>(&value)) {
        out += *b ? "true" : "false";
    } else {
        const double d = std::get<double>(value);
        if (!std::isfinite(d)) return false;
        char buf[64];
        // Shortest text that reads back as the same double.
        const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
        if (ec != std::errc{}) return false;
        std::string_view text(buf, static_cast<std::size_t>(end - buf));
        out += text;
        // Keep a float recognisable as one for typed readers: 2 is written 2.0.
        if (text.find_first_of(".eEn") == std::string_view::npos) out += ".0";
    }
    return true;
}

}  // namespace

std::optional<std::string> serializeResult(const ResultObject& object) {
    std::string out = "{";
    bool first = true;
    for (const auto& [key, value] : object.members()) {
        if (!first) out += ',';
        first = false;
        appendString(out, key);
        out += ':';
        if (!appendValue(out, value)) return std::nullopt;
    }
    out += '}';
    return out;
}

void printResult(const ResultObject& object) {
    const auto text = serializeResult(object);
    if (!text) return;
    std::string line = *text;
    line += '\n';
    flockfile(stdout);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    funlockfile(stdout);
}

}  // namespace kg
