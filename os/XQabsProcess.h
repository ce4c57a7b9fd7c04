#ifndef TCORE_OS_XQABSPROCESS_H
#define TCORE_OS_XQABSPROCESS_H

#include "foundation/XQRC.h"

// A program of the system started as another user. Made by the factory
// (CreateProcess); the caller owns it and deletes it through this class.
// Used by one thread at a time. The abstract versions of StartProcess and
// TerminateProcess do nothing and return success.
class TCORE_EXPORT XQabsProcess {
public:
    XQabsProcess(const XQSTRING& program, const XQSTRING& directory, const XQSTRING& arguments, int option)
        : program(program), directory(directory), arguments(arguments), option(option), active(0) {}
    XQabsProcess(const XQabsProcess&) = default;
    XQabsProcess& operator=(const XQabsProcess&) = default;
    virtual ~XQabsProcess() = default;

    virtual XQRC TerminateProcess() { return XQRC(0, 0, XQRC::WhsSrv); }
    virtual XQRC StartProcess(const XQSTRING& /*user*/, const XQSTRING& /*password*/) {
        return XQRC(0, 0, XQRC::WhsSrv);
    }

    // Compares the running state.
    bool operator==(const XQabsProcess& other) const { return active == other.active; }

    XQSTRING program;    // program name
    XQSTRING directory;  // put in front of the program name
    XQSTRING arguments;  // blank-separated argument text
    int option;          // kept and copied; no meaning on this platform
    int active;          // 1 while a started process is believed to run
};

#endif
