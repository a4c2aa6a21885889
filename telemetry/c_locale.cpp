#include "telemetry/c_locale.h"

namespace nimbra {

namespace {

// Created once and never freed: it is shared by every thread for the life of the process.
locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

}  // namespace

CLocaleScope::CLocaleScope() : previous_(static_cast<locale_t>(0))
{
    const locale_t c = cLocale();
    if (c != static_cast<locale_t>(0))
        previous_ = uselocale(c);
}

CLocaleScope::~CLocaleScope()
{
    if (previous_ != static_cast<locale_t>(0))
        uselocale(previous_);
}

}  // namespace nimbra
