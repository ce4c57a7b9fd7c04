#include "messages/MessagePrinter.h"

#include <cstring>
#include <iostream>

MessagePrinter::MessagePrinter(const XQSTRING& destination, bool streamAllowed) {
    if (destination.empty()) {
        form_ = StdoutForm;
        file_ = stdout;
    } else if (streamAllowed && destination == L"COUT") {
        form_ = StreamForm;
    } else {
        form_ = FileForm;
        file_ = fopen(xqToMultibyte(destination).c_str(), "a+");
        ownFile_ = file_ != nullptr;
    }
}

MessagePrinter::~MessagePrinter() {
    if (ownFile_)
        fclose(file_);
    else if (file_ != nullptr)
        fflush(file_);
}

void MessagePrinter::put(const std::string& text) {
    if (form_ == StreamForm)
        std::cout << text;
    else if (file_ != nullptr)
        fwrite(text.data(), 1, text.size(), file_);
}

void MessagePrinter::endLine() {
    if (form_ == StreamForm)
        std::cout << std::endl;
    else if (file_ != nullptr)
        fputc('\n', file_);
}

std::string MessagePrinter::pad(const char* label, int width) {
    std::string s(label);
    if (static_cast<int>(s.size()) < width) s.insert(0, width - s.size(), ' ');
    return s;
}

void MessagePrinter::fixed(const std::string& label, const std::string& value) {
    if (form_ == StreamForm) put("\t");
    put(label);
    put(" : ");
    put(value);
    endLine();
}

void MessagePrinter::item(const char* label, int width, const std::string& value) {
    fixed(pad(label, width), value);
}

void MessagePrinter::item(const char* label, int width, long value) {
    item(label, width, std::to_string(value));
}

void MessagePrinter::frame(const char* text) {
    if (form_ == StreamForm) put("\t");
    put(text);
    endLine();
}
