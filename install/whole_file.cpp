#include "install/whole_file.h"

#include <stddef.h>
#include <windows.h>

#include "folders/file_exists.h"

namespace {

bool readAt(HANDLE file, LONGLONG offset, void* buffer, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD read = 0;
    return SetFilePointerEx(file, at, NULL, FILE_BEGIN) &&
           ReadFile(file, buffer, size, &read, NULL) && read == size;
}

// A copy cut off by a power cut or a killed run keeps its name, and the
// libraries that are copied only when absent would never be repaired. Where
// the PE layout says the image goes on past the file's end, it was cut.
bool imageEndsInside(HANDLE file, LONGLONG size) {
    IMAGE_DOS_HEADER dos;
    // One byte is too short to tell: cut, like an empty file.
    if (size < 2) return false;
    if (!readAt(file, 0, &dos, 2) || dos.e_magic != IMAGE_DOS_SIGNATURE) return true;
    if (!readAt(file, 0, &dos, sizeof dos)) return false;
    LONGLONG headers = static_cast<LONGLONG>(static_cast<DWORD>(dos.e_lfanew));
    DWORD signature = 0;
    IMAGE_FILE_HEADER image;
    if (!readAt(file, headers, &signature, sizeof signature)) return false;
    if (signature != IMAGE_NT_SIGNATURE) return true;  // an old DOS program: nothing to measure
    if (!readAt(file, headers + 4, &image, sizeof image)) return false;
    LONGLONG optional = headers + 4 + sizeof image;
    // SizeOfHeaders lies at the same place in the 32- and 64-bit layouts.
    DWORD sizeOfHeaders = 0;
    if (image.SizeOfOptionalHeader >= offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfHeaders) + 4 &&
        !readAt(file, optional + offsetof(IMAGE_OPTIONAL_HEADER32, SizeOfHeaders),
                &sizeOfHeaders, sizeof sizeOfHeaders))
        return false;
    LONGLONG end = sizeOfHeaders;
    // The certificate table and the symbol table with its strings come after
    // the sections: a cut in the last bytes falls there.
    IMAGE_DATA_DIRECTORY certificates = {0, 0};
    WORD magic = 0;
    if (image.SizeOfOptionalHeader >= sizeof magic && !readAt(file, optional, &magic, sizeof magic))
        return false;
    size_t directory = (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC
                            ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                            : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory)) +
                       IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof certificates;
    if (image.SizeOfOptionalHeader >= directory + sizeof certificates &&
        !readAt(file, optional + directory, &certificates, sizeof certificates))
        return false;
    LONGLONG signedEnd = static_cast<LONGLONG>(certificates.VirtualAddress) + certificates.Size;
    if (certificates.VirtualAddress != 0 && signedEnd > end) end = signedEnd;
    if (image.PointerToSymbolTable != 0) {
        LONGLONG strings =
            image.PointerToSymbolTable + static_cast<LONGLONG>(IMAGE_SIZEOF_SYMBOL) * image.NumberOfSymbols;
        DWORD stringsSize = 0;
        if (!readAt(file, strings, &stringsSize, sizeof stringsSize)) return false;
        if (strings + stringsSize > end) end = strings + stringsSize;
    }
    LONGLONG table = optional + image.SizeOfOptionalHeader;
    for (WORD i = 0; i < image.NumberOfSections; ++i) {
        IMAGE_SECTION_HEADER section;
        if (!readAt(file, table + i * static_cast<LONGLONG>(sizeof section), &section,
                    sizeof section))
            return false;
        LONGLONG last = static_cast<LONGLONG>(section.PointerToRawData) + section.SizeOfRawData;
        if (section.SizeOfRawData != 0 && last > end) end = last;
    }
    return end <= size;
}

}  // namespace

bool wholeFileExists(const char* path) {
    if (!fileExists(path)) return false;
    HANDLE file = CreateFileA(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return true;
    LARGE_INTEGER size;
    bool whole = !GetFileSizeEx(file, &size) || imageEndsInside(file, size.QuadPart);
    CloseHandle(file);
    return whole;
}
