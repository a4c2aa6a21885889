#include "outputs/sonde_identity.h"

#include "formats/kml_parts.h"
#include "outputs/addresses.h"

namespace nimbra::outputs {

std::string SondeIdentity::serialOf(unsigned transmitterId) const
{
    const std::string id = formats::idText(transmitterId);
    std::string serial;
    const std::string key = "{id}";
    std::size_t start = 0;
    for (std::size_t pos; (pos = serialTemplate.find(key, start)) != std::string::npos; start = pos + key.size())
        serial += serialTemplate.substr(start, pos - start) + id;
    return serial + serialTemplate.substr(start);
}

bool checkIdentityText(const std::string& text, bool isSerial, std::string& error)
{
    if (isSerial) {
        SondeIdentity probe;
        probe.serialTemplate = text;
        if (!checkTopicLevel(probe.serialOf(0x1A2B), error)) {
            error = "expected a serial such as {id} or MK-{id} ({id} is the identifier), without '/', '+' or '#', "
                    "got '" + text + "'";
            return false;
        }
        return true;
    }
    bool ok = !text.empty();
    for (char c : text)
        ok = ok && static_cast<unsigned char>(c) >= 0x20;
    if (!ok)
        error = "expected a name of printable characters, got '" + text + "'";
    return ok;
}

}  // namespace nimbra::outputs
