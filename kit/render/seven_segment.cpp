#include "kit/render/seven_segment.h"

#include <algorithm>

#include "kit/image/utf8.h"
#include "kit/platform/canvas.h"

namespace veltrop::render {

using image::Point;
using image::Size;
using image::Rect;
using image::forEachCodePoint;

namespace {

enum Segment { a, b, c, d, e, f, g };

const std::array<SevenSegment::Segments, 10>& digitTable() {
    static const std::array<SevenSegment::Segments, 10> table = [] {
        auto lit = [](std::initializer_list<Segment> on) {
            SevenSegment::Segments segments{};
            for (Segment s : on) segments[static_cast<std::size_t>(s)] = true;
            return segments;
        };
        return std::array{
            lit({a, b, c, d, e, f}), lit({b, c}),          lit({a, b, g, e, d}),    lit({a, b, g, c, d}),
            lit({f, g, b, c}),       lit({a, f, g, c, d}), lit({a, f, g, e, c, d}), lit({a, b, c}),
            lit({a, b, c, d, e, f, g}), lit({a, b, f, g, c, d}),
        };
    }();
    return table;
}

bool isDigit(char32_t character) { return character >= U'0' && character <= U'9'; }

// A rectangle leaned to the right by the cell's slant, measured from the cell's bottom.
Quad slanted(double x, double y, double width, double height, double cellBottom, double h) {
    const double k = SevenSegment::slant * h;
    auto shift = [&](double cornerY) { return h > 0 ? k * (cornerY - cellBottom) / h : 0.0; };
    return {Point{x + shift(y), y}, Point{x + width + shift(y), y},
            Point{x + width + shift(y + height), y + height}, Point{x + shift(y + height), y + height}};
}

}  // namespace

const SevenSegment::Segments& SevenSegment::segments(int digit) {
    static const Segments none{};
    if (digit < 0 || digit > 9) return none;
    return digitTable()[static_cast<std::size_t>(digit)];
}

double SevenSegment::advance(char32_t character, double h) {
    if (isDigit(character)) return (digitWidth + gap) * h;
    if (character == U' ') return narrowWidth * h;
    return (narrowWidth + gap) * h;
}

Size SevenSegment::measure(std::string_view text, double h) {
    if (text.empty()) return {0, h};
    double width = 0;
    forEachCodePoint(text, [&](char32_t character) { width += advance(character, h); });
    return {std::max(0.0, width - gap * h), h};
}

std::vector<Quad> SevenSegment::shapes(char32_t character, Point cell, double h) {
    const double x = cell.x, y = cell.y;
    const double t = thickness * h;
    const double k = slant * h;
    const double inset = endInset * t;
    const double w = digitWidth * h;
    const double narrow = narrowWidth * h;
    std::vector<Quad> result;

    if (isDigit(character)) {
        const Segments& lit = segments(static_cast<int>(character - U'0'));
        const std::array<Rect, 7> rects{
            Rect{x + inset, y + h - t, w - 2 * inset, t},              // a
            Rect{x + w - t, y + 0.5 * h + inset / 2, t, 0.5 * h - inset},  // b
            Rect{x + w - t, y + inset / 2, t, 0.5 * h - inset},        // c
            Rect{x + inset, y, w - 2 * inset, t},                      // d
            Rect{x, y + inset / 2, t, 0.5 * h - inset},                // e
            Rect{x, y + 0.5 * h + inset / 2, t, 0.5 * h - inset},      // f
            Rect{x + inset, y + 0.5 * h - t / 2, w - 2 * inset, t},    // g
        };
        for (std::size_t i = 0; i < rects.size(); ++i)
            if (lit[i]) result.push_back(slanted(rects[i].x, rects[i].y, rects[i].width, rects[i].height, y, h));
        return result;
    }

    const double dot = 0.95 * t;
    switch (character) {
        case U':':
            result.push_back(slanted(x + (narrow - dot) / 2, y + 0.2 * h, dot, dot, y, h));
            result.push_back(slanted(x + (narrow - dot) / 2, y + 0.62 * h, dot, dot, y, h));
            break;
        case U'.':
            result.push_back(slanted(x + (narrow - dot) / 2, y, dot, dot, y, h));
            break;
        case U'-':
            result.push_back(slanted(x, y + 0.5 * h - t / 2, narrow, t, y, h));
            break;
        case U'\'': {
            const double tickWidth = 0.9 * t;
            const double tickHeight = 2.2 * tickWidth;
            result.push_back(slanted(x + (narrow - tickWidth) / 2, y + h - tickHeight, tickWidth, tickHeight, y, h));
            break;
        }
        case U'/':
            // Leans further than the digits, so it is not slanted again.
            result.push_back(Quad{Point{x, y}, Point{x + t, y}, Point{x + t + 0.22 * h + k, y + h},
                                  Point{x + 0.22 * h + k, y + h}});
            break;
        default:
            break;
    }
    return result;
}

std::vector<Quad> SevenSegment::shapes(std::string_view text, Point origin, double h) {
    std::vector<Quad> result;
    double x = origin.x;
    forEachCodePoint(text, [&](char32_t character) {
        auto quads = shapes(character, Point{x, origin.y}, h);
        result.insert(result.end(), quads.begin(), quads.end());
        x += advance(character, h);
    });
    return result;
}

void SevenSegment::draw(std::string_view text, platform::Canvas& canvas, Point origin, double h,
                        const settings::Color& color) {
    canvas.save();
    double x = origin.x;
    forEachCodePoint(text, [&](char32_t character) {
        for (const Quad& quad : shapes(character, Point{x, origin.y}, h)) canvas.fillPolygon(quad, color);
        x += advance(character, h);
    });
    canvas.restore();
}

}  // namespace veltrop::render
