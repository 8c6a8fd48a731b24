#pragma once
// Private to kit/platform: the laid-out line that pango_text.cpp makes and
// canvas.cpp draws. It holds Pango's types, whose headers only this layer
// can reach, so an include from anywhere else does not build.

#include <pango/pangocairo.h>

#include "kit/platform/canvas.h"

namespace veltrop::platform {

struct TextLine::Impl {
    PangoLayout* layout = nullptr;
    PangoRectangle ink{};  // Pango units, y down from the layout's top-left
    bool empty = true;

    Impl() = default;
    ~Impl() {
        if (layout != nullptr) g_object_unref(layout);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

}  // namespace veltrop::platform
