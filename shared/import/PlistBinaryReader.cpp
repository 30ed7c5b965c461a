#include "shared/import/ImportText.h"
#include "shared/import/PlistReader.h"

#include <bit>
#include <cmath>
#include <set>
#include <vector>

#include <QString>

namespace torvane {

namespace {

// The binary format: "bplist00", the objects, a table of object offsets and
// a 32-byte trailer giving the sizes of offsets and references, the object
// count, the root object and where the offset table starts. Every number
// read from the file is checked against the file's size before it is used.
class BinaryPlistParser {
public:
    explicit BinaryPlistParser(std::string_view bytes) : m_bytes(bytes) {}

    Expected<PlistValue, DecodeError> parse() {
        constexpr std::size_t kHeader = 8;
        constexpr std::size_t kTrailer = 32;
        if (m_bytes.size() < kHeader + kTrailer + 1 || !m_bytes.starts_with("bplist00")) {
            return Unexpected{DecodeError{importText(
                QT_TRANSLATE_NOOP("ProfileImport", "the binary property list is truncated"))}};
        }
        const std::size_t trailer = m_bytes.size() - kTrailer;
        m_offsetSize = byteAt(trailer + 6);
        m_refSize = byteAt(trailer + 7);
        const std::uint64_t count = number(trailer + 8, 8);
        const std::uint64_t root = number(trailer + 16, 8);
        const std::uint64_t table = number(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8 || count == 0 ||
            root >= count || table < kHeader || table >= trailer ||
            count > (trailer - table) / m_offsetSize) {
            return Unexpected{DecodeError{importText(QT_TRANSLATE_NOOP(
                "ProfileImport", "the binary property list has an invalid trailer"))}};
        }
        m_count = count;
        m_table = table;
        m_objectsEnd = table;
        PlistValue value;
        if (!readObject(root, value, 1)) {
            return Unexpected{DecodeError{m_error}};
        }
        return value;
    }

private:
    std::uint8_t byteAt(std::size_t at) const { return static_cast<std::uint8_t>(m_bytes[at]); }

    // A big-endian unsigned number of `size` bytes; the caller checked bounds.
    std::uint64_t number(std::size_t at, std::size_t size) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) {
            value = (value << 8) | byteAt(at + i);
        }
        return value;
    }

    bool fail(std::string problem) {
        if (m_error.empty()) {
            m_error = std::move(problem);
        }
        return false;
    }

    bool inObjects(std::uint64_t at, std::uint64_t size) const {
        return at <= m_objectsEnd && size <= m_objectsEnd - at;
    }

    // The length of a string, data or container: the marker's low nibble, or
    // 0xF followed by an integer object.
    bool length(std::uint64_t& at, std::uint8_t marker, std::uint64_t& out) {
        out = marker & 0x0F;
        if (out != 0x0F) {
            return true;
        }
        if (!inObjects(at, 1)) {
            return fail(importText(
                QT_TRANSLATE_NOOP("ProfileImport", "the binary property list is truncated")));
        }
        const std::uint8_t intMarker = byteAt(at);
        const std::uint64_t size = std::uint64_t{1} << (intMarker & 0x0F);
        if ((intMarker & 0xF0) != 0x10 || size > 8 || !inObjects(at + 1, size)) {
            return fail(importText(QT_TRANSLATE_NOOP(
                "ProfileImport", "the binary property list has a malformed length")));
        }
        out = number(at + 1, size);
        at += 1 + size;
        return true;
    }

