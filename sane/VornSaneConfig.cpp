// Reading vorn.conf.
#include "VornSaneConfig.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

} // namespace

std::vector<std::string> VornParseScannerAddresses(const std::string& text)
{
    std::vector<std::string> addresses;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string entry = Trimmed(line.substr(0, line.find('#')));
        in_addr parsed {};
        if (!entry.empty() && inet_pton(AF_INET, entry.c_str(), &parsed) == 1)
            addresses.push_back(entry);
    }
    return addresses;
}

std::vector<std::string> VornConfigDirs(const char* configDirVariable)
{
    if (configDirVariable == nullptr || *configDirVariable == '\0')
        return {kVornDefaultConfigDir};
    std::vector<std::string> dirs;
    std::istringstream parts(configDirVariable);
    std::string dir;
    while (std::getline(parts, dir, ':')) {
        if (!dir.empty())
            dirs.push_back(dir);
    }
    const std::string value = configDirVariable;
    if (value.back() == ':')
        dirs.push_back(kVornDefaultConfigDir);
    return dirs;
}

std::vector<std::string> VornConfiguredScanners()
{
    for (const std::string& dir : VornConfigDirs(getenv(kVornConfigDirVariable))) {
        std::ifstream file(dir + "/" + kVornConfigName);
        if (file)
            return VornParseScannerAddresses(std::string((std::istreambuf_iterator<char>(file)), {}));
    }
    return {};
}
