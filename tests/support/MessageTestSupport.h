#ifndef TCORE_TESTS_SUPPORT_MESSAGETESTSUPPORT_H
#define TCORE_TESTS_SUPPORT_MESSAGETESTSUPPORT_H

// Helpers for the message tests: member-by-member comparison, random
// filling, packing a whole message and finding how far a pack wrote.

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "messages/XQAgentMessage.h"
#include "messages/XQBaseMessage.h"
#include "messages/XQKernelMessage.h"
#include "messages/XQLogMessage.h"

// Every member, lists element by element and every member of every element
// (not the records' key comparison). Empty when equal, otherwise one line
// per difference.
std::string diffMessages(const XQBaseMessage& a, const XQBaseMessage& b);
std::string diffMessages(const XQAgentMessage& a, const XQAgentMessage& b);
std::string diffMessages(const XQKernelMessage& a, const XQKernelMessage& b);
std::string diffMessages(const XQLogMessage& a, const XQLogMessage& b);

// Fills messages with random values: texts of up to maxText characters
// (printable ASCII only when asciiOnly, otherwise also other characters of
// the Basic Multilingual Plane, never NUL), numbers over the whole 32-bit
// range, lists of up to maxList elements, business-object trees three deep.
// RowsReceived matches the result set; DebugFlags stays below 3; the message
// type is left as it is.
class MessageRandom {
public:
    explicit MessageRandom(uint32_t seed, bool asciiOnly = false, unsigned maxText = 12, unsigned maxList = 3)
        : rng_(seed), ascii_(asciiOnly), maxText_(maxText), maxList_(maxList) {}

    void fill(XQBaseMessage& m);
    void fill(XQAgentMessage& m);
    void fill(XQKernelMessage& m);
    void fill(XQLogMessage& m);

    XQSTRING text();
    int32_t number();
    std::mt19937& rng() { return rng_; }
    // Texts "v1", "v2", ... and numbers counting on from there instead: every
    // member distinct and readable (printouts); list sizes stay random.
    void countUp() { counting_ = true; }

private:
    std::mt19937 rng_;
    bool ascii_;
    unsigned maxText_;
    unsigned maxList_;
    bool counting_ = false;
    int32_t count_ = 0;
};

// A packed message: the bytes, the sizes the message computed, and how many
// bytes the packers actually wrote.
struct PackedMessage {
    std::vector<unsigned char> bytes;
    unsigned int baseSize = 0;
    unsigned int ownSize = 0;
    unsigned long written = 0;
};

// Packs a base message alone (calls CalculateSize: stamps the time and, for
// a request, the origin address).
PackedMessage packBase(XQBaseMessage& m);
// Packs the base part and the derived part as the derived Send does.
PackedMessage packWhole(XQAgentMessage& m);
PackedMessage packWhole(XQKernelMessage& m);
PackedMessage packWhole(XQLogMessage& m);

// The payload as text (one character per wchar_t): handy for wire-byte checks.
XQSTRING payloadText(const std::vector<unsigned char>& bytes);

// Expected wire text of fields: "%05d" prefix and the characters.
XQSTRING fieldText(const XQSTRING& s);
XQSTRING fieldNumber(long v);

#endif