    bool readObject(std::uint64_t index, PlistValue& out, int depth) {
        if (depth > kMaxPlistDepth) {
            return fail(importText(
                QT_TRANSLATE_NOOP("ProfileImport", "the property list nests deeper than %1 levels"),
                std::to_string(kMaxPlistDepth)));
        }
        // Counting every visit, not every object, also bounds files whose
        // containers share children to blow up into a huge tree.
        if (++m_elements > kMaxPlistElements) {
            return fail(importText(
                QT_TRANSLATE_NOOP("ProfileImport", "the property list holds more than %1 values"),
                std::to_string(kMaxPlistElements)));
        }
        std::uint64_t at = number(m_table + index * m_offsetSize, m_offsetSize);
        if (at < 8 || !inObjects(at, 1)) {
            return fail(importText(QT_TRANSLATE_NOOP(
                "ProfileImport", "the binary property list points outside its objects")));
        }
        const std::uint8_t marker = byteAt(at++);
        const std::uint8_t low = marker & 0x0F;
        switch (marker >> 4) {
        case 0x0:
            if (marker == 0x08 || marker == 0x09) {
                out.type = PlistValue::Type::boolean;
                out.boolean = marker == 0x09;
                return true;
            }
            return fail(importText(
                QT_TRANSLATE_NOOP("ProfileImport", "the binary property list holds a null value")));
        case 0x1: {
            const std::uint64_t size = std::uint64_t{1} << low;
            if (low > 3 || !inObjects(at, size)) {
                return fail(importText(QT_TRANSLATE_NOOP(
                    "ProfileImport",
                    "the binary property list holds an integer wider than 64 bits")));
            }
            out.type = PlistValue::Type::integer;
            const std::uint64_t raw = number(at, size);
            // One to four bytes are unsigned, eight bytes are two's complement.
            out.integer = static_cast<std::int64_t>(raw);
            return true;
        }
        case 0x2: {
            if ((low != 2 && low != 3) || !inObjects(at, std::uint64_t{1} << low)) {
                return fail(importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "the binary property list holds a malformed real number")));
            }
            out.type = PlistValue::Type::real;
            if (low == 2) {
                out.real = std::bit_cast<float>(static_cast<std::uint32_t>(number(at, 4)));
            } else {
                out.real = std::bit_cast<double>(number(at, 8));
            }
            return true;
        }
        case 0x3: {
            if (marker != 0x33 || !inObjects(at, 8)) {
                return fail(importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "the binary property list holds a malformed date")));
            }
            out.type = PlistValue::Type::date;
            // Seconds since 2001-01-01, shown as they are: dates are only
            // ever reported, never used.
            const double seconds = std::bit_cast<double>(number(at, 8));
            // A year is about 3.2e7 seconds: ten thousand years either way.
            if (!(std::fabs(seconds) < 1e12)) {
                return fail(importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "the binary property list holds a malformed date")));
            }
            out.text = std::to_string(static_cast<long long>(seconds)) + " s after 2001-01-01";
            return true;
        }
        case 0x4:
        case 0x5:
        case 0x6: {
            std::uint64_t size = 0;
            if (!length(at, marker, size)) {
                return false;
            }
            const bool utf16 = (marker >> 4) == 0x6;
            if (utf16 && size > m_objectsEnd) {
                return fail(importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "the binary property list holds an overlong string")));
            }
            const std::uint64_t bytes = utf16 ? size * 2 : size;
            if (!inObjects(at, bytes)) {
                return fail(importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "the binary property list holds an overlong string")));
            }
            const auto* start = m_bytes.data() + at;
            if ((marker >> 4) == 0x4) {
                out.type = PlistValue::Type::data;
                out.text.assign(start, bytes);
            } else if (!utf16) {
                out.type = PlistValue::Type::string;
                out.text.assign(start, bytes);
                for (const char c : out.text) {
                    if (static_cast<unsigned char>(c) > 0x7F) {
                        return fail(importText(QT_TRANSLATE_NOOP(
                            "ProfileImport",
                            "the binary property list holds a non-ASCII ASCII string")));
                    }
                }
            } else {
                std::u16string units(size, u'\0');
                for (std::uint64_t i = 0; i < size; ++i) {
                    units[i] = static_cast<char16_t>(number(at + 2 * i, 2));
                }
                out.type = PlistValue::Type::string;
                out.text = QString::fromStdU16String(units).toStdString();
            }
            return true;
        }
        case 0xA:
        case 0xD: {
            std::uint64_t size = 0;
            if (!length(at, marker, size)) {
                return false;
            }
            const bool isDict = (marker >> 4) == 0xD;
            const std::uint64_t refs = isDict ? 2 : 1;
            if (size > m_objectsEnd / refs / m_refSize || !inObjects(at, size * refs * m_refSize)) {
                return fail(importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "the binary property list holds an overlong container")));
            }
            auto ref = [&](std::uint64_t i) {
                return number(at + i * m_refSize, m_refSize);
            };
            for (std::uint64_t i = 0; i < size * refs; ++i) {
                if (ref(i) >= m_count) {
                    return fail(importText(QT_TRANSLATE_NOOP(
                        "ProfileImport", "the binary property list refers to a missing object")));
                }
            }
            if (!isDict) {
                out.type = PlistValue::Type::array;
                for (std::uint64_t i = 0; i < size; ++i) {
                    PlistValue value;
                    if (!readObject(ref(i), value, depth + 1)) {
                        return false;
                    }
                    out.array.push_back(std::move(value));
                }
                return true;
            }
            out.type = PlistValue::Type::dict;
            std::set<std::string> keys;
            for (std::uint64_t i = 0; i < size; ++i) {
                PlistValue key;
                PlistValue value;
                if (!readObject(ref(i), key, depth + 1) ||
                    !readObject(ref(size + i), value, depth + 1)) {
                    return false;
                }
                if (key.type != PlistValue::Type::string) {
                    return fail(importText(
                        QT_TRANSLATE_NOOP("ProfileImport", "a dictionary of the binary property "
                                                           "list has a key that is not a string")));
                }
                if (!keys.insert(key.text).second) {
                    return fail(importText(QT_TRANSLATE_NOOP(
                        "ProfileImport", "a dictionary of the property list repeats a key")));
                }
                out.dict.push_back({std::move(key.text), std::move(value)});
            }
            return true;
        }
        default:
            return fail(importText(QT_TRANSLATE_NOOP(
                "ProfileImport",
                "the binary property list holds a kind of value profiles do not use")));
        }
    }

    std::string_view m_bytes;
    std::size_t m_offsetSize = 0;
    std::size_t m_refSize = 0;
    std::uint64_t m_count = 0;
    std::uint64_t m_table = 0;
    std::uint64_t m_objectsEnd = 0;
    std::size_t m_elements = 0;
    std::string m_error;
};

} // namespace

Expected<PlistValue, DecodeError> readBinaryPlist(std::string_view bytes) {
    return BinaryPlistParser(bytes).parse();
}

} // namespace torvane
