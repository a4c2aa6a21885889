// SondeIdentity: how the network outputs name the sonde: manufacturer, type and serial strings.
//
// In:  the settings (defaults: the sonde's name as this program gives it; a station that uploads
//      sets the strings the network documents for this sonde type) and a fix's transmitter
//      identifier.
// Out: the serial string every output uses (chase-map callsign, SondeHub serial, MQTT topic
//      level): the serial template with "{id}" replaced by the identifier as four hex digits.
#pragma once

#include <string>

namespace nimbra::outputs {

inline constexpr const char* kDefaultManufacturer = "Mark IIa";
inline constexpr const char* kDefaultSondeType = "Mark IIa";
inline constexpr const char* kDefaultSerialTemplate = "{id}";

struct SondeIdentity {
    std::string manufacturer = kDefaultManufacturer;
    std::string type = kDefaultSondeType;
    std::string serialTemplate = kDefaultSerialTemplate;

    std::string serialOf(unsigned transmitterId) const;
};

// False with a message when a string is empty, has control characters or (serial) would give a
// serial that cannot be an MQTT topic level.
bool checkIdentityText(const std::string& text, bool isSerial, std::string& error);

}  // namespace nimbra::outputs
