#include "kit/dates/properties.h"

namespace veltrop::dates {

const PropertyValue* find(const PropertyDictionary& dictionary, std::string_view key) {
    auto it = dictionary.find(key);
    return it == dictionary.end() ? nullptr : &it->second;
}

const PropertyDictionary& group(const PropertyDictionary& properties, std::string_view key) {
    static const PropertyDictionary empty;
    const PropertyValue* value = find(properties, key);
    if (value == nullptr) return empty;
    const PropertyDictionary* nested = value->dictionary();
    return nested ? *nested : empty;
}

}  // namespace veltrop::dates
