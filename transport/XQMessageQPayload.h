#ifndef TCORE_TRANSPORT_XQMESSAGEQPAYLOAD_H
#define TCORE_TRANSPORT_XQMESSAGEQPAYLOAD_H

// Internal to the message queue: recognising the control payloads and
// checking a payload before it is unpacked. Not exported.

#include <cstring>

#include "foundation/XQString.h"
#include "messages/XQBaseMessage.h"

const XQSTRING kStopText = L"STOP RECEIVING";
const XQSTRING kPingPrefix = L"PING SEND TO ";
const XQSTRING kPingErrorPrefix = L"PING ERROR ";

// Whether the payload (host-order wide characters) begins with prefix.
inline bool xqPayloadBegins(const unsigned char* data, unsigned int bytes, const XQSTRING& prefix) {
    const size_t need = prefix.size() * sizeof(wchar_t);
    return data != nullptr && bytes >= need && std::memcmp(data, prefix.data(), need) == 0;
}

// The payload as text, up to its first NUL character: a frame arrives
// zero-padded to the size its sender announced.
inline XQSTRING xqPayloadText(const unsigned char* data, unsigned int bytes) {
    XQSTRING text(bytes / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(&text[0], data, text.size() * sizeof(wchar_t));
    const size_t end = text.find(L'\0');
    if (end != XQSTRING::npos) text.resize(end);
    return text;
}

// Whether the message's announced total size is there to be read; announced
// receives it (0 when the head itself is not there).
inline bool xqPayloadFits(const unsigned char* data, unsigned int bytes, unsigned long& announced) {
    announced = XQBaseMessage::GetAnnouncedSize(data, bytes);
    return announced != 0 && announced <= bytes;
}

#endif
