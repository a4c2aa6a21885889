#include "app/c_format.h"

#include <cstdarg>
#include <cstdio>

#include "telemetry/c_locale.h"

namespace nimbra {

QString cFormat(const char* format, ...)
{
    char text[256];
    const CLocaleScope cLocale;
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return QString::fromLatin1(text);
}

}  // namespace nimbra
