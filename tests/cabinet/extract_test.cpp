#include "cabinet/extract.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "session/session.h"
#include "session/text.h"
#include "session/variants.h"
#include "tests/support/boxes.h"
#include "tests/support/cabinets.h"
#include "tests/support/files.h"
#include "tests/support/session_setup.h"

namespace {

struct FileTimes {
    FILETIME creation, lastAccess, lastWrite;
};

FileTimes timesOf(const std::string& path) {
    FileTimes times = {};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    if (file != INVALID_HANDLE_VALUE) {
        GetFileTime(file, &times.creation, &times.lastAccess, &times.lastWrite);
        CloseHandle(file);
    }
    return times;
}

// "YYYY-MM-DD hh:mm:ss.mmm" of a UTC file time.
std::string shown(const FILETIME& time) {
    SYSTEMTIME parts;
    if (!FileTimeToSystemTime(&time, &parts)) return "invalid";
    char text[32];
    wsprintfA(text, "%04u-%02u-%02u %02u:%02u:%02u.%03u", parts.wYear, parts.wMonth, parts.wDay,
              parts.wHour, parts.wMinute, parts.wSecond, parts.wMilliseconds);
    return text;
}

unsigned long long ticks(const FILETIME& time) {
    return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

DWORD attributesOf(const std::string& path) { return GetFileAttributesA(path.c_str()); }

// Compares contents without printing kilobytes of random bytes on failure.
::testing::AssertionResult holds(const std::string& path, const std::string& expected) {
    std::string actual = readFile(path);
    if (actual == expected) return ::testing::AssertionSuccess();
    size_t at = 0;
    while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
    return ::testing::AssertionFailure() << path << ": " << actual.size() << " bytes instead of "
                                         << expected.size() << ", first difference at " << at;
}

// Wine shows every regular file with the archive bit, whatever was set.
const DWORD kWineArchive = FILE_ATTRIBUTE_ARCHIVE;

class CabinetExtraction : public ::testing::Test {
protected:
    void SetUp() override {
        startConfiguredSession();
        root = tempFolder() + "varnel_cabinet_test\\";
        removeTree(root.substr(0, root.size() - 1));
        sources = root + "zrodla\\";
        download = root + "instalacja\\";
        destination = root + "cel\\";
        makeFolders(sources.substr(0, sources.size() - 1));
        makeFolders(download.substr(0, download.size() - 1));
        makeFolders(destination.substr(0, destination.size() - 1));
        ASSERT_TRUE(copyText(session.downloadFolder, download.c_str()));
    }
    void TearDown() override { removeTree(root.substr(0, root.size() - 1)); }

    // A source file for the cabinets; returns its path.
    std::string source(const std::string& name, const std::string& content) {
        writeFile(sources + name, content);
        return sources + name;
    }
    // The cabinet (or set) in the download folder.
    void make(const std::vector<std::string>& args) { ASSERT_TRUE(makeCabinet(download, args)); }

    // Rewrites a continuation name inside a written cabinet (same length, so
    // the header stays valid).
    void renameContinuation(const std::string& cabinet, const std::string& from,
                            const std::string& to) {
        ASSERT_EQ(from.size(), to.size());
        std::string bytes = readFile(download + cabinet);
        size_t at = bytes.find(from + '\0');
        ASSERT_NE(at, std::string::npos) << from << " in " << cabinet;
        bytes.replace(at, from.size(), to);
        writeFile(download + cabinet, bytes);
    }

    int extract(const std::string& cabinet) {
        return extractCabinet(cabinet.c_str(), destination.c_str());
    }
    // The boxes of extractions that failed inside FDI: one each, naming the
    // cabinet the extraction was asked for.
    void expectReported(const BoxRecorder& recorder, const std::vector<std::string>& cabinets) {
        ASSERT_EQ(recorder.boxes().size(), cabinets.size());
        for (size_t i = 0; i < cabinets.size(); ++i) {
            EXPECT_EQ(recorder.boxes()[i].title, u8"Instalacja programu Tabrix Kalk");
            EXPECT_EQ(recorder.boxes()[i].text, u8"Nie można rozpakować pliku " + download + cabinets[i]);
        }
    }

    std::string root, sources, download, destination;
};

}  // namespace

TEST_F(CabinetExtraction, FilesComeOutIdenticalWithTheStoredTimesAndOnlyTheKeptAttributes) {
    std::string text = "Zawartość pliku tekstowego\r\n";
    std::string binary = randomBytes(70000, 1);
    std::string repetitive(120000, 'x');
    make({"setup_sys.cab", source("t.txt", text) + "=zwykly.txt|20|20211231235958",
          source("b.bin", binary) + "=binarny.bin|21|20040229123456",
          source("r.bin", repetitive) + "=ukryty.dat|2|19800101000000",
          source("s.bin", "s") + "=systemowy.dll|4",
          source("w.bin", "w") + "=wszystkie.ocx|67|20991231235958"});
    make({"--none", "setup_tbrx_3_xxa.cab", source("n.bin", binary) + "=bez_kompresji.bin|20"});

    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_sys.cab"), 1);
    EXPECT_EQ(extract("setup_tbrx_3_xxa.cab"), 1);
    EXPECT_TRUE(recorder.boxes().empty());

    EXPECT_EQ(listFolder(destination),
              "bez_kompresji.bin binarny.bin systemowy.dll ukryty.dat wszystkie.ocx zwykly.txt");
    EXPECT_TRUE(holds(destination + "zwykly.txt", text));
    EXPECT_TRUE(holds(destination + "binarny.bin", binary));
    EXPECT_TRUE(holds(destination + "ukryty.dat", repetitive));
    EXPECT_TRUE(holds(destination + "bez_kompresji.bin", binary));

    EXPECT_EQ(attributesOf(destination + "zwykly.txt"), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(attributesOf(destination + "binarny.bin"),
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(attributesOf(destination + "ukryty.dat"), FILE_ATTRIBUTE_HIDDEN | kWineArchive);
    EXPECT_EQ(attributesOf(destination + "systemowy.dll"), FILE_ATTRIBUTE_SYSTEM | kWineArchive);
    // 0x40 (FDI's execute flag) is no attribute of the file.
    EXPECT_EQ(attributesOf(destination + "wszystkie.ocx"),
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                    FILE_ATTRIBUTE_ARCHIVE));

    // Cabinet times are local; the tests run in UTC.
    const struct {
        const char* name;
        const char* time;
    } stamped[] = {{"zwykly.txt", "2021-12-31 23:59:58.000"},
                   {"binarny.bin", "2004-02-29 12:34:56.000"},
                   {"ukryty.dat", "1980-01-01 00:00:00.000"},
                   {"systemowy.dll", "2020-01-02 03:04:06.000"},
                   {"wszystkie.ocx", "2099-12-31 23:59:58.000"},
                   {"bez_kompresji.bin", "2020-01-02 03:04:06.000"}};
    for (const auto& file : stamped) {
        FileTimes times = timesOf(destination + file.name);
        EXPECT_EQ(shown(times.creation), file.time) << file.name;
        EXPECT_EQ(shown(times.lastWrite), file.time) << file.name;
        // The last access is left to the system: the moment of extraction.
        EXPECT_NE(ticks(times.lastAccess), ticks(times.lastWrite)) << file.name;
    }
}

TEST_F(CabinetExtraction, TimeThatCannotBeConvertedLeavesTheExtractionTimeButSetsAttributes) {
    make({"setup_sys.cab", source("a.bin", "abc") + "=bez_daty.dll|21|dos:0000:0000",
          source("b.bin", "def") + "=trzynasty.dll|2|dos:01a0:0000"});
    FILETIME before;
    GetSystemTimeAsFileTime(&before);

    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_sys.cab"), 1);
    EXPECT_TRUE(recorder.boxes().empty());

    EXPECT_EQ(readFile(destination + "bez_daty.dll"), "abc");
    EXPECT_EQ(readFile(destination + "trzynasty.dll"), "def");
    EXPECT_EQ(attributesOf(destination + "bez_daty.dll"),
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(attributesOf(destination + "trzynasty.dll"), FILE_ATTRIBUTE_HIDDEN | kWineArchive);
    const unsigned long long tenMinutes = 10ull * 60 * 10000000;
    for (const char* name : {"bez_daty.dll", "trzynasty.dll"}) {
        FileTimes times = timesOf(destination + name);
        EXPECT_LT(ticks(before) - tenMinutes, ticks(times.creation)) << shown(times.creation);
        EXPECT_LT(ticks(before) - tenMinutes, ticks(times.lastWrite)) << shown(times.lastWrite);
    }
}

TEST_F(CabinetExtraction, StoredFolderIsUsedOnlyWhenItExistsUnderTheDestination) {
    make({"setup_sys.cab", source("a.bin", "a") + "=pierwszy.txt",
          source("b.bin", "b") + "=podfolder\\plik.txt",
          source("c.bin", "c") + "=podfolder/drugi.txt", source("d.bin", "d") + "=ostatni.txt"});

    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_sys.cab"), 0);
    // No folder is made for a stored name; the files before it stay.
    EXPECT_EQ(listFolder(destination), "pierwszy.txt");

    removeTree(destination + "pierwszy.txt");
    makeFolders(destination + "podfolder");
    EXPECT_EQ(extract("setup_sys.cab"), 1);
    EXPECT_EQ(listFolder(destination), "ostatni.txt pierwszy.txt podfolder");
    EXPECT_EQ(listFolder(destination + "podfolder"), "drugi.txt plik.txt");
    EXPECT_EQ(readFile(destination + "podfolder\\plik.txt"), "b");
    EXPECT_EQ(readFile(destination + "podfolder\\drugi.txt"), "c");
    expectReported(recorder, {"setup_sys.cab"});  // the first extraction only
}

TEST_F(CabinetExtraction, PathsThatDoNotFitAreRefusedNeverCut) {
    // Destination and name together pass MAX_PATH; a cut path would still
    // name a file that could be created.
    std::string longName(MAX_PATH - destination.size() + 5, 'n');
    make({"setup_sys.cab", source("a.bin", "a") + "=" + longName});
    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_sys.cab"), 0);
    EXPECT_EQ(listFolder(destination), "");

    std::string deepDestination = destination + std::string(256 - destination.size(), 'g') + "\\";
    make({"setup_tbrx_3_xxa.cab", source("b.bin", "b") + "=b.txt"});
    EXPECT_EQ(extractCabinet("setup_tbrx_3_xxa.cab", deepDestination.c_str()), 0);
    EXPECT_EQ(listFolder(destination), "");
    expectReported(recorder, {"setup_sys.cab", "setup_tbrx_3_xxa.cab"});
}

class StoredName : public CabinetExtraction, public ::testing::WithParamInterface<const char*> {};

TEST_P(StoredName, NeverWritesOutsideTheDestinationAndStopsTheExtraction) {
    std::string hostile = GetParam();
    removeTree("C:\\x");
    removeTree(tempFolder() + "x");
    makeFolders(destination + "sub");
    make({"setup_tbrx_3_xxa.cab", source("a.bin", "przed") + "=przed.txt",
          source("x.bin", "zly") + "=" + hostile, source("c.bin", "po") + "=po.txt"});

    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_tbrx_3_xxa.cab"), 0);
    expectReported(recorder, {"setup_tbrx_3_xxa.cab"});
    EXPECT_EQ(listFolder(destination), "przed.txt sub");
    EXPECT_EQ(listFolder(destination + "sub"), "");
    EXPECT_EQ(listFolder(root), "cel instalacja zrodla");
    EXPECT_FALSE(pathExists("C:\\x"));
    EXPECT_FALSE(pathExists(tempFolder() + "x"));
}

INSTANTIATE_TEST_SUITE_P(Hostile, StoredName,
                         ::testing::Values("..\\x", "../x", "sub\\..\\..\\x", "sub/../../x",
                                           "..\\..\\x", "C:\\x", "C:x", "\\x", "/x",
                                           "\\\\?\\C:\\x", "sub\\x:strumien", ".. \\x",
                                           "...\\x", "...",
                                           // devices, in any folder, case or extension
                                           "COM1", "con.txt", "sub\\LPT9", "Nul .log", "aux"));

TEST_F(CabinetExtraction, SpanningSetExtractsEveryFileOnceAndWhole) {
    std::string first = randomBytes(20000, 11);
    std::string spanning = randomBytes(25000, 12);
    std::string later1 = randomBytes(6000, 13);
    std::string later2 = randomBytes(3000, 14);
    make({"--max-size", "30000", "setup_tbrx_3_xx*.cab", source("1", first) + "=pierwszy.bin",
          source("2", spanning) + "=przechodzi.bin|21|20220304050608",
          source("3", later1) + "=w_drugim.bin|20|20220304050610",
          source("4", later2) + "=ostatni.bin"});
    ASSERT_EQ(listFolder(download), "setup_tbrx_3_xxa.cab setup_tbrx_3_xxb.cab");

    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_tbrx_3_xxa.cab"), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(listFolder(destination), "ostatni.bin pierwszy.bin przechodzi.bin w_drugim.bin");
    EXPECT_TRUE(holds(destination + "pierwszy.bin", first));
    EXPECT_TRUE(holds(destination + "przechodzi.bin", spanning));
    EXPECT_TRUE(holds(destination + "w_drugim.bin", later1));
    EXPECT_TRUE(holds(destination + "ostatni.bin", later2));
    // The spanning file is stamped once, after its tail came from the second
    // cabinet; the second cabinet's partial entry leaves it alone.
    EXPECT_EQ(attributesOf(destination + "przechodzi.bin"),
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(shown(timesOf(destination + "przechodzi.bin").lastWrite), "2022-03-04 05:06:08.000");
    EXPECT_EQ(shown(timesOf(destination + "w_drugim.bin").lastWrite), "2022-03-04 05:06:10.000");
}

TEST_F(CabinetExtraction, FileRunningThroughAMiddleCabinetAndFilesStartingInTheLast) {
    std::string small = randomBytes(5000, 21);
    std::string huge = randomBytes(45000, 22);
    std::string tail = randomBytes(4000, 23);
    make({"--max-size", "20000", "setup_tbrx_3_xx*.cab", source("1", small) + "=maly.bin",
          source("2", huge) + "=duzy.bin", source("3", tail) + "=koniec.bin"});
    ASSERT_EQ(listFolder(download),
              "setup_tbrx_3_xxa.cab setup_tbrx_3_xxb.cab setup_tbrx_3_xxc.cab");

    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_tbrx_3_xxa.cab"), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(listFolder(destination), "duzy.bin koniec.bin maly.bin");
    EXPECT_TRUE(holds(destination + "maly.bin", small));
    EXPECT_TRUE(holds(destination + "duzy.bin", huge));
    EXPECT_TRUE(holds(destination + "koniec.bin", tail));
}

TEST_F(CabinetExtraction, MissingContinuationOfASpanningFileIsReported) {
    // MSZIP works in blocks of 32 KiB: the first block lies wholly in the
    // first cabinet, the second runs on into the missing one.
    std::string whole = randomBytes(30000, 31);
    std::string spanning = randomBytes(40000, 32);
    make({"--max-size", "50000", "setup_tbrx_3_xx*.cab", source("1", whole) + "=caly.bin",
          source("2", spanning) + "=przechodzi.bin",
          source("3", randomBytes(6000, 33)) + "=w_drugim.bin"});
    ASSERT_EQ(listFolder(download), "setup_tbrx_3_xxa.cab setup_tbrx_3_xxb.cab");
    ASSERT_TRUE(DeleteFileA((download + "setup_tbrx_3_xxb.cab").c_str()));

    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_tbrx_3_xxa.cab"), 0);
    expectReported(recorder, {"setup_tbrx_3_xxa.cab"});
    // What came before the gap stays: the spanning file up to its first
    // block's end.
    EXPECT_EQ(listFolder(destination), "caly.bin przechodzi.bin");
    EXPECT_TRUE(holds(destination + "caly.bin", whole));
    EXPECT_TRUE(holds(destination + "przechodzi.bin", spanning.substr(0, 32768 - whole.size())));

    removeTree(destination + "caly.bin");
    removeTree(destination + "przechodzi.bin");
}

TEST_F(CabinetExtraction, CabinetThatCameOutWholeNeedsNoAbsentContinuation) {
    // An internet run fetches only the first cabinet of a set: when it ends
    // with a whole file, nothing needed the next one.
    make({"setup_sys*.cab", source("4", "a") + "=a.txt", "--next", source("5", "b") + "=b.txt"});
    ASSERT_TRUE(DeleteFileA((download + "setup_sysb.cab").c_str()));
    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_sysa.cab"), 1);
    EXPECT_TRUE(recorder.boxes().empty());
    EXPECT_EQ(listFolder(destination), "a.txt");
}

TEST_F(CabinetExtraction, WrongFileUnderTheNextCabinetsNameFailsInsteadOfHanging) {
    // FDI asks for the next cabinet again for as long as the handler says
    // "go on": a page saved under its name, or a cabinet of another set,
    // must end the extraction.
    std::string spanning = randomBytes(40000, 34);
    make({"--max-size", "50000", "setup_tbrx_3_xx*.cab", source("1", randomBytes(30000, 35)) + "=caly.bin",
          source("2", spanning) + "=przechodzi.bin"});
    std::string setB = readFile(download + "setup_tbrx_3_xxb.cab");
    make({"--set-id", "77", "inny.cab", source("3", "3") + "=inny.txt"});
    for (std::string wrong : {std::string("<html><body>404</body></html>"),
                              readFile(download + "inny.cab")}) {
        writeFile(download + "setup_tbrx_3_xxb.cab", wrong);
        BoxRecorder recorder;
        EXPECT_EQ(extract("setup_tbrx_3_xxa.cab"), 0);
        expectReported(recorder, {"setup_tbrx_3_xxa.cab"});
    }
}

TEST_F(CabinetExtraction, NextCabinetOfAnotherSetOrOutOfOrderIsRefusedBeforeItIsWritten) {
    // A new a-cabinet beside an old b-cabinet of the same name: FDI itself
    // compares the set only when a file runs on into the next cabinet.
    make({"--set-id", "5", "stary*.cab", source("1", "1") + "=jeden.txt", "--next",
          source("2", "2") + "=dwa.txt", "--next", source("3", "3") + "=trzy.txt"});
    make({"--set-id", "6", "nowy*.cab", source("4", "4") + "=cztery.txt", "--next",
          source("5", "5") + "=piec.txt"});
    make({"--set-id", "5", "luka*.cab", source("6", "6") + "=szesc.txt", "--next",
          source("7", "7") + "=siedem.txt"});
    writeFile(download + "nowyb.cab", readFile(download + "staryb.cab"));
    writeFile(download + "lukab.cab", readFile(download + "staryc.cab"));  // index 2 after 0
    BoxRecorder recorder;
    EXPECT_EQ(extract("nowya.cab"), 0);
    EXPECT_EQ(extract("lukaa.cab"), 0);
    expectReported(recorder, {"nowya.cab", "lukaa.cab"});
    EXPECT_EQ(listFolder(destination), "cztery.txt szesc.txt");
}

TEST_F(CabinetExtraction, EntriesNamingOneFileForWindowsAreRefusedAndAnOldFileIsCutToSize) {
    const char* const twins[] = {"A.TXT", "a.txt.", "a.txt "};
    BoxRecorder recorder;
    for (const char* twin : twins) {
        SCOPED_TRACE(twin);
        make({"setup_sys.cab", source("1", "pierwszy, dluzszy") + "=a.txt",
              source("2", "drugi") + "=" + twin});
        EXPECT_EQ(extract("setup_sys.cab"), 0);
        EXPECT_EQ(listFolder(destination), "a.txt");
        EXPECT_EQ(readFile(destination + "a.txt"), "pierwszy, dluzszy");
        removeTree(destination + "a.txt");
    }
    expectReported(recorder, {"setup_sys.cab", "setup_sys.cab", "setup_sys.cab"});
    writeFile(destination + "b.txt", "stara, dluga zawartosc");
    make({"setup_sys.cab", source("3", "nowa") + "=b.txt"});
    EXPECT_EQ(extract("setup_sys.cab"), 1);
    EXPECT_EQ(readFile(destination + "b.txt"), "nowa");
}

TEST_F(CabinetExtraction, ChainThatLeadsBackEndsWhereItRepeats) {
    make({"zestaw*.cab", source("1", "1") + "=jeden.txt", "--next", source("2", "2") + "=dwa.txt",
          "--next", source("3", "3") + "=trzy.txt"});
    renameContinuation("zestawb.cab", "zestawc.cab", "zestawa.cab");
    make({"sam*.cab", source("4", "4") + "=cztery.txt", "--next", source("5", "5") + "=piec.txt"});
    renameContinuation("sama.cab", "samb.cab", "SAMA.CAB");

    // Every cabinet the chain names is extracted once; going round again
    // would only end at the bound, with 0.
    BoxRecorder recorder;
    EXPECT_EQ(extract("zestawa.cab"), 1);
    EXPECT_EQ(listFolder(destination), "dwa.txt jeden.txt");
    EXPECT_EQ(extract("sama.cab"), 1);
    EXPECT_EQ(listFolder(destination), "cztery.txt dwa.txt jeden.txt");
    EXPECT_TRUE(recorder.boxes().empty());
}

TEST_F(CabinetExtraction, ChainOfAHundredCabinetsIsTheLongestExtracted) {
    std::string one = source("1", "1");
    std::vector<std::string> hundred = {"sto#.cab"};
    std::vector<std::string> hundredAndOne = {"dlugi#.cab"};
    for (int i = 1; i <= 101; ++i) {
        std::string entry = one + "=plik" + std::to_string(i) + ".txt";
        if (i > 1) hundredAndOne.push_back("--next");
        hundredAndOne.push_back(entry);
        if (i > 100) continue;
        if (i > 1) hundred.push_back("--next");
        hundred.push_back(entry);
    }
    make(hundred);
    make(hundredAndOne);
    ASSERT_TRUE(pathExists(download + "dlugi101.cab"));

    BoxRecorder recorder;
    EXPECT_EQ(extract("sto1.cab"), 1);
    EXPECT_TRUE(pathExists(destination + "plik100.txt"));
    removeTree(destination.substr(0, destination.size() - 1));
    makeFolders(destination.substr(0, destination.size() - 1));
    EXPECT_EQ(extract("dlugi1.cab"), 0);
    EXPECT_TRUE(pathExists(destination + "plik100.txt"));
    EXPECT_FALSE(pathExists(destination + "plik101.txt"));
    expectReported(recorder, {"dlugi1.cab"});
}

TEST_F(CabinetExtraction, ContinuationOutsideTheDownloadFolderIsNotFollowed) {
    // Each continuation also lies one folder up, where its name would lead.
    make({"zzz*.cab", source("1", "1") + "=jeden.txt", "--next", source("2", "2") + "=dwa.txt"});
    writeFile(root + "b.cab", readFile(download + "zzzb.cab"));
    renameContinuation("zzza.cab", "zzzb.cab", "..\\b.cab");
    std::string spanning = randomBytes(40000, 61);
    make({"--max-size", "50000", "yyy*.cab", source("3", randomBytes(30000, 62)) + "=trzy.bin",
          source("4", spanning) + "=przechodzi.bin"});
    writeFile(root + "c.cab", readFile(download + "yyyb.cab"));
    renameContinuation("yyya.cab", "yyyb.cab", "..\\c.cab");

    BoxRecorder recorder;
    EXPECT_EQ(extract("zzza.cab"), 0);
    EXPECT_EQ(listFolder(destination), "jeden.txt");
    // Asked for the rest of a spanning file, the handler refuses as well.
    EXPECT_EQ(extract("yyya.cab"), 0);
    EXPECT_EQ(listFolder(destination), "jeden.txt przechodzi.bin trzy.bin");
    EXPECT_LT(readFile(destination + "przechodzi.bin").size(), spanning.size());
    expectReported(recorder, {"zzza.cab", "yyya.cab"});
}

TEST_F(CabinetExtraction, MissingCabinetIsReportedWithItsFullPath) {
    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_tbrx_3_xxa.cab"), 0);
    // Too long to reach with the ANSI calls: missing as far as the program goes.
    std::string longName = std::string(MAX_PATH - download.size(), 'c') + ".cab";
    EXPECT_EQ(extract(longName), 0);
    ASSERT_EQ(recorder.boxes().size(), 2u);
    EXPECT_EQ(recorder.boxes()[0].title, u8"Instalacja programu Tabrix Kalk");
    EXPECT_EQ(recorder.boxes()[0].text, u8"Brak jest pliku " + download + "setup_tbrx_3_xxa.cab");
    EXPECT_TRUE(recorder.boxes()[0].errorIcon);
    EXPECT_EQ(recorder.boxes()[1].text, u8"Brak jest pliku " + download + longName);
    EXPECT_EQ(listFolder(destination), "");
}

TEST_F(CabinetExtraction, FileThatIsNoCabinetIsReportedWithItsFullPath) {
    writeFile(download + "setup_sys.cab",
              "<html><head><title>404 Not Found</title></head><body>Nie ma</body></html>\r\n");
    writeFile(download + "setup_tbrx_3_xxa.cab", "");
    writeFile(download + "setup_tbrx_3_xxb.cab", std::string("MSCF\0\0\0\0", 8));

    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_sys.cab"), 0);
    EXPECT_EQ(extract("setup_tbrx_3_xxa.cab"), 0);
    EXPECT_EQ(extract("setup_tbrx_3_xxb.cab"), 0);
    ASSERT_EQ(recorder.boxes().size(), 3u);
    EXPECT_EQ(recorder.boxes()[0].title, u8"Instalacja programu Tabrix Kalk");
    EXPECT_EQ(recorder.boxes()[0].text, u8"Plik " + download + "setup_sys.cab nie jest plikem CAB");
    EXPECT_EQ(recorder.boxes()[1].text,
              u8"Plik " + download + "setup_tbrx_3_xxa.cab nie jest plikem CAB");
    EXPECT_EQ(recorder.boxes()[2].text,
              u8"Plik " + download + "setup_tbrx_3_xxb.cab nie jest plikem CAB");
    EXPECT_EQ(listFolder(destination), "");
}

TEST_F(CabinetExtraction, TruncatedCabinetIsReported) {
    std::string first = randomBytes(40000, 41);
    make({"setup_sys.cab", source("1", first) + "=pierwszy.dll|21",
          source("2", randomBytes(30000, 42)) + "=drugi.dll"});
    std::string whole = readFile(download + "setup_sys.cab");
    writeFile(download + "setup_sys.cab", whole.substr(0, whole.size() / 2));

    BoxRecorder recorder;
    EXPECT_EQ(extract("setup_sys.cab"), 0);
    expectReported(recorder, {"setup_sys.cab"});
    // The first file keeps the one whole 32 KiB block that survived the cut
    // and is still stamped; the second is never begun.
    EXPECT_EQ(listFolder(destination), "pierwszy.dll");
    EXPECT_TRUE(holds(destination + "pierwszy.dll", first.substr(0, 32768)));
    EXPECT_EQ(attributesOf(destination + "pierwszy.dll"),
              DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(CabinetExtraction, IsCabinetFileTellsCabinetsFromOtherFiles) {
    make({"setup_sys.cab", source("1", "1") + "=jeden.txt"});
    writeFile(download + "strona.cab", "<html><body>Błąd 404</body></html>");

    EXPECT_NE(isCabinetFile((download + "setup_sys.cab").c_str()), 0);
    EXPECT_EQ(isCabinetFile((download + "strona.cab").c_str()), 0);
    EXPECT_EQ(isCabinetFile((download + "brak.cab").c_str()), 0);
    EXPECT_EQ(isCabinetFile(download.c_str()), 0);
}

TEST_F(CabinetExtraction, NothingStaysLoadedAfterAnyOutcome) {
    make({"setup_sys.cab", source("1", "1") + "=jeden.txt"});
    std::string whole = readFile(download + "setup_sys.cab");
    make({"setup_tbrx_3_xxa.cab", source("2", randomBytes(40000, 51)) + "=dwa.bin"});
    std::string cut = readFile(download + "setup_tbrx_3_xxa.cab");
    writeFile(download + "setup_tbrx_3_xxa.cab", cut.substr(0, cut.size() / 2));
    writeFile(download + "setup_tbrx_3_xxb.cab", "<html></html>");
    ASSERT_EQ(GetModuleHandleA("cabinet.dll"), nullptr);

    BoxRecorder recorder;
    EXPECT_NE(isCabinetFile((download + "setup_sys.cab").c_str()), 0);
    EXPECT_EQ(GetModuleHandleA("cabinet.dll"), nullptr);
    EXPECT_EQ(extract("setup_sys.cab"), 1);
    EXPECT_EQ(GetModuleHandleA("cabinet.dll"), nullptr);
    EXPECT_EQ(extract("setup_tbrx_3_xxa.cab"), 0);
    EXPECT_EQ(GetModuleHandleA("cabinet.dll"), nullptr);
    EXPECT_EQ(extract("setup_tbrx_3_xxb.cab"), 0);
    EXPECT_EQ(GetModuleHandleA("cabinet.dll"), nullptr);
    EXPECT_EQ(recorder.boxes().size(), 2u);  // the cut cabinet, the page

    // Every descriptor and handle was closed: the cabinets and the extracted
    // file can be deleted at once.
    EXPECT_TRUE(DeleteFileA((download + "setup_sys.cab").c_str()));
    EXPECT_TRUE(DeleteFileA((download + "setup_tbrx_3_xxa.cab").c_str()));
    EXPECT_TRUE(DeleteFileA((destination + "jeden.txt").c_str()));
}
