// SPDX-License-Identifier: MIT
// The C libraries' handles, each wrapped so that it frees itself.
#pragma once

#include <memory>

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

}  // namespace render
