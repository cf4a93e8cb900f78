// The stand-ins of the install tests laid out as the program finds them:
// shared libraries in the system folder and in the unpacked libraries
// folder, the cabinets of a product set, and the records the stand-ins keep.
#ifndef VARNEL_TESTS_SUPPORT_INSTALL_FIXTURES_H
#define VARNEL_TESTS_SUPPORT_INSTALL_FIXTURES_H

#include <windows.h>

#include <map>
#include <set>
#include <string>
#include <vector>

// The fourteen shared library names, in the program's order.
extern const char* const kLibraryNames[14];

// The prefix's real system folder, ending with a backslash.
std::string systemFolderPath();

// Keeps whatever the system folder holds under the fourteen names (Wine
// ships msvcr70.dll and msvcr71.dll) and restores it when the test ends.
class SystemFolderGuard {
public:
    SystemFolderGuard();
    ~SystemFolderGuard();
    SystemFolderGuard(const SystemFolderGuard&) = delete;
    SystemFolderGuard& operator=(const SystemFolderGuard&) = delete;
    // Empties the system folder of the fourteen names.
    void clear();

private:
    std::string backup_;
};

// Copies the stand-ins into `folder` under the fourteen names: the plain
// library for the first twelve, `makerVariant` (e.g. "standin_v1400510.dll")
// for the maker's two; names in `skip` are left out.
void layOutLibraries(const std::string& folder,
                     const std::string& makerVariant = "standin_v1400510.dll",
                     const std::set<std::string>& skip = {});

// Sets a file's last-write time (UTC).
void setWriteTime(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                  WORD minute, WORD second);
SYSTEMTIME writeTime(const std::string& path);

// A product set for variant L in `folder`: setup_sys.cab with the fourteen
// stand-ins, the a-cabinet with the stand-in installer (instbrx.exe) that
// continues into the b-cabinet, and the setup program.
bool makeProductSet(const std::string& folder, const std::string& makerVariant =
                                                    "standin_v1400510.dll");

// The files a product set is made of, by their full paths; `replaced` names
// single libraries that come from another file.
struct StandinFiles {
    std::string plain, maker, installer;
    std::map<std::string, std::string> replaced;
};
// The stand-ins of the test build.
StandinFiles builtStandins(const std::string& makerVariant = "standin_v1400510.dll");
bool makeProductSet(const std::string& folder, const StandinFiles& files);

// The tree an update server serves for variant L under `root`: the probe
// path, setup_sys.cab with the fourteen stand-ins, a one-cabinet a-set with
// the stand-in installer, and the setup program.
bool makeServerTree(const std::string& root);

// The records the stand-ins keep under %TEMP%.
void clearStandinLogs();
std::vector<std::string> logLines(const std::string& logName);
// Waits until the record has at least `count` lines.
std::vector<std::string> waitForLogLines(const std::string& logName, size_t count,
                                         DWORD timeoutMs = 10000);

#endif
