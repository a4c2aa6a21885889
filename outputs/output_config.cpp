#include "outputs/output_config.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace nimbra::outputs {

std::string defaultStationName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return "nimbra";
    std::string s = name;
    for (char& c : s)
        if (c == '/' || c == '+' || c == '#' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    return s;
}

std::string defaultSpoolFolder(const std::string& program)
{
    std::string base;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
        base = state;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] == '\0') {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.local/state";
    }
    return base + "/nimbra/" + program + "-sondehub-spool";
}

}  // namespace nimbra::outputs
