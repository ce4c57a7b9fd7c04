#ifndef TCORE_MESSAGES_MESSAGEPRINTER_H
#define TCORE_MESSAGES_MESSAGEPRINTER_H

// Internal to the message classes: the destination of a printout. Not exported.

#include <cstdio>
#include <string>

#include "foundation/XQString.h"

class MessagePrinter {
public:
    enum Form { StdoutForm, StreamForm, FileForm };

    // Empty destination: standard output through stdio. "COUT": the standard
    // output stream, when streamAllowed. Anything else: a file opened for
    // appending; when that fails, ok() is false and nothing is written.
    MessagePrinter(const XQSTRING& destination, bool streamAllowed = true);
    ~MessagePrinter();
    MessagePrinter(const MessagePrinter&) = delete;
    MessagePrinter& operator=(const MessagePrinter&) = delete;

    bool ok() const { return form_ == StreamForm || file_ != nullptr; }
    bool stream() const { return form_ == StreamForm; }

    // Writes text as it is (stdio forms) or as part of the current line (stream).
    void put(const std::string& text);
    // Ends a line: "\n" through stdio, a flushed line end on the stream.
    void endLine();

    // A label right-aligned in width characters, " : ", value, line end; in
    // the stream form preceded by a tab.
    void item(const char* label, int width, const std::string& value);
    void item(const char* label, int width, long value);
    // A fixed label text (already aligned, without " : "), then " : " and value.
    void fixed(const std::string& label, const std::string& value);
    // A frame line: as given in the stdio forms, after a tab in the stream form.
    void frame(const char* text);

    static std::string pad(const char* label, int width);

private:
    Form form_;
    FILE* file_ = nullptr;
    bool ownFile_ = false;
};

#endif
