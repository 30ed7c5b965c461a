#include "shared/Base64.h"
#include "shared/import/ImportText.h"
#include "shared/import/PlistReader.h"

#include <charconv>
#include <set>

#include <QByteArray>
#include <QXmlStreamReader>

namespace torvane {

namespace {

class XmlPlistParser {
public:
    explicit XmlPlistParser(std::string_view bytes)
        : m_reader(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()))) {}

    Expected<PlistValue, DecodeError> parse() {
        PlistValue root;
        if (next() != QXmlStreamReader::StartElement || m_reader.name() != u"plist") {
            return failure(importText(
                QT_TRANSLATE_NOOP("ProfileImport", "the property list has no <plist> element")));
        }
        if (next() != QXmlStreamReader::StartElement) {
            return failure(
                importText(QT_TRANSLATE_NOOP("ProfileImport", "the property list is empty")));
        }
        if (!readValue(root, 1)) {
            return failure({});
        }
        if (next() != QXmlStreamReader::EndElement || next() != QXmlStreamReader::EndDocument) {
            return failure(importText(
                QT_TRANSLATE_NOOP("ProfileImport", "the property list holds more than one value")));
        }
        return root;
    }

private:
    Unexpected<DecodeError> failure(const std::string& problem) {
        if (!m_error.empty()) {
            return Unexpected{DecodeError{m_error}};
        }
        if (m_reader.hasError()) {
            return Unexpected{DecodeError{
                importText(QT_TRANSLATE_NOOP("ProfileImport",
                                             "the property list is not well-formed XML (line %1)"),
                           std::to_string(m_reader.lineNumber()))}};
        }
        return Unexpected{DecodeError{problem}};
    }

