// A program outside the tree, built against the installed library.
#include <cstdio>

#include "foundation/TimeStamp.h"
#include "foundation/XQRC.h"

int main() {
    XQRC rc(9148, 0, XQRC::WhsSrv);
    rc.AddComment(L"first");
    rc.AddComment(L"second");
    TimeStamp ts;
    ts.set_Stamp(18000);
    std::printf("%d %s %lu\n", rc.code, XQRC::domainTypeToString(rc.domain) == L"WhsSrv" ? "WhsSrv" : "?",
                ts.get_Stamp());
    return rc.comment == L"first\nsecond" ? 0 : 1;
}
