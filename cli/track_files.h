// Track files: the accepted fixes as GPX 1.1 and KML 2.2, and writing them safely.
//
// In:  the accepted fixes in order and the station position.
// Out: GPX (one track per transmitter, points with elevation and time; waypoints for the station
//      and each sonde's last position) and KML (per transmitter a line string at absolute
//      altitude and a placemark for the last position; a placemark for the station).
//
// PendingFile creates a temporary file beside the target at the start of the run, so that an
// output that cannot be written is reported before anything is decoded, and renames it over the
// target only when the whole document has been written: an interrupted run never leaves a half
// file over an older one.
#pragma once

#include <string>
#include <vector>

#include "cli/decode_session.h"

namespace nimbra::cli {

struct Station {
    float latitude = 0.0f;   // degrees, as the decoder holds them
    float longitude = 0.0f;  // degrees
    float altitude = 0.0f;   // metres
};

std::string gpxDocument(const std::vector<Fix>& fixes, const Station& station);
std::string kmlDocument(const std::vector<Fix>& fixes, const Station& station);

class PendingFile {
public:
    PendingFile() = default;
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Creates the temporary file; false with `error` set when the target's folder is not writable.
    bool open(const std::string& target, std::string& error);
    // Writes `content` to the temporary file and renames it to the target.
    bool commit(const std::string& content, std::string& error);
    bool isOpen() const { return fd_ >= 0; }

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
};

}  // namespace nimbra::cli
