// SPDX-License-Identifier: MIT
// The deleter of a C library's handle, for std::unique_ptr: the library's own function that
// frees it. `std::unique_ptr<cairo_t, FreeWith<cairo_destroy>>`.
#pragma once

namespace render {

template <auto Free>
struct FreeWith {
    template <typename T>
    void operator()(T* handle) const {
        Free(handle);
    }
};

}  // namespace render
