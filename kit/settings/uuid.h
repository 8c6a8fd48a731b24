#pragma once
// A random (version 4) UUID, written in upper case, read in either case.

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltrop::settings {

struct Uuid {
    std::array<std::uint8_t, 16> bytes{};

    static Uuid random();
    static std::optional<Uuid> parse(std::string_view text);
    std::string text() const;  // 8-4-4-4-12, upper case

    auto operator<=>(const Uuid&) const = default;
};

}  // namespace veltrop::settings
