// tcore-scramble [--reverse]: a password from standard input in its stored,
// scrambled form (hex), or back.
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "security/PasswordScramble.h"
#include "support/ToolSupport.h"

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-scramble [--reverse]\n"
                 "Reads one line from standard input. Without options the line is a password\n"
                 "and its scrambled form is printed as hex, as the configuration store keeps\n"
                 "it. With --reverse the line is that hex and the password is printed.\n"
                 "On a terminal the password is not echoed.\n");
}

// Keeps a typed password off the screen; restores the terminal when done.
class NoEcho {
public:
    NoEcho() {
        if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        if (active_) std::fprintf(stderr, "password: ");
    }
    ~NoEcho() {
        if (!active_) return;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
        std::fprintf(stderr, "\n");
    }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

private:
    termios saved_{};
    bool active_ = false;
};

bool readLine(std::string& line) {
    if (!std::getline(std::cin, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool fromHex(const std::string& text, std::vector<unsigned char>& bytes) {
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != '\t') digits += c;
    if (digits.empty() || digits.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < digits.size(); i += 2) {
        int hi = hexDigit(digits[i]), lo = hexDigit(digits[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(static_cast<unsigned char>(hi * 16 + lo));
    }
    return true;
}

int scramble() {
    std::string line;
    bool got;
    {
        NoEcho quiet;
        got = readLine(line);
    }
    if (!got) {
        std::fprintf(stderr, "tcore-scramble: no password on standard input\n");
        return 1;
    }
    std::vector<unsigned char> scrambled;
    XQRC rc = scramblePassword(xqFromMultibyte(line), scrambled);
    if (rc.code != 0) {
        std::fprintf(stderr, "tcore-scramble: %s\n", tools::describe(rc).c_str());
        return 1;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char b : scrambled) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    std::printf("%s\n", out.c_str());
    return 0;
}

int unscramble() {
    std::string line;
    if (!readLine(line)) {
        std::fprintf(stderr, "tcore-scramble: no scrambled password on standard input\n");
        return 1;
    }
    std::vector<unsigned char> scrambled;
    if (!fromHex(line, scrambled)) {
        std::fprintf(stderr, "tcore-scramble: the input is not an even number of hex digits\n");
        return 1;
    }
    XQSTRING password;
    XQRC rc = unscramblePassword(scrambled, password);
    if (rc.code != 0) {
        std::fprintf(stderr, "tcore-scramble: %s\n", tools::describe(rc).c_str());
        return 1;
    }
    std::printf("%s\n", xqToMultibyte(password).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    bool reverse = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (a == "--reverse" || a == "-r") {
            reverse = true;
            continue;
        }
        std::fprintf(stderr, "tcore-scramble: unknown argument '%s'\n", argv[i]);
        usage(stderr);
        return 2;
    }
    return reverse ? unscramble() : scramble();
}
