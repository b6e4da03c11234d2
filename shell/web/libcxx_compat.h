// Force-included in the browser build: Debian's Emscripten 3.1.6 ships a libc++
// without std::bit_cast, which the compiler (clang 14) can do itself.
#pragma once

#include <bit>

#if !defined(__cpp_lib_bit_cast)
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
    static_assert(sizeof(To) == sizeof(From), "bit_cast needs types of one size");
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
