#pragma once
// Ways for another program to find the simulator's line.

#include <string>

namespace phonesim {

// Sets the line "<port>=<path>" in the port-map file (keys compared ignoring case),
// keeping every other line; the file is replaced whole through a temporary file.
bool writePortMap(const std::string& file, const std::string& port, const std::string& path);

// Makes `link` a symbolic link to `target`. An existing symbolic link is replaced; any
// other file there is left alone and reported in *error.
bool makeLink(const std::string& link, const std::string& target, std::string* error);

// Removes `link` if it still points to `target`.
void removeLinkIfOurs(const std::string& link, const std::string& target);

}  // namespace phonesim
