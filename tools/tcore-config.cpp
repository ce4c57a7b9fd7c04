// tcore-config --dsn DSN --prefix P [--user U --password W]
//              [list | get COMPONENT NAME | set COMPONENT NAME VALUE]
// Reads and changes the configuration store.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "db/XQConfiguration.h"
#include "support/ToolSupport.h"

namespace {

void usage(FILE* out) {
    std::fprintf(out,
                 "usage: tcore-config --dsn DSN --prefix P [--user U] [--password W] [COMMAND]\n"
                 "The configuration store: the table P.configuration of the control database\n"
                 "reached through the ODBC data source DSN.\n"
                 "Commands:\n"
                 "  list                       every element (the default)\n"
                 "  get COMPONENT NAME         the value of one element\n"
                 "  set COMPONENT NAME VALUE   changes an existing element and stores that row\n"
                 "COMPONENT is one of DDD, RTK, Agent, XQOdbc, Log (any case), or NONE for rows\n"
                 "of other components. A number element takes a decimal VALUE.\n"
                 "Exit codes: 0 done, 1 the store failed or has no such element, 2 usage.\n");
}

int usageError(const std::string& text) {
    std::fprintf(stderr, "tcore-config: %s\n", text.c_str());
    usage(stderr);
    return 2;
}

int failure(const XQRC& rc) {
    std::string text = tools::describe(rc);
    const std::string driverText = xqToMultibyte(rc.systemMessage);
    if (!driverText.empty() && text.find(driverText) == std::string::npos) text += "\n  " + driverText;
    std::fprintf(stderr, "tcore-config: %s\n", text.c_str());
    return 1;
}

bool parseComponent(const std::string& text, ComponentEnum& component) {
    const XQSTRING wide = xqFromMultibyte(text);
    for (int c = COMPONENT_NONE; c <= COMPONENT_LOG; ++c) {
        if (xqCompareNoCase(wide, ComponentEnumToString(static_cast<ComponentEnum>(c))) == 0) {
            component = static_cast<ComponentEnum>(c);
            return true;
        }
    }
    return false;
}

// The password of the control database is kept in memory only; never shown.
std::string shownValue(const XQConfigurationElement& e) {
    if (!e.isString) return std::to_string(e.valueInt);
    if (e.component == COMPONENT_DDD && e.name == L"password" && !e.valueString.empty()) return "********";
    return xqToMultibyte(e.valueString);
}

int list() {
    for (const XQConfigurationElement& e : XQConfiguration::getListAll()) {
        std::string line = xqToMultibyte(ComponentEnumToString(e.component));
        line.resize(std::max<size_t>(line.size(), 7), ' ');
        line += " " + xqToMultibyte(e.name);
        line.resize(std::max<size_t>(line.size(), 28), ' ');
        line += e.isString ? " string " : " int    ";
        line += shownValue(e);
        if (!e.shortName.empty()) line += "  (" + xqToMultibyte(e.shortName) + ")";
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

int get(ComponentEnum component, const XQSTRING& name) {
    XQConfigurationElement e;
    if (!XQConfiguration::getInstance()->getElement(component, name, e)) {
        XQRC rc(0, 0, XQRC::WhsSrv);
        XQConfiguration::getValueInt(component, name, rc);  // the store's own "no such element"
        if (rc.code == 0) rc = XQRC(9162, 0, XQRC::WhsDDD);
        return failure(rc);
    }
    std::printf("%s\n", shownValue(e).c_str());
    return 0;
}

int set(ComponentEnum component, const XQSTRING& name, const std::string& value) {
    XQConfiguration* config = XQConfiguration::getInstance();
    XQConfigurationElement e;
    if (!config->getElement(component, name, e)) {
        XQRC rc(0, 0, XQRC::WhsSrv);
        XQConfiguration::getValueInt(component, name, rc);
        if (rc.code == 0) rc = XQRC(9162, 0, XQRC::WhsDDD);
        return failure(rc);
    }
    XQRC rc(0, 0, XQRC::WhsSrv);
    if (e.isString) {
        rc = config->setValueString(component, name, xqFromMultibyte(value), e.shortName);
    } else {
        long number = 0;
        if (!tools::parseSigned(value, INT_MIN, INT_MAX, number)) {
            std::fprintf(stderr, "tcore-config: %s %s holds a number; '%s' is not one\n",
                         xqToMultibyte(ComponentEnumToString(component)).c_str(), xqToMultibyte(name).c_str(),
                         value.c_str());
            return 1;
        }
        rc = config->setValueInt(component, name, static_cast<int>(number), e.shortName);
    }
    if (rc.code == 0) rc = config->storeVariable(component, name);
    if (rc.code != 0) return failure(rc);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    tools::initProgram();
    std::string dsn, prefix, user, password;
    bool haveDsn = false, havePrefix = false;
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        }
        if (a == "--dsn" || a == "--prefix" || a == "--user" || a == "--password") {
            if (i + 1 >= argc) return usageError(a + " needs a value");
            std::string v = argv[++i];
            if (a == "--dsn") {
                dsn = v;
                haveDsn = true;
            } else if (a == "--prefix") {
                prefix = v;
                havePrefix = true;
            } else if (a == "--user") {
                user = v;
            } else {
                password = v;
            }
            continue;
        }
        // A single dash may begin a negative VALUE.
        if (a.compare(0, 2, "--") == 0) return usageError("unknown option '" + a + "'");
        words.push_back(a);
    }
    if (!haveDsn || dsn.empty()) return usageError("--dsn is required");
    if (!havePrefix || prefix.empty()) return usageError("--prefix is required");

    std::string command = words.empty() ? "list" : words[0];
    size_t wanted = command == "list" ? 1 : command == "get" ? 3 : command == "set" ? 4 : 0;
    if (wanted == 0) return usageError("unknown command '" + command + "'");
    if (words.size() > wanted || (!words.empty() && words.size() < wanted))
        return usageError(command + " takes " + std::to_string(wanted - 1) + " argument(s)");
    ComponentEnum component = COMPONENT_NONE;
    if (wanted > 1 && !parseComponent(words[1], component))
        return usageError("unknown component '" + words[1] + "'");

    tools::defaultOdbcSysIni();
    XQRC rc = XQConfiguration::init(xqFromMultibyte(dsn), xqFromMultibyte(prefix), xqFromMultibyte(user),
                                    xqFromMultibyte(password), 1);
    int status;
    if (rc.code != 0)
        status = failure(rc);
    else if (command == "list")
        status = list();
    else if (command == "get")
        status = get(component, xqFromMultibyte(words[2]));
    else
        status = set(component, xqFromMultibyte(words[2]), words[3]);
    XQConfiguration::terminate();
    return status;
}
