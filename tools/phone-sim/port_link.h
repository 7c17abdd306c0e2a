#pragma once
// Ways for another program to find the simulator's line.

#include <optional>
#include <string>

namespace phonesim {

// Sets the line "<port>=<path>" in the port-map file (keys compared ignoring case),
// keeping every other line; the file is replaced whole through a temporary file.
// *replaced (when given) gets the line of that port the file had before, if any.
bool writePortMap(const std::string& file, const std::string& port, const std::string& path,
                  std::optional<std::string>* replaced = nullptr);
// Undoes writePortMap: when the port's line is still "<port>=<path>", puts `replaced`
// back in its place, or removes the line when there was none. A line someone else has
// changed meanwhile is left alone.
bool restorePortMap(const std::string& file, const std::string& port, const std::string& path,
                    const std::optional<std::string>& replaced);

// Makes `link` a symbolic link to `target`. An existing symbolic link is replaced; any
// other file there is left alone and reported in *error.
bool makeLink(const std::string& link, const std::string& target, std::string* error);

// Removes `link` if it still points to `target`.
void removeLinkIfOurs(const std::string& link, const std::string& target);

}  // namespace phonesim
