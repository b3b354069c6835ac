// PPD files for test queues: raw-only descriptions whose *ModelName decides whether a queue
// belongs to the suite.
#pragma once

#include <string>

namespace VornTest {

// A model of the supported table, as a PPD names it: "Vorn " + code.
std::string SuiteModelName(const std::string& strModelCode);

// A model of another maker's driver; its queues are foreign to the suite.
inline const std::string c_strForeignModelName = "Kestrel Writer 500";

// Writes a raw-only PPD whose *ModelName is the given name (quoted, as drivers write it);
// false when the file cannot be written.
bool WriteTestPpd(const std::string& strPath, const std::string& strModelName);

} // namespace VornTest
