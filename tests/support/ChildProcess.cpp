#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

using Clock = std::chrono::steady_clock;

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base ? base : "/tmp") + "/tcore-test-XXXXXX";
    if (mkdtemp(&pattern[0]) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text, unsigned int mode) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    chmod(path.c_str(), mode);
}

std::string toolPath(const std::string& name) {
    const char* dir = std::getenv("TCORE_BINARY_DIR");
    return std::string(dir != nullptr ? dir : ".") + "/tools/" + name;
}

ToolRun runTool(const std::string& dir, const std::string& name,
                const std::vector<std::string>& args, const std::string& input,
                const std::map<std::string, std::string>& env, double seconds) {
    ChildProcess child(dir, toolPath(name), args, input, env);
    EXPECT_TRUE(child.started()) << name;
    const int code = child.wait(seconds);
    return ToolRun{code, child.out(), child.err()};
}

ChildProcess::ChildProcess(const std::string& dir, const std::string& program,
                           const std::vector<std::string>& args, const std::string& input,
                           const std::map<std::string, std::string>& env) {
    static int serial = 0;
    const std::string stem = dir + "/run" + std::to_string(++serial);
    outPath_ = stem + ".out";
    errPath_ = stem + ".err";
    const std::string inPath = stem + ".in";
    std::ofstream(inPath, std::ios::binary) << input;

    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) {
        std::string entry = *e;
        if (env.count(entry.substr(0, entry.find('='))) == 0) envStrings.push_back(entry);
    }
    for (const auto& kv : env) envStrings.push_back(kv.first + "=" + kv.second);
    std::vector<char*> argv, envp;
    for (std::string& s : argStrings) argv.push_back(&s[0]);
    argv.push_back(nullptr);
    for (std::string& s : envStrings) envp.push_back(&s[0]);
    envp.push_back(nullptr);

    int in = open(inPath.c_str(), O_RDONLY | O_CLOEXEC);
    int out = open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int err = open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in >= 0 && out >= 0 && err >= 0) {
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
    }
    for (int fd : {in, out, err})
        if (fd >= 0) close(fd);
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

bool ChildProcess::ended(double seconds) {
    if (pid_ <= 0 || status_ >= 0) return true;
    const auto deadline =
        Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            status_ = status;
            return true;
        }
        if ((r < 0 && errno != EINTR) || Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

int ChildProcess::wait(double seconds) {
    if (pid_ <= 0) return -1;
    if (!ended(seconds)) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        ADD_FAILURE() << "child did not end within " << seconds << " s; killed";
        return -1;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
}

void ChildProcess::signal(int number) {
    if (pid_ > 0 && status_ < 0) kill(pid_, number);
}

unsigned int waitForPortFile(const std::string& path, ChildProcess& child) {
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (Clock::now() < deadline) {
        std::string text = readWholeFile(path);
        if (!text.empty() && text.back() == '\n')
            return static_cast<unsigned int>(std::stoul(text));
        if (child.ended(0)) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return 0;
}
