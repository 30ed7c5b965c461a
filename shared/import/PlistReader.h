#pragma once

#include "shared/DecodeError.h"
#include "shared/Expected.h"
#include "shared/import/PlistValue.h"

#include <cstddef>
#include <string_view>

namespace torvane {

/// Bounds on a property list from outside: profiles nest four or five
/// levels and hold a few hundred values.
inline constexpr int kMaxPlistDepth = 32;
inline constexpr std::size_t kMaxPlistElements = 100000;

/// Reads an XML ("<?xml" / "<plist") or binary ("bplist00") property list.
/// Strict: unknown elements, duplicate keys, entity declarations, trailing
/// content, bad Base64, overlong or cyclic binary references and anything
/// beyond the bounds above fail with one message that does not quote the
/// input.
Expected<PlistValue, DecodeError> readPlist(std::string_view bytes);

Expected<PlistValue, DecodeError> readXmlPlist(std::string_view bytes);
Expected<PlistValue, DecodeError> readBinaryPlist(std::string_view bytes);

} // namespace torvane
