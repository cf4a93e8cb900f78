#include "tests/support/files.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

std::string tempFolder() {
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    return buffer;
}

std::string programFolder() {
    char buffer[MAX_PATH];
    GetModuleFileNameA(NULL, buffer, MAX_PATH);
    std::string path = buffer;
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string currentFolder() {
    char buffer[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, buffer);
    return buffer;
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool pathExists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool isFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

void makeFolders(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), NULL);
    CreateDirectoryA(path.c_str(), NULL);
}

void removeTree(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        // Never follow a link planted by a test; Wine cannot remove it itself.
        runUnixCommand("rm -f '" + unixPath(path) + "'");
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name != "." && name != "..") removeTree(path + "\\" + name);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

std::string listFolder(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (FindNextFileA(search, &entry));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

std::string unixPath(const std::string& windowsPath) {
    typedef char*(CDECL * UnixFileNameFn)(LPCWSTR);
    UnixFileNameFn unixFileName = reinterpret_cast<UnixFileNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (unixFileName == NULL) return std::string();
    std::wstring wide(windowsPath.begin(), windowsPath.end());
    char* converted = unixFileName(wide.c_str());
    if (converted == NULL) return std::string();
    std::string result = converted;
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

int runUnixCommand(const std::string& command) {
    // Wine starts a Linux program without a process to wait for: the command
    // leaves its exit status in a marker file, which is polled for instead.
    static int counter = 0;
    std::string marker = tempFolder() + "unix_done_" + std::to_string(GetCurrentProcessId()) +
                         "_" + std::to_string(++counter);
    DeleteFileA(marker.c_str());
    std::string script = command + "; echo $? > '" + unixPath(marker) + ".tmp' && mv '" +
                         unixPath(marker) + ".tmp' '" + unixPath(marker) + "'";
    std::string line = "/bin/sh -c \"" + script + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return -1;
    // No handle is closed: for a Linux program Wine 8 opens none and leaves
    // hThread and the ids as whatever lay on its stack, so closing them
    // closed arbitrary handles of the test (its standard output among them).
    for (int i = 0; i < 1000 && !pathExists(marker); ++i) Sleep(10);
    if (!pathExists(marker)) return -1;
    int status = std::atoi(readFile(marker).c_str());
    DeleteFileA(marker.c_str());
    return status;
}
