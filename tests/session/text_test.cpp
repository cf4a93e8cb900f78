#include "session/text.h"

#include <gtest/gtest.h>

#include <string.h>

TEST(BoundedText, FillsStorageExactlyAndRefusesOneCharacterMore) {
    char target[8] = "abc";
    EXPECT_TRUE(appendText(target, "defg"));  // 7 characters and the terminator
    EXPECT_STREQ(target, "abcdefg");
    EXPECT_FALSE(appendText(target, "h"));
    EXPECT_STREQ(target, "abcdefg");  // unchanged, not cut

    char copy[4];
    strcpy(copy, "xy");
    EXPECT_FALSE(copyText(copy, "four"));
    EXPECT_STREQ(copy, "xy");
    EXPECT_TRUE(copyText(copy, "abc"));
    EXPECT_STREQ(copy, "abc");
}

TEST(BoundedText, JoinIsAllOrNothing) {
    char target[10] = "old";
    EXPECT_FALSE(joinText(target, "12345", "67890"));
    EXPECT_STREQ(target, "old");
    EXPECT_TRUE(joinText(target, "12", "34", "56", "789"));
    EXPECT_STREQ(target, "123456789");
    // The target may be one of the pieces.
    char path[16] = "C:\\a";
    EXPECT_TRUE(joinText(path, path, "\\"));
    EXPECT_STREQ(path, "C:\\a\\");
}

TEST(BoundedText, NumbersAreSignedDecimal) {
    char text[32] = "kod ";
    EXPECT_TRUE(appendNumber(text, -2147024891));
    EXPECT_STREQ(text, "kod -2147024891");
    char small[4] = "";
    EXPECT_FALSE(appendNumber(small, 12345));
    EXPECT_STREQ(small, "");
    EXPECT_TRUE(appendNumber(small, 123));
}

TEST(BoundedText, PartialAppendTakesOnlyTheGivenCount) {
    char text[8] = "";
    EXPECT_TRUE(appendTextPart(text, "C:\\x\\y", 4));
    EXPECT_STREQ(text, "C:\\x");
    EXPECT_FALSE(appendTextPart(text, "12345678", 4));
    EXPECT_STREQ(text, "C:\\x");
}
