// SPDX-License-Identifier: MIT
// The C libraries' handles, each wrapped so that it frees itself.
#pragma once

#include <memory>
#include <new>
#include <stdexcept>

#include <cairo.h>
#include <glib-object.h>
#include <pango/pango.h>

#include "render/free_with.h"

namespace render {

using CairoHandle = std::unique_ptr<cairo_t, FreeWith<cairo_destroy>>;
using SurfaceHandle = std::unique_ptr<cairo_surface_t, FreeWith<cairo_surface_destroy>>;
using FontDescriptionHandle = std::unique_ptr<PangoFontDescription, FreeWith<pango_font_description_free>>;
using FontOptionsHandle = std::unique_ptr<cairo_font_options_t, FreeWith<cairo_font_options_destroy>>;

// Pango's objects are GObjects: a reference each.
template <typename T>
using GObjectHandle = std::unique_ptr<T, FreeWith<g_object_unref>>;

// Cairo answers a failed allocation with a surface or context in an error state, which
// draws nothing. The renderer throws instead, so that a blank picture is never taken for
// a drawn label: std::bad_alloc when memory ran out.
inline void throwIfFailed(cairo_status_t status) {
    if (status == CAIRO_STATUS_NO_MEMORY) throw std::bad_alloc();
    if (status != CAIRO_STATUS_SUCCESS) throw std::runtime_error(cairo_status_to_string(status));
}

inline SurfaceHandle checked(SurfaceHandle surface) {
    throwIfFailed(cairo_surface_status(surface.get()));
    return surface;
}

}  // namespace render
