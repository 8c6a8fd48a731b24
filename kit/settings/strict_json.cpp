#include "kit/settings/strict_json.h"

#include <nlohmann/json.hpp>

#include <set>
#include <vector>

namespace veltrop::settings::detail {

namespace {

using Json = nlohmann::json;

// Follows the parse, keeping the keys seen in every open object and where
// each open value sits.
class DuplicateKeyFinder final : public nlohmann::json_sax<Json> {
public:
    explicit DuplicateKeyFinder(std::string rootPath) : rootPath_(std::move(rootPath)) {}

    std::optional<SettingsCodingError> problem;

    bool null() override { return element(); }
    bool boolean(bool) override { return element(); }
    bool number_integer(number_integer_t) override { return element(); }
    bool number_unsigned(number_unsigned_t) override { return element(); }
    bool number_float(number_float_t, const string_t&) override { return element(); }
    bool string(string_t&) override { return element(); }
    bool binary(binary_t&) override { return element(); }

    bool start_object(std::size_t) override {
        element();
        open.push_back({false, 0, {}, {}, nextPath()});
        return true;
    }
    bool key(string_t& key) override {
        Frame& object = open.back();
        if (!object.keys.insert(key).second) {
            problem = SettingsCodingError{SettingsCodingError::Kind::duplicateKey, object.path, key, {}, {}};
            return false;
        }
        object.key = key;
        return true;
    }
    bool end_object() override {
        open.pop_back();
        return true;
    }
    bool start_array(std::size_t) override {
        element();
        open.push_back({true, 0, {}, {}, nextPath()});
        return true;
    }
    bool end_array() override {
        open.pop_back();
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    struct Frame {
        bool isArray;
        std::size_t index;  // arrays: elements begun so far
        std::set<std::string> keys;
        std::string key;   // objects: the key of the value being read
        std::string path;  // objects: where the object sits; arrays: their key's path
    };

    // Called as every value begins; counts array elements.
    bool element() {
        if (!open.empty() && open.back().isArray) ++open.back().index;
        return true;
    }

    // Where a value beginning now sits: "style" inside "configuration" is
    // "configuration.style", the first element of "presets" is "presets[0]".
    // Called after element(), so an array's count includes this value.
    std::string nextPath() const {
        if (open.empty()) return rootPath_;
        const Frame& parent = open.back();
        if (parent.isArray) return parent.path + "[" + std::to_string(parent.index - 1) + "]";
        return parent.path.empty() ? parent.key : parent.path + "." + parent.key;
    }

    std::string rootPath_;
    std::vector<Frame> open;
};

}  // namespace

std::optional<SettingsCodingError> strictnessProblem(std::string_view json, const std::string& rootPath) {
    if (const auto nul = json.find('\0'); nul != std::string_view::npos)
        return SettingsCodingError{SettingsCodingError::Kind::malformedJson, {}, {},
                                   "byte " + std::to_string(nul + 1) + " is a NUL byte, which JSON does not allow", {}};
    DuplicateKeyFinder finder(rootPath);
    Json::sax_parse(json.begin(), json.end(), &finder);
    return finder.problem;
}

}  // namespace veltrop::settings::detail
