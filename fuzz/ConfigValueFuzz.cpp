// The configuration store turns each fetched row into an element inside
// XQConfiguration::load; this target drives the same steps on rows the
// fuzzer makes: the texts of the bound buffers (CHAR columns trimmed), the
// conversion to wide text and the component look-up.

#include <cstring>
#include <vector>

#include "FuzzTargets.h"
#include "db/OdbcDriver.h"
#include "db/XQConfiguration.h"

namespace {

// The buffers load() binds: component, name, type, value_char, short_name;
// component and type are CHAR columns (a server may pad them), the others
// VARCHAR.
const std::size_t kSizes[5] = {11, 21, 2, 200, 20};
const bool kChar[5] = {true, false, true, false, false};

class Input {
public:
    Input(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    unsigned char byte() { return at_ < size_ ? data_[at_++] : 0; }
    // A length indicator: null data, no total, or a length that may pass the buffer.
    SQLLEN indicator() {
        const unsigned int v = byte() | byte() << 8;
        if (v == 0xFFFF) return SQL_NULL_DATA;
        if (v == 0xFFFE) return SQL_NO_TOTAL;
        return static_cast<SQLLEN>(v % 512);
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::string checkText(const std::vector<char>& buffer, bool padded, SQLLEN indicator, std::string& text) {
    text = padded ? odbcTrimCharPadding(buffer.data(), buffer.size(), indicator)
                  : odbcText(buffer.data(), buffer.size(), indicator);
    if (indicator < 0 && !text.empty()) return "a null or unknown length gave text";
    if (text.size() > buffer.size() || (indicator >= 0 && text.size() > static_cast<std::size_t>(indicator)))
        return "the text is longer than its buffer or its length";
    if (std::memcmp(text.data(), buffer.data(), text.size()) != 0) return "the text is not what the buffer holds";
    if (text.find('\0') != std::string::npos) return "the text holds a NUL";
    if (padded && !text.empty() && text.back() == ' ') return "a CHAR text ends in a blank";
    const XQSTRING wide = xqFromMultibyte(text);
    if (wide.find(L'\xFFFD') == XQSTRING::npos && xqToMultibyte(wide) != text)
        return "the text does not convert to wide and back";
    return std::string();
}

}  // namespace

std::string fuzzConfigValue(const unsigned char* data, std::size_t size) {
    Input in(data, size);
    std::string texts[5];
    for (int column = 0; column < 5; ++column) {
        // Exactly the bound size, so that a read past it is caught; a driver
        // may fill it to the last byte without a terminator.
        std::vector<char> buffer(kSizes[column]);
        for (char& c : buffer) c = static_cast<char>(in.byte());
        const std::string failure = checkText(buffer, kChar[column], in.indicator(), texts[column]);
        if (!failure.empty()) return "column " + std::to_string(column + 1) + ": " + failure;
    }
    int valueInt = 0;
    for (int i = 0; i < 4; ++i) valueInt = static_cast<int>(static_cast<unsigned>(valueInt) << 8 | in.byte());

    const ComponentEnum component = ComponentEnumFromString(xqFromMultibyte(texts[0]));
    if (component < COMPONENT_NONE || component > COMPONENT_LOG) return "component out of range";
    if (component != COMPONENT_NONE && xqToMultibyte(ComponentEnumToString(component)) != texts[0])
        return "component text and value disagree";
    const XQConfigurationElement element(component, xqFromMultibyte(texts[1]), texts[2] == "C" ? 1 : 0,
                                         xqFromMultibyte(texts[3]), valueInt, xqFromMultibyte(texts[4]));
    ComponentEnum c;
    XQSTRING name, shortName, valueString;
    int isString = 0;
    long number = 0;
    element.get(c, name, shortName, isString, valueString, number);
    if (c != component || name != element.name || number != valueInt || valueString != element.valueString)
        return "the element gives back other fields";
    return std::string();
}
