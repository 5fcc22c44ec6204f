// The contract of the value library `mailferryres`: every value of the store
// passes through these two functions as text. A number (type 4) travels as its
// decimal text; a text (type 1) as its 8-bit bytes. Both answer 0 or a store
// error code (the Win32 numbers of platform/registry.h).
#pragma once

#include <cstdint>

extern "C" {

// Reads value `name` of the key `path` below `root` (an open key handle) into
// `buffer` of `size` bytes as a NUL-terminated text. Leaves the buffer as it
// was when the key or value is missing, or when the text does not fit.
using GetValueFunction = int32_t (*)(void* root, const char* path, const char* name, int32_t type, char* buffer,
                                     int32_t size);

// Writes value `name` into the open key `key`. Type 1: the first `length`
// bytes of `data` as a text. Type 4: `data` is a NUL-terminated decimal text
// stored as a 32-bit number (`length` is 4).
using SetValueFunction = int32_t (*)(void* key, const char* name, int32_t type, const char* data, int32_t length);

}

namespace ferry::values {

inline constexpr const char* kLibraryName = "mailferryres";
inline constexpr const char* kGetValueSymbol = "GetValue";
inline constexpr const char* kSetValueSymbol = "SetValue";
inline constexpr int32_t kText = 1;
inline constexpr int32_t kNumber = 4;

}  // namespace ferry::values
