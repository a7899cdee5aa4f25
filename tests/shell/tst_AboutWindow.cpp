#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QPointer>
#include <QRegularExpression>

#include "AboutWindow.h"
#include "AppInfo.h"
#include "NoticeWindow.h"
#include "ScopedHooks.h"
#include "Skin.h"
#include "SkinLabel.h"
#include "SkinLabelArray.h"
#include "Twips.h"

namespace {

// A label shows its whole text: one line fits its width, a wrapped one its height.
void expectTextFits(const QLabel *label)
{
    ASSERT_NE(label, nullptr);
    if (label->wordWrap())
        EXPECT_LE(label->heightForWidth(label->width()), label->height())
            << label->objectName().toStdString();
    else
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width())
            << label->objectName().toStdString();
    EXPECT_LE(label->fontMetrics().height(), label->height()) << label->objectName().toStdString();
    EXPECT_TRUE(label->parentWidget()->rect().contains(label->geometry()))
        << label->objectName().toStdString();
}

} // namespace

TEST(AboutWindow, ShowsTheVersionInformation)
{
    QPointer<AboutWindow> about = new AboutWindow;
    EXPECT_EQ(about->objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Tessaly"));
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About ") + AppInfo::productName());

    const auto label = [&](const char *name) {
        return about->findChild<QLabel *>(QLatin1String(name));
    };
    EXPECT_EQ(label("Label1"), about->Label1);
    EXPECT_EQ(about->Label1->text(), QStringLiteral("Tessaly"));
    EXPECT_EQ(label("lblCompany")->text(), AppInfo::companyName());
    EXPECT_EQ(label("lblWebsite")->text(), AppInfo::comments());
    // Major and minor only, whatever the patch level.
    const QString version = label("lblVersion")->text();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+\\.\\d+$")).match(version).hasMatch())
        << version.toStdString();
    EXPECT_EQ(version,
              QStringLiteral("%1.%2").arg(AppInfo::versionMajor()).arg(AppInfo::versionMinor()));
    EXPECT_TRUE(AppInfo::versionString().startsWith(version + QLatin1Char('.')));

    EXPECT_EQ(label("lblVersionCaption")->text(), QStringLiteral("Version:"));
    EXPECT_EQ(label("lblCompanyCaption")->text(), QStringLiteral("Owned By:"));
    EXPECT_EQ(label("lblWebsiteCaption")->text(), QStringLiteral("Website:"));
    for (const char *name : {"Label1", "lblVersionCaption", "lblVersion", "lblCompanyCaption",
                             "lblCompany", "lblWebsiteCaption", "lblWebsite"})
        expectTextFits(label(name));

    // Each caption sits on the row of its value, left of it.
    for (const auto &[caption, value] : {std::pair{"lblVersionCaption", "lblVersion"},
                                         std::pair{"lblCompanyCaption", "lblCompany"},
                                         std::pair{"lblWebsiteCaption", "lblWebsite"}}) {
        EXPECT_EQ(label(caption)->y(), label(value)->y()) << caption;
        EXPECT_LE(label(caption)->geometry().right(), label(value)->x()) << caption;
    }

    // A fixed single border: the window cannot be resized.
    EXPECT_EQ(about->minimumSize(), about->maximumSize());

    delete about;
}

TEST(AboutWindow, CarriesAPictureOfItsOwn)
{
    AboutWindow about;
    const QLabel *picture = about.findChild<QLabel *>(QStringLiteral("Picture1"));
    ASSERT_EQ(picture, about.Picture1);
    EXPECT_EQ(picture->size(), Twips::toPx(QSize(1440, 1440), &about));
    EXPECT_EQ(picture->property("tessalyKind").toString(), QStringLiteral("PictureBox"));
    const QImage image = picture->pixmap().toImage();
    ASSERT_EQ(image.size(), picture->size());
    // Drawn, not blank: the corner is see-through, the middle is not, and it has colours.
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(image.width() / 2, image.height() / 2)), 255);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            colours.insert(image.pixel(x, y));
    EXPECT_GT(colours.size(), 10);
}

TEST(AboutWindow, ClosingUnloadsIt)
{
    QPointer<AboutWindow> about = new AboutWindow;
    about->show();
    EXPECT_TRUE(about->isVisible());
    about->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(about.isNull());
}

TEST(AboutWindow, WearsTheSkinWhenSkinningIsOn)
{
    Skin skin;
    AboutWindow *about = nullptr;
    NoticeWindow *notice = nullptr;
    {
        const ScopedHook<&Skin::setProgramSkin, &Skin::programSkin> programSkin(&skin);
        const ScopedHook<&Skin::setSkinningSwitch, &Skin::skinningSwitch> skinning(true);
        about = new AboutWindow;
        notice = new NoticeWindow;
    }

    EXPECT_TRUE(Skin::isSkinned(about));
    EXPECT_TRUE(Skin::isSkinned(notice));
    // Every plain label of the windows gets its skin label, with the same caption.
    for (QWidget *window : {static_cast<QWidget *>(about), static_cast<QWidget *>(notice)}) {
        SkinLabelArray *labels = SkinLabelArray::find(window, QStringLiteral("SkinLabel1"));
        ASSERT_NE(labels, nullptr);
        ASSERT_GE(labels->upperBound(), 1);
        const QLabel *covered = labels->element(1)->coveredLabel();
        ASSERT_NE(covered, nullptr);
        EXPECT_EQ(labels->element(1)->text(), covered->text());
        // Text labels only: the about window's picture stays uncovered.
        for (int i = 1; i <= labels->upperBound(); ++i) {
            const QLabel *under = labels->element(i)->coveredLabel();
            ASSERT_NE(under, nullptr);
            EXPECT_NE(under->objectName(), QStringLiteral("Picture1"));
            EXPECT_TRUE(under->pixmap().isNull()) << under->objectName().toStdString();
        }
    }
    delete about;
    delete notice;
}
