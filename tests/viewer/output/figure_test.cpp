// The figure's layout and title (plain C++): what "Salvar Figura" and
// --picture --title agree on before anything is drawn.
#include "viewer/output/figure.h"

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

TEST(Figure, SizeIsTheViewAndTheTitleStripAtTheScale) {
    const struct {
        int scale, w, h;
        bool title;
        int width, height;
    } cases[] = {
        {1, 807, 721, true, 807, 721 + figure::kTitleHeight},
        {2, 807, 721, true, 1614, 2 * (721 + figure::kTitleHeight)},
        {1, 640, 480, false, 640, 480}, // a plain picture
        {2, 640, 480, false, 1280, 960},
    };
    for (const auto& c : cases) {
        FigureLayout l;
        l.scale = c.scale;
        l.view_width = c.w;
        l.view_height = c.h;
        l.title = c.title;
        EXPECT_EQ(l.width(), c.width);
        EXPECT_EQ(l.height(), c.height);
    }
}

TEST(Figure, TitleIsTheListNameOrTheFileName) {
    ResultModel m;
    m.namefile = "/casos/run.1/ponte.txt";
    m.nlista = 2;
    m.namelista = {"", "Tens\xe3o - passo 1", "U Magnitude - passo 2"};
    const struct {
        int list;
        std::u32string title;
    } cases[] = {
        {1, U"Tensão - passo 1"}, // Latin-1 bytes, as the window decodes them
        {2, U"U Magnitude - passo 2"},
        {0, U"ponte.txt"}, // no list checked: the file, without its folder
        {3, U"ponte.txt"}, // beyond the file's lists
    };
    for (const auto& c : cases)
        EXPECT_EQ(figure_title(m, c.list), c.title) << c.list;
    m.namelista[1] = "Deslocamento \xc3\xa0 direita"; // valid UTF-8
    EXPECT_EQ(figure_title(m, 1), U"Deslocamento à direita");
}

TEST(Figure, BitmapTextKeepsLatin1AndMarksTheRest) {
    EXPECT_EQ(bitmap_text(U"Tensão σ\tΩ"), u"Tensão ? ?");
    EXPECT_EQ(bitmap_text(U""), u"");
}

} // namespace
} // namespace orv
