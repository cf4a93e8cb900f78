#include "tests/support/install_fixtures.h"

#include <sstream>

#include "tests/support/cabinets.h"
#include "tests/support/files.h"

const char* const kLibraryNames[14] = {
    "libeay32.dll",  "ssleay32.dll",    "msvcr70.dll",
    "msvcr71.dll",   "vfp7r.dll",       "vfp7renu.dll",
    "ChilKatFtp2.dll", "DebenuPDFLibraryAX0912.dll", "mscomm32.ocx",
    "msmapi32.ocx",  "mscomctl.ocx",    "richtx32.ocx",
    "vncab.dll",     "vnapiwin.dll",
};

std::string systemFolderPath() {
    char buffer[MAX_PATH];
    GetSystemDirectoryA(buffer, MAX_PATH);
    return std::string(buffer) + "\\";
}

SystemFolderGuard::SystemFolderGuard() : backup_(tempFolder() + "varnel_system_backup") {
    removeTree(backup_);
    makeFolders(backup_);
    for (const char* name : kLibraryNames) {
        std::string path = systemFolderPath() + name;
        if (pathExists(path)) CopyFileA(path.c_str(), (backup_ + "\\" + name).c_str(), FALSE);
    }
}

void SystemFolderGuard::clear() {
    for (const char* name : kLibraryNames) {
        std::string path = systemFolderPath() + name;
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
    }
}

SystemFolderGuard::~SystemFolderGuard() {
    clear();
    for (const char* name : kLibraryNames) {
        std::string saved = backup_ + "\\" + name;
        if (pathExists(saved))
            CopyFileA(saved.c_str(), (systemFolderPath() + name).c_str(), FALSE);
    }
    removeTree(backup_);
}

namespace {

void layOut(const std::string& folder, const StandinFiles& files,
            const std::set<std::string>& skip = {}) {
    makeFolders(folder);
    for (int i = 0; i < 14; ++i) {
        if (skip.count(kLibraryNames[i]) != 0) continue;
        auto other = files.replaced.find(kLibraryNames[i]);
        std::string source = other != files.replaced.end() ? other->second
                             : i < 12                      ? files.plain
                                                           : files.maker;
        std::string target = folder + "\\" + kLibraryNames[i];
        CopyFileA(source.c_str(), target.c_str(), FALSE);
        setWriteTime(target, 2024, 5, 6, 7, 8, 10);
    }
}

}  // namespace

StandinFiles builtStandins(const std::string& makerVariant) {
    return {programFolder() + "standin_plain.dll", programFolder() + makerVariant,
            programFolder() + "standin_installer.exe", {}};
}

void layOutLibraries(const std::string& folder, const std::string& makerVariant,
                     const std::set<std::string>& skip) {
    layOut(folder, builtStandins(makerVariant), skip);
}

void setWriteTime(const std::string& path, WORD year, WORD month, WORD day, WORD hour,
                  WORD minute, WORD second) {
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    HANDLE handle = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, NULL,
                                OPEN_EXISTING, 0, NULL);
    if (handle == INVALID_HANDLE_VALUE) return;
    SetFileTime(handle, NULL, NULL, &file);
    CloseHandle(handle);
}

SYSTEMTIME writeTime(const std::string& path) {
    SYSTEMTIME time = {};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        FileTimeToSystemTime(&data.ftLastWriteTime, &time);
    return time;
}

bool makeProductSet(const std::string& folder, const std::string& makerVariant) {
    return makeProductSet(folder, builtStandins(makerVariant));
}

bool makeProductSet(const std::string& folder, const StandinFiles& files) {
    std::string parts = folder + "\\parts";
    removeTree(parts);
    layOut(parts + "\\sys", files);
    std::vector<std::string> system = {"--set-id", "11", "setup_sys.cab"};
    for (const char* name : kLibraryNames)
        if (pathExists(parts + "\\sys\\" + name))  // a library replaced by "" is left out
            system.push_back(parts + "\\sys\\" + name + "=" + name + "|20|20240506070810");
    if (!makeCabinet(folder, system)) return false;

    makeFolders(parts);
    writeFile(parts + "\\filler.bin", randomBytes(100000, 7));
    writeFile(parts + "\\readme.txt", "Plik z drugiego pliku CAB");
    // Stored as they are, so the sizes are known: the a-cabinet holds the
    // installer and half the filler, which runs on into the b-cabinet, where
    // readme.txt starts.
    const std::string& installer = files.installer;
    size_t limit = readFile(installer).size() + 50000;
    if (!makeCabinet(folder, {"--set-id", "12", "--none", "--max-size", std::to_string(limit),
                              "setup_tbrx_3_xx*.cab", installer + "=instbrx.exe",
                              parts + "\\filler.bin=filler.bin", parts + "\\readme.txt=readme.txt"}))
        return false;
    writeFile(folder + "\\setup_tbrx_3_xx.exe", "MZ setup program");
    removeTree(parts);
    return pathExists(folder + "\\setup_tbrx_3_xxa.cab") &&
           pathExists(folder + "\\setup_tbrx_3_xxb.cab") &&
           !pathExists(folder + "\\setup_tbrx_3_xxc.cab");
}

bool makeServerTree(const std::string& root) {
    std::string programs = root + "programy";
    std::string product = programs + "\\3_xx\\tbrx";
    std::string parts = root + "parts";
    removeTree(parts);
    layOutLibraries(parts);
    std::vector<std::string> system = {"setup_sys.cab"};
    for (const char* name : kLibraryNames)
        system.push_back(parts + "\\" + name + "=" + name + "|20|20240506070810");
    bool made = makeCabinet(programs + "\\sys", system) &&
                makeCabinet(product, {"setup_tbrx_3_xxa.cab",
                                      programFolder() + "standin_installer.exe=instbrx.exe"});
    removeTree(parts);
    writeFile(programs + "\\setup_sys.cab", "probe");
    writeFile(product + "\\setup_tbrx_3_xx.exe", "MZ setup program");
    return made;
}

void clearStandinLogs() {
    for (const char* name : {"varnel_installer.log", "varnel_regsvr.log", "varnel_regsvr_hosts.log",
                             "varnel_loads.log"})
        DeleteFileA((tempFolder() + name).c_str());
}

std::vector<std::string> logLines(const std::string& logName) {
    std::vector<std::string> lines;
    std::istringstream in(readFile(tempFolder() + logName));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> waitForLogLines(const std::string& logName, size_t count,
                                         DWORD timeoutMs) {
    std::vector<std::string> lines = logLines(logName);
    for (DWORD waited = 0; lines.size() < count && waited < timeoutMs; waited += 20) {
        Sleep(20);
        lines = logLines(logName);
    }
    return lines;
}
