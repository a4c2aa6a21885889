// The web page's own files, built into the program (page/, made into page_files.cpp by
// embed_files.cmake): the page serves these and nothing of the disk but Leaflet and tiles.
#pragma once

#include <cstddef>

namespace nimbra::web {

struct PageFile {
    const char* path;          // "/index.html"
    const char* contentType;
    const char* text;
};

extern const PageFile kPageFiles[];
extern const std::size_t kPageFileCount;

}  // namespace nimbra::web