    // The next token that matters: comments, processing instructions and
    // whitespace between elements are skipped. A document type may only name
    // the format; declared entities would let a small file expand into a
    // large one, so they are refused.
    QXmlStreamReader::TokenType next() {
        for (;;) {
            const auto token = m_reader.readNext();
            switch (token) {
            case QXmlStreamReader::StartDocument:
            case QXmlStreamReader::Comment:
            case QXmlStreamReader::ProcessingInstruction:
                continue;
            case QXmlStreamReader::DTD:
                if (!m_reader.entityDeclarations().isEmpty() ||
                    !m_reader.notationDeclarations().isEmpty()) {
                    m_error = importText(
                        QT_TRANSLATE_NOOP("ProfileImport", "the property list declares entities"));
                    return QXmlStreamReader::Invalid;
                }
                continue;
            case QXmlStreamReader::Characters:
                if (m_reader.isWhitespace()) {
                    continue;
                }
                m_error = importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "the property list has text outside its values"));
                return QXmlStreamReader::Invalid;
            case QXmlStreamReader::EntityReference:
                m_error = importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "the property list uses an undeclared entity"));
                return QXmlStreamReader::Invalid;
            default:
                return token;
            }
        }
    }

    bool fail(std::string problem) {
        if (m_error.empty()) {
            m_error = std::move(problem);
        }
        return false;
    }

    // Text of a leaf element; child elements are an error.
    bool leafText(std::string& out) {
        const auto text = m_reader.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
        if (m_reader.hasError()) {
            return fail(importText(QT_TRANSLATE_NOOP(
                "ProfileImport", "a value of the property list holds an element")));
        }
        out = text.toStdString();
        return true;
    }

    // Called on a start element; consumes up to its end element.
    bool readValue(PlistValue& out, int depth) {
        if (depth > kMaxPlistDepth) {
            return fail(importText(
                QT_TRANSLATE_NOOP("ProfileImport", "the property list nests deeper than %1 levels"),
                std::to_string(kMaxPlistDepth)));
        }
        if (++m_elements > kMaxPlistElements) {
            return fail(importText(
                QT_TRANSLATE_NOOP("ProfileImport", "the property list holds more than %1 values"),
                std::to_string(kMaxPlistElements)));
        }
        const auto name = m_reader.name().toString().toStdString();
        if (name == "dict") {
            out.type = PlistValue::Type::dict;
            std::set<std::string> keys;
            for (;;) {
                const auto token = next();
                if (token == QXmlStreamReader::EndElement) {
                    return true;
                }
                std::string key;
                if (token != QXmlStreamReader::StartElement || m_reader.name() != u"key" ||
                    !leafText(key)) {
                    return fail(importText(QT_TRANSLATE_NOOP(
                        "ProfileImport", "a dictionary of the property list lacks a <key>")));
                }
                if (!keys.insert(key).second) {
                    return fail(importText(QT_TRANSLATE_NOOP(
                        "ProfileImport", "a dictionary of the property list repeats a key")));
                }
                PlistValue value;
                if (next() != QXmlStreamReader::StartElement || !readValue(value, depth + 1)) {
                    return fail(importText(QT_TRANSLATE_NOOP(
                        "ProfileImport", "a key of the property list has no value")));
                }
                out.dict.push_back({std::move(key), std::move(value)});
            }
        }
        if (name == "array") {
            out.type = PlistValue::Type::array;
            for (;;) {
                const auto token = next();
                if (token == QXmlStreamReader::EndElement) {
                    return true;
                }
                PlistValue value;
                if (token != QXmlStreamReader::StartElement || !readValue(value, depth + 1)) {
                    return fail(importText(QT_TRANSLATE_NOOP(
                        "ProfileImport", "an array of the property list is malformed")));
                }
                out.array.push_back(std::move(value));
            }
        }
        std::string text;
        if (!leafText(text)) {
            return false;
        }
        if (name == "string") {
            out.type = PlistValue::Type::string;
            out.text = std::move(text);
            return true;
        }
        if (name == "date") {
            out.type = PlistValue::Type::date;
            out.text = std::move(text);
            return true;
        }
        if (name == "true" || name == "false") {
            out.type = PlistValue::Type::boolean;
            out.boolean = name == "true";
            return text.empty() ||
                   fail(importText(QT_TRANSLATE_NOOP("ProfileImport",
                                                     "a boolean of the property list holds text")));
        }
        if (name == "integer") {
            out.type = PlistValue::Type::integer;
            const auto* end = text.data() + text.size();
            const auto [ptr, ec] = std::from_chars(text.data(), end, out.integer);
            return (!text.empty() && ec == std::errc{} && ptr == end) ||
                   fail(importText(QT_TRANSLATE_NOOP(
                       "ProfileImport", "an integer of the property list is not a 64-bit number")));
        }
        if (name == "real") {
            out.type = PlistValue::Type::real;
            const auto* end = text.data() + text.size();
            const auto [ptr, ec] = std::from_chars(text.data(), end, out.real);
            return (!text.empty() && ec == std::errc{} && ptr == end) ||
                   fail(importText(QT_TRANSLATE_NOOP(
                       "ProfileImport", "a real number of the property list is malformed")));
        }
        if (name == "data") {
            std::string compact;
            for (const char c : text) {
                if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
                    compact += c;
                }
            }
            auto bytes = base64Decode(compact);
            if (!bytes) {
                return fail(importText(QT_TRANSLATE_NOOP(
                    "ProfileImport", "a data value of the property list is not Base64")));
            }
            out.type = PlistValue::Type::data;
            out.text = std::move(*bytes);
            return true;
        }
        return fail(importText(
            QT_TRANSLATE_NOOP("ProfileImport", "the property list has an unknown element")));
    }

    QXmlStreamReader m_reader;
    std::size_t m_elements = 0;
    std::string m_error;
};

} // namespace

Expected<PlistValue, DecodeError> readXmlPlist(std::string_view bytes) {
    return XmlPlistParser(bytes).parse();
}

} // namespace torvane
