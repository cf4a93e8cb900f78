#include "tests/support/cabinets.h"

#include <random>

#include "tests/support/boxes.h"
#include "tests/support/files.h"

namespace {

// The quoting that the C run time of the tool undoes.
std::string quoted(const std::string& argument) {
    std::string result = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        result.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        result += c;
    }
    result.append(2 * backslashes, '\\');
    return result + "\"";
}

}  // namespace

bool makeCabinet(const std::string& folder, const std::vector<std::string>& args) {
    makeFolders(folder);
    std::string line = quoted(programFolder() + "make_cabinet.exe") + " " + quoted(folder);
    for (const std::string& arg : args) line += " " + quoted(arg);
    ProgramRun run = runProgram(line, "", {}, 30000);
    return run.finished && run.exitCode == 0;
}

std::string randomBytes(size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::string bytes(count, '\0');
    for (char& byte : bytes) byte = static_cast<char>(generator() & 0xFF);
    return bytes;
}
