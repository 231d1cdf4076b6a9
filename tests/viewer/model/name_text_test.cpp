#include "viewer/model/name_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace orv {
namespace {

TEST(NameText, DecodesUtf8OrElseLatin1) {
    struct Case {
        const char* what;
        std::string bytes;
        std::u32string want;
    };
    const Case cases[] = {
        {"plain ASCII", "Momento fletor", U"Momento fletor"},
        {"valid UTF-8", "Tens\xC3\xA3o", U"Tensão"},
        {"three-byte UTF-8", "\xE2\x82\xAC", U"€"},
        {"Latin-1 byte", "Tens\xE3o", U"Tensão"},
        {"UTF-8 lead byte at the end", "abc\xC3", U"abc\u00C3"},
        {"overlong form is not UTF-8", "\xC0\xAF", U"\u00C0\u00AF"},
        {"surrogate is not UTF-8", "\xED\xA0\x80", U"\u00ED\u00A0\u0080"},
        {"empty", "", U""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decode_name_bytes(c.bytes), c.want) << c.what;
}

TEST(NameText, EncodesInTheLocaleOrMarksWhatItCannot) {
    const std::string old = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    EXPECT_EQ(to_locale_text(U"Tensão é máxima"), "Tens\xC3\xA3o \xC3\xA9 m\xC3\xA1xima");
    ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
    EXPECT_EQ(to_locale_text(U"Tensão"), "Tens?o");
    std::setlocale(LC_CTYPE, old.c_str());
}

} // namespace
} // namespace orv
