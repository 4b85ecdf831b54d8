// Finding one byte string inside another in time linear in their lengths,
// whatever their contents (no quadratic worst case for repetitive texts).
#pragma once

#include <cstddef>
#include <string_view>

namespace quellix {

// The offset of the first occurrence of `needle` in `haystack`, or npos.
// The empty needle is found at 0.
std::size_t FindBytes(std::string_view haystack, std::string_view needle);

// The same search, always by the portable two-way algorithm (FindBytes uses
// the C library's memmem where there is one); exposed so it is tested everywhere.
std::size_t FindBytesTwoWay(std::string_view haystack, std::string_view needle);

}  // namespace quellix
