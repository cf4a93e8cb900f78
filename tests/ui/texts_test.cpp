// The texts reach Windows as Windows-1250 bytes.
#include <gtest/gtest.h>

#include <string>

#include "folders/texts.h"
#include "startup/texts.h"
#include "ui/texts.h"

namespace {

std::string hex(const char* text) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        char pair[4];
        snprintf(pair, sizeof pair, "%02X", *p);
        out += pair;
    }
    return out;
}

}  // namespace

TEST(Texts, PolishLettersAreSingleWindows1250Bytes) {
    // "anulować instalację ?": ć = E6, ę = EA
    EXPECT_EQ(hex(kCancelQuestion),
              hex("Czy na pewno chcesz anulowa") + "E6" + hex(" instalacj") + "EA" + hex(" ?"));
    // "bieżącego": ż = BF, ą = B9
    EXPECT_EQ(hex(kNoCurrentFolder), hex("Nie mo") + "BF" + hex("na ustali") + "E6" +
                                         hex(" bie") + "BF" + "B9" + hex("cego folderu"));
    // "usunąć": ą = B9, ć = E6
    EXPECT_EQ(hex(kCannotDeleteTemp),
              hex("Nie mo") + "BF" + hex("na usun") + "B9E6" + hex(" folderu tymczasowego "));
    // "Wystąpił błąd": ą = B9, ł = B3
    EXPECT_EQ(hex(kErrorNumber), hex("Wyst") + "B9" + hex("pi") + "B3" + hex(" b") + "B3" +
                                     "B9" + hex("d numer : "));
    EXPECT_EQ(hex(kContactMaker), "0A" + hex("Skontaktuj si") + "EA" + hex(" z PI Varnel."));
}

TEST(Texts, SituationTextsEndInTwoBlanks) {
    std::string text = kNoWindowsInfo;
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 3), ".  ");
    EXPECT_EQ(std::string(kInstallTitlePrefix).size(), 20u);
    EXPECT_EQ(std::string(kUpdateTitlePrefix).size(), 22u);
}
