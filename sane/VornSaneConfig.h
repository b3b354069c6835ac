// vorn.conf: the addresses of the network scanners the backend offers, one per line.
#pragma once

#include <string>
#include <vector>

constexpr const char* kVornConfigName = "vorn.conf";
constexpr const char* kVornDefaultConfigDir = "/etc/sane.d";
// Where SANE front-ends look for backend configuration instead of the default folder.
constexpr const char* kVornConfigDirVariable = "SANE_CONFIG_DIR";

// The IPv4 addresses the text lists; "#" starts a comment, blanks around entries are ignored,
// and lines that are no dotted IPv4 address are skipped.
std::vector<std::string> VornParseScannerAddresses(const std::string& text);

// Folders searched for vorn.conf, in order: those of SANE_CONFIG_DIR (separated by ":"; a
// trailing ":" appends the default folder), else the default folder.
std::vector<std::string> VornConfigDirs(const char* configDirVariable);

// The addresses of the first vorn.conf found; none when there is no such file.
std::vector<std::string> VornConfiguredScanners();
