#include "PdfLayout.h"

#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>

#include "TextMarkers.h"

namespace tovan::PdfLayout {

void to_json(nlohmann::json& j, const Span& s) {
    j = nlohmann::json::object();
    j["page"] = s.page;
    j["start"] = s.start;
    j["end"] = s.end;
    j["l"] = static_cast<double>(s.l);
    j["t"] = static_cast<double>(s.t);
    j["r"] = static_cast<double>(s.r);
    j["b"] = static_cast<double>(s.b);
}

namespace {

std::int64_t integerKey(const nlohmann::json& j, const char* key) {
    const nlohmann::json& v = j.at(key);
    // A fractional number is not an integer; get<>() alone would truncate it.
    if (!v.is_number_integer())
        throw nlohmann::json::type_error::create(302, std::string("\"") + key + "\" is not an integer", &v);
    return v.get<std::int64_t>();
}

float floatKey(const nlohmann::json& j, const char* key) {
    const nlohmann::json& v = j.at(key);
    if (!v.is_number())
        throw nlohmann::json::type_error::create(302, std::string("\"") + key + "\" is not a number", &v);
    const double d = v.get<double>();
    // Out of float range the cast would be undefined; IEEE gives infinity.
    if (std::fabs(d) > std::numeric_limits<float>::max())
        return d > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

}  // namespace

void from_json(const nlohmann::json& j, Span& s) {
    if (!j.is_object()) throw nlohmann::json::type_error::create(302, "a span is not an object", &j);
    Span out;
    out.page = integerKey(j, "page");
    out.start = integerKey(j, "start");
    out.end = integerKey(j, "end");
    out.l = floatKey(j, "l");
    out.t = floatKey(j, "t");
    out.r = floatKey(j, "r");
    out.b = floatKey(j, "b");
    s = out;
}

std::u16string Para::text() const {
    if (!heading) return raw;
    std::u16string s;
    s.reserve(raw.size() + 1);
    s += TextMarkers::head;
    s += raw;
    return s;
}

}  // namespace tovan::PdfLayout
