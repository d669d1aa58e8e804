#pragma once

#include <string>
#include <vector>

namespace platform {

// The folders where the preferences application looks for pane bundles:
// PreferencePanes in the user's Library folder (the effective user's home),
// then in the local one (/Library), as far as they can be named.
std::vector<std::string> standardPaneFolders();

// The pane bundles (*.prefPane folders) in `folders`, each folder's sorted by
// name, followed by `paths`: a path that ends in .prefPane is a pane itself,
// another is a folder to look in. Each bundle is listed once, at its first
// place. Folders that are missing are passed over; a path given that cannot
// be used is reported in `problems`.
std::vector<std::string> findPaneBundles(const std::vector<std::string>& folders, const std::vector<std::string>& paths,
                                         std::vector<std::string>* problems = nullptr);

} // namespace platform
