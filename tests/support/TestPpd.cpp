// Writes the PPDs that test queues are created with.
#include "TestPpd.h"

#include <fstream>

namespace VornTest {

std::string SuiteModelName(const std::string& strModelCode)
{
    return "Vorn " + strModelCode;
}

bool WriteTestPpd(const std::string& strPath, const std::string& strModelName)
{
    std::ofstream file(strPath, std::ios::binary | std::ios::trunc);
    // No *cupsFilter line: CUPS then only accepts raw jobs, which is all the tests print, and
    // needs no filter programs in the private world.
    file << "*PPD-Adobe: \"4.3\"\n"
            "*FormatVersion: \"4.3\"\n"
            "*FileVersion: \"1.0\"\n"
            "*LanguageVersion: English\n"
            "*LanguageEncoding: ISOLatin1\n"
            "*PCFileName: \"TESTQ.PPD\"\n"
            "*Manufacturer: \"Test\"\n"
            "*Product: \"(" << strModelName << ")\"\n"
            "*ModelName: \"" << strModelName << "\"\n"
            "*ShortNickName: \"" << strModelName << "\"\n"
            "*NickName: \"" << strModelName << "\"\n"
            "*PSVersion: \"(3010.000) 0\"\n"
            "*LanguageLevel: \"3\"\n"
            "*ColorDevice: False\n"
            "*DefaultColorSpace: Gray\n"
            "*FileSystem: False\n"
            "*Throughput: \"1\"\n"
            "*LandscapeOrientation: Plus90\n"
            "*TTRasterizer: Type42\n"
            "*OpenUI *PageSize: PickOne\n"
            "*DefaultPageSize: A4\n"
            "*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
            "*CloseUI: *PageSize\n"
            "*DefaultImageableArea: A4\n"
            "*ImageableArea A4: \"0 0 595 842\"\n"
            "*DefaultPaperDimension: A4\n"
            "*PaperDimension A4: \"595 842\"\n";
    file.close();
    return !file.fail();
}

} // namespace VornTest
