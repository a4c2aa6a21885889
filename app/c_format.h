// cFormat: printf-style formatting into a QString with '.' as the decimal point under every
// locale. The application object takes the C library's locale from the environment, after which
// plain snprintf would write "39,75" under a German locale. The text is read as Latin-1, so a
// "%c" of 0 ends it there, as it ends a C string.
#pragma once

#include <QString>

namespace nimbra {

QString cFormat(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace nimbra
