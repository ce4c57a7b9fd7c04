#ifndef TCORE_TESTS_SUPPORT_CHILDPROCESS_H
#define TCORE_TESTS_SUPPORT_CHILDPROCESS_H

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

// A private directory for one test, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// A whole file's bytes; empty when it cannot be read.
std::string readWholeFile(const std::string& path);
// Writes text as the whole file and gives it mode.
void writeFile(const std::string& path, const std::string& text, unsigned int mode = 0644);
// A program of the build tree's tools/ ($TCORE_BINARY_DIR).
std::string toolPath(const std::string& name);

// One program run as a child process: standard input from a file holding
// input, standard output and error into files of dir, the environment of
// the test with env added. The destructor kills a child still running.
// Everything is prepared before fork: the test may run threads.
class ChildProcess {
public:
    ChildProcess(const std::string& dir, const std::string& program,
                 const std::vector<std::string>& args, const std::string& input = "",
                 const std::map<std::string, std::string>& env = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    // The exit code, or -1 when the child did not end within seconds (it is
    // then killed, and the test fails) or ended by a signal.
    int wait(double seconds);
    // Whether it ended within seconds (reaped then); never kills.
    bool ended(double seconds);
    void signal(int number);
    std::string out() const { return readWholeFile(outPath_); }
    std::string err() const { return readWholeFile(errPath_); }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string outPath_, errPath_;
};

// What a tool run to its end gave: exit code (as wait gives it) and output.
struct ToolRun {
    int code;
    std::string out, err;
};
ToolRun runTool(const std::string& dir, const std::string& name,
                const std::vector<std::string>& args, const std::string& input = "",
                const std::map<std::string, std::string>& env = {}, double seconds = 30);

// Waits (bounded, 15 s) until a program has written its port file (a number
// and a line end); 0 when it did not, or the child ended first.
unsigned int waitForPortFile(const std::string& path, ChildProcess& child);

#endif
