#include <gtest/gtest.h>

#include <QLabel>

#include "MainStatusBar.h"

namespace {

QLabel *panelOf(const MainStatusBar &bar)
{
    return bar.findChild<QLabel *>(QStringLiteral("StatusBar1_Panel1"));
}

} // namespace

// Camera names, addresses and reason phrases reach the bar: what they hold is
// shown as written, never obeyed as line breaks, terminal codes or markup.
TEST(MainStatusBar, CameraTextIsShownAsWrittenOnOneLine)
{
    MainStatusBar bar;
    bar.resize(800, bar.height());
    QLabel *panel = panelOf(bar);
    ASSERT_NE(panel, nullptr);

    bar.setText(QStringLiteral("x"));
    const int oneLine = panel->sizeHint().height();

    bar.setText(QStringLiteral("Gate\r\nsays \x1b[2J\x85 done"));
    for (const QChar c : bar.text())
        EXPECT_TRUE(c.isPrint()) << "U+" << std::hex << int(c.unicode());
    EXPECT_TRUE(bar.text().startsWith("Gate")) << bar.text().toStdString();
    EXPECT_TRUE(bar.text().endsWith("done")) << bar.text().toStdString();
    EXPECT_EQ(panel->sizeHint().height(), oneLine);

    // Markup a camera sends stays text: drawn as markup, "&lt;" would shrink
    // to a quarter of its width and <b> would vanish.
    const QString markup = QStringLiteral("Response from <b>Gate</b> &lt;&lt;&lt;&lt;&lt;&lt;");
    bar.setText(markup);
    EXPECT_EQ(bar.text(), markup);
    EXPECT_GE(panel->sizeHint().width(), panel->fontMetrics().horizontalAdvance(markup) * 9 / 10);
}

TEST(MainStatusBar, TheTextCanBeSelectedForCopying)
{
    MainStatusBar bar;
    bar.setText(QStringLiteral("8:05:09 AM saved as /home/me/cam/Yard.jpg"));
    QLabel *panel = panelOf(bar);
    ASSERT_NE(panel, nullptr);
    panel->setSelection(20, 21);
    EXPECT_EQ(panel->selectedText(), QStringLiteral("/home/me/cam/Yard.jpg"));
}

TEST(MainStatusBar, HeldWhileMinimisedTheLatestTextShowsOnReturn)
{
    MainStatusBar bar;
    bar.setText(QStringLiteral("before"));
    bar.setHeld(true);
    bar.setText(QStringLiteral("Yard saved"));
    EXPECT_EQ(panelOf(bar)->text(), QStringLiteral("before")) << "the label is left alone";
    EXPECT_EQ(bar.text(), QStringLiteral("Yard saved"));
    bar.setHeld(false);
    EXPECT_EQ(panelOf(bar)->text(), QStringLiteral("Yard saved"));
}
