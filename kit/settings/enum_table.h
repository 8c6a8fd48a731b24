#pragma once
// Every persisted enumeration keeps its cases, stored strings and display
// names in one table beside its declaration; these helpers read the tables.

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace veltrop::settings {

template <class E>
struct EnumCase {
    E value;
    std::string_view raw;
    std::string_view display;
};

// Each enumeration provides `constexpr auto enumCases(E)` returning its table,
// found by argument-dependent lookup.
template <class E>
constexpr std::string_view rawValue(E value) {
    for (const auto& c : enumCases(E{}))
        if (c.value == value) return c.raw;
    return {};
}

template <class E>
constexpr std::string_view displayName(E value) {
    for (const auto& c : enumCases(E{}))
        if (c.value == value) return c.display;
    return {};
}

template <class E>
constexpr std::optional<E> fromRaw(std::string_view raw) {
    for (const auto& c : enumCases(E{}))
        if (c.raw == raw) return c.value;
    return std::nullopt;
}

template <class E>
constexpr auto allCases() {
    constexpr auto table = enumCases(E{});
    std::array<E, table.size()> values{};
    for (std::size_t i = 0; i < table.size(); ++i) values[i] = table[i].value;
    return values;
}

}  // namespace veltrop::settings
