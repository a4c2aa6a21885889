// CLocaleScope: printf-style formatting with '.' as the decimal point whatever the process
// locale is. The desktop program takes LC_ALL from the environment, after which "%.5f" would
// write "39,75000" under a German locale; decoded lines and record files must not change with
// the user's language. Switches only the calling thread's locale, for the scope's lifetime.
#pragma once

#include <locale.h>

namespace nimbra {

class CLocaleScope {
public:
    CLocaleScope();
    ~CLocaleScope();
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_;
};

}  // namespace nimbra
