// Fuzz target: an INI file as the softphone reads TARN.INI and the CTI client's
// INPUT.INI: every section and key the text names read back, the CTI record read,
// and one key written and read back, which must give what was written.

#include "tests/fuzz/FuzzEnvironment.h"
#include "tests/fuzz/FuzzInputFile.h"

#include "cti/CtiRecordFile.h"
#include "platform/IniFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

constexpr int MaxReads = 64;

// Reads what the text seems to name: "[section]" lines and "key=" lines under them.
void ReadNamedKeys(const IniFile& ini, const std::string& text)
{
    std::istringstream lines(text);
    std::string line;
    std::string section;
    for (int reads = 0; reads < MaxReads && std::getline(lines, line);) {
        std::size_t close = line.find(']');
        if (!line.empty() && line[0] == '[' && close != std::string::npos) {
            section = line.substr(1, close - 1);
        } else if (std::size_t equals = line.find('='); equals != std::string::npos) {
            ini.Read(section, line.substr(0, equals));
            ++reads;
        }
    }
}

// A key written into whatever the file holds reads back as written.
void WriteAndReadBack(IniFile& ini)
{
    const std::string value = "written value";
    if (ini.Write("Fuzz Section", "Fuzz Key", value) && ini.Read("fuzz section", "FUZZ KEY") != value)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzEnvironment environment(NetworkConfinement::Level::NoTraffic);
    static const FuzzInputFile file;
    if (!file.Write(data, size))
        return 0;
    IniFile ini(file.Path());
    ReadNamedKeys(ini, FuzzEnvironment::Text(data, size));
    CtiRecordFile record(file.Path());
    if (record.HasContent())
        record.Read();
    WriteAndReadBack(ini);
    return 0;
}
