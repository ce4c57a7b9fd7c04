#include "FuzzTargets.h"

#include <cstring>
#include <memory>
#include <vector>

#include "support/MessageTestSupport.h"

namespace {

// Packs into a zero-filled buffer of the computed size, as Send does.
std::vector<unsigned char> pack(XQBaseMessage& m) {
    unsigned int size = m.XQBaseMessage::CalculateSize();
    std::vector<unsigned char> bytes(size, 0);
    m.XQBaseMessage::PackMessage(bytes.data(), size);
    return bytes;
}

template <class M>
std::vector<unsigned char> pack(M& m) {
    unsigned int baseSize = m.XQBaseMessage::CalculateSize();
    unsigned int total = baseSize + m.CalculateSize();
    std::vector<unsigned char> bytes(total, 0);
    m.XQBaseMessage::PackMessage(bytes.data(), total);
    m.PackMessage(bytes.data() + baseSize);
    return bytes;
}

bool acceptable(int code) { return code == 0 || code == 9146 || code == 9149; }

template <class M>
std::string check(const unsigned char* payload, std::size_t size) {
    M first;
    XQRC rc = first.UnpackMessageBounded(payload, size);
    if (!acceptable(rc.code)) return "unexpected code " + std::to_string(rc.code);

    // What the queue does: the unbounded unpack once the announced size is
    // known to lie inside the bytes (the eye catcher may start up to 19 bytes in).
    unsigned long announced = XQBaseMessage::GetAnnouncedSize(payload, size);
    if (size >= 24 && announced > 0 && announced + 20 <= size) {
        M again;
        XQRC rc2 = again.UnpackMessage(payload, nullptr);
        if (rc2.code != rc.code) return "bounded and unbounded unpacks disagree";
    }
    if (rc.code != 0) return "";

    first.Print(L"/dev/null");
    first.DebugFlags = 0;
    first.IsRequest = 0;  // keeps the origin address as read
    std::vector<unsigned char> once = pack(first);
    M second;
    if (second.UnpackMessageBounded(once.data(), once.size()).code != 0) return "a packed message did not unpack";
    // Packing stamped the send time into first, so every member must agree.
    const std::string differences = diffMessages(first, second);
    if (!differences.empty()) return "unpacked again with other fields: " + differences;
    TimeStamp stamp = second.TransmitTS;
    std::vector<unsigned char> twice = pack(second);
    // Sizing stamps the send time: packed in another second, the bytes
    // differ there and nothing more can be compared.
    if (second.TransmitTS.get_Stamp() != stamp.get_Stamp()) return "";
    if (once.size() != twice.size()) return "sizes differ after a round trip";
    if (memcmp(once.data(), twice.data(), once.size()) != 0) return "bytes differ after a round trip";
    return "";
}

}  // namespace

std::string fuzzMessage(const unsigned char* data, std::size_t size) {
    if (size == 0) return "";
    // A payload may ask for the diagnostic dump into the current directory.
    ScratchCwd scratch;
    const int kind = data[0] % 4;
    const bool packed = (data[0] & 4) != 0;
    // An allocation of exactly the payload's size, so that a read past it is caught.
    std::size_t bytes = packed ? size - 1 : (size - 1) * sizeof(wchar_t);
    std::unique_ptr<unsigned char[]> payload(new unsigned char[bytes == 0 ? 1 : bytes]);
    if (packed) {
        if (bytes > 0) memcpy(payload.get(), data + 1, bytes);
    } else {
        for (std::size_t i = 1; i < size; ++i) {
            wchar_t c = static_cast<wchar_t>(data[i]);
            memcpy(payload.get() + (i - 1) * sizeof(wchar_t), &c, sizeof c);
        }
    }
    switch (kind) {
        case 0: return check<XQBaseMessage>(payload.get(), bytes);
        case 1: return check<XQAgentMessage>(payload.get(), bytes);
        case 2: return check<XQKernelMessage>(payload.get(), bytes);
        default: return check<XQLogMessage>(payload.get(), bytes);
    }
}
