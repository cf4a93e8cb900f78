// A deployment that names its trusted publisher: update runs of the program
// built so (varnel_setup_trusting.exe) with stand-ins signed by the test
// environment's certificates, each case with one file that must be refused.
#include <gtest/gtest.h>

#include <string.h>

#include "tests/support/boxes.h"
#include "tests/support/files.h"
#include "tests/support/install_fixtures.h"

namespace {

// As tools/make_test_certs.sh names the test publisher.
const std::string kPublisher = u8"PI Varnel Sp. z o.o. Łódź";

struct TrustCase {
    const char* name;
    const char* file;     // the library, or instbrx.exe, to be refused; NULL for none
    const char* standin;  // the stand-in it is made of; "" leaves it out; NULL: a
                          // racing program swaps its folder once it is checked
    std::string reason;   // the second line of the refusal; "" when the run succeeds
};

const TrustCase kCases[] = {
    {"AllSignedByThePublisher", NULL, NULL, ""},
    {"UnsignedLibrary", "mscomctl.ocx", "unsigned.dll", u8"\nPlik nie ma podpisu cyfrowego."},
    {"LibraryChangedAfterSigning", "vncab.dll", "tampered.dll",
     u8"\nPlik został zmieniony po podpisaniu."},
    {"LibraryOfAnotherPublisher", "libeay32.dll", "other.dll",
     u8"\nPlik podpisał inny wydawca niż " + kPublisher},
    {"LibraryUnderAnUntrustedRoot", "vfp7r.dll", "rogue.dll",
     u8"\nCertyfikat podpisu nie pochodzi od zaufanego urzędu certyfikacji."},
    {"InstallerUnsigned", "instbrx.exe", "unsigned.exe", u8"\nPlik nie ma podpisu cyfrowego."},
    {"LibraryMissingAtTheCheck", "mscomctl.ocx", "", u8"\nPlik nie ma podpisu cyfrowego."},
    {"PublisherNameWithASoftHyphen", "msvcr70.dll", "hyphen.dll",
     u8"\nPlik podpisał inny wydawca niż " + kPublisher},
    // The substitute never runs: the folder stays put, or the run refuses.
    {"LibraryFolderRenamedAfterTheCheck", "vncab.dll", NULL, ""},
    {"InstallerFolderRenamedAfterTheCheck", "instbrx.exe", NULL, ""},
};

void PrintTo(const TrustCase& c, std::ostream* out) { *out << c.name; }

std::string signedFolder() { return tempFolder() + "varnel_signed\\"; }

bool sign(const std::string& source, const std::string& name, const std::string& signer) {
    char certs[MAX_PATH] = "";
    GetEnvironmentVariableA("VARNEL_TEST_CERTS", certs, MAX_PATH);
    std::string key = std::string(certs) + "/" + signer;
    return certs[0] != '\0' &&
           runUnixCommand("osslsigncode sign -certs '" + key + ".chain.pem' -key '" + key +
                          ".key' -h sha256 -in '" + unixPath(source) + "' -out '" +
                          unixPath(signedFolder() + name) + "' >/dev/null") == 0;
}

class TrustedPublisher : public ::testing::TestWithParam<TrustCase> {
protected:
    static void SetUpTestSuite() {
        StandinFiles built = builtStandins();
        removeTree(signedFolder());
        makeFolders(signedFolder());
        signedAll = sign(built.plain, "plain.dll", "publisher") &&
                    sign(built.maker, "maker.dll", "publisher") &&
                    sign(built.installer, "installer.exe", "publisher") &&
                    sign(built.maker, "tampered.dll", "publisher") &&
                    sign(built.plain, "other.dll", "other") &&
                    sign(built.plain, "rogue.dll", "rogue") &&
                    sign(built.plain, "hyphen.dll", "hyphen");
        CopyFileA(built.plain.c_str(), (signedFolder() + "unsigned.dll").c_str(), FALSE);
        CopyFileA(built.installer.c_str(), (signedFolder() + "unsigned.exe").c_str(), FALSE);
        // One byte of the code, well before the signature at the end.
        std::string tampered = readFile(signedFolder() + "tampered.dll");
        tampered[readFile(built.maker).size() / 2] ^= 0x01;
        writeFile(signedFolder() + "tampered.dll", tampered);
    }
    void SetUp() override {
        ASSERT_TRUE(signedAll) << "osslsigncode or the test certificates are missing";
        start = tempFolder() + "varnel_trusted_start";
        removeTree(start);
        system.clear();
        clearStandinLogs();
    }
    void TearDown() override { removeTree(start); }
    static bool signedAll;
    std::string start;
    SystemFolderGuard system;
};
bool TrustedPublisher::signedAll = false;

}  // namespace

TEST_P(TrustedPublisher, OnlyFilesSignedByThePublisherAreCopiedOrStarted) {
    const TrustCase& c = GetParam();
    StandinFiles files{signedFolder() + "plain.dll", signedFolder() + "maker.dll",
                       signedFolder() + "installer.exe", {}};
    bool installer = c.file != NULL && strcmp(c.file, "instbrx.exe") == 0;
    if (c.standin != NULL)
        (installer ? files.installer : files.replaced[c.file]) =
            c.standin[0] != '\0' ? signedFolder() + c.standin : "";
    ASSERT_TRUE(makeProductSet(start, files));
    std::string folder = tempFolder() + (installer ? "varnel\\start" : "varnel\\biblioteki");
    removeTree(folder + ".checked");
    bool swap = c.file != NULL && c.standin == NULL;
    SetEnvironmentVariableA("VARNEL_TEST_SWAP", swap ? c.file : NULL);
    // Not signed, and no program: started, it would end the run with a box.
    SetEnvironmentVariableA("VARNEL_TEST_SUBSTITUTE", (signedFolder() + "unsigned.dll").c_str());

    ProgramRun run =
        runProgram("\"" + programFolder() + "varnel_setup_trusting.exe\" x a1 a2 a3", start);
    SetEnvironmentVariableA("VARNEL_TEST_SWAP", NULL);
    ASSERT_TRUE(run.finished);
    if (c.reason.empty()) {
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_TRUE(run.boxes.empty()) << run.boxes[0].text;
        EXPECT_EQ(waitForLogLines("varnel_installer.log", 1).size(), 1u);
        for (const char* name : kLibraryNames) EXPECT_TRUE(pathExists(systemFolderPath() + name));
        EXPECT_EQ(readFile(systemFolderPath() + "vncab.dll"), readFile(files.maker));
        EXPECT_FALSE(pathExists(folder + ".checked"));
        removeTree(folder + ".checked");
        return;
    }
    EXPECT_EQ(run.exitCode, 1603u);
    folder += "\\";
    ASSERT_GE(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].title, u8"Aktualizacja programu Tabrix Kalk");
    EXPECT_EQ(run.boxes[0].text, u8"Nie można użyć pliku " + folder + c.file + c.reason);
    // Neither the refused file nor anything after it.
    EXPECT_EQ(pathExists(systemFolderPath() + c.file), false);
    EXPECT_EQ(pathExists(systemFolderPath() + "vnapiwin.dll"), installer);
    Sleep(300);
    EXPECT_TRUE(logLines("varnel_installer.log").empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, TrustedPublisher, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<TrustCase>& info) {
                             return std::string(info.param.name);
                         });
