#include "foundation/XQCodes.h"

const std::vector<int>& xqLibraryCodes() {
    static const std::vector<int> codes = {
        // database access
        2002, 2003, 2005, 2006, 2007, 2008, 2009, 2010, 2011, 2012, 2013, 2014, 2015, 2016, 2017, 2018, 2019,
        // sockets
        6001, 6002, 6003, 6004, 6005, 6100, 6101, 6102, 6103, 6104, 6105, 6106, 6107, 6108, 6109, 6110, 6111,
        6112, 6113, 6114, 6115, 6116,
        // links between hosts: TLS and allowed peers
        6120, 6121, 6122, 6123, 6124,
        // code-set conversion
        8461, 8462, 8463,
        // semaphores, threads, processes
        9001, 9002, 9003, 9004, 9005, 9006, 9007, 9008, 9009, 9010, 9012, 9014, 9015, 9017, 9018,
        // message queue and client polling
        9102, 9103, 9104, 9107, 9110, 9112, 9117, 9118, 9120, 9121, 9122, 9123, 9124, 9125,
        // messages
        9146, 9147, 9148, 9149,
        // configuration store and ini file
        9162, 9163, 9164, 9165, 9166};
    return codes;
}

const std::vector<int>& xqSocketErrorCodes() {
    static const std::vector<int> codes = [] {
        std::vector<int> v;
        for (int e = 88; e <= 133; ++e) v.push_back(e);
        return v;
    }();
    return codes;
}
