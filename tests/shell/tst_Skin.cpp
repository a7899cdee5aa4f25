#include <gtest/gtest.h>

#include <stdexcept>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ScopedHooks.h"
#include "Skin.h"
#include "SkinLabel.h"
#include "SkinLabelArray.h"
#include "SkinSupport.h"

namespace {

// Colours no widget has by chance, so that every match is the skin's doing.
const QColor kC2(0xD0, 0x10, 0x20);
const QColor kC3(0x10, 0xC0, 0x30);
const QColor kC4(0x20, 0x30, 0xE0);
const QColor kC5(0xF0, 0xA0, 0x10);

QColor backOf(const QWidget *w)
{
    return w->property("BackColor").value<QColor>();
}
QColor foreOf(const QWidget *w)
{
    return w->property("ForeColor").value<QColor>();
}

QColor pixelAt(QWidget *window, QWidget *child, QPoint inChild)
{
    const QImage image = window->grab().toImage();
    return QColor(image.pixel(child->mapTo(window, inChild)));
}

// Each test starts with no program skin, the switch on and the real version
// source, and leaves them as it found them.
class SkinTest : public ::testing::Test
{
protected:
    void SetUp() override { SkinSupport::instance().clearCalls(); }

    static Skin::VersionSource version(int result, quint32 platform, quint32 major)
    {
        return [=](Skin::VersionRecord &record) {
            EXPECT_EQ(record.size, 156u);
            record.platformId = platform;
            record.majorVersion = major;
            return result;
        };
    }

    ScopedHook<&Skin::setProgramSkin, &Skin::programSkin> programSkin{nullptr};
    ScopedHook<&Skin::setSkinningSwitch, &Skin::skinningSwitch> skinning{true};
    ScopedHook<&Skin::setVersionSource, &Skin::versionSource> versionSource{nullptr};
};

QPixmap somePicture()
{
    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::yellow);
    return pixmap;
}

} // namespace

TEST_F(SkinTest, ColoursEachControlByTheKindItStandsFor)
{
    QWidget window;
    auto *button = new QPushButton(QStringLiteral("Start Cam"), &window);
    auto *edit = new QLineEdit(&window);
    auto *plain = new QPlainTextEdit(&window);
    auto *combo = new QComboBox(&window);
    auto *list = new QListWidget(&window);
    auto *tree = new QTreeWidget(&window);
    auto *picture = new QLabel(&window);
    picture->setPixmap(somePicture());
    auto *marked = new QWidget(&window);
    marked->setProperty("tessalyKind", QStringLiteral("PictureBox"));
    auto *wrongCase = new QWidget(&window);
    wrongCase->setProperty("tessalyKind", QStringLiteral("picturebox"));
    auto *label = new QLabel(QStringLiteral("Name:"), &window);
    auto *check = new QCheckBox(QStringLiteral("AutoSave New Pictures"), &window);
    auto *rich = new QTextBrowser(&window);
    auto *frame = new QGroupBox(QStringLiteral("Controls"), &window);
    auto *nestedButton = new QPushButton(QStringLiteral("Stop All"), frame);

    ColorControls(&window, kC2, kC3, kC4, kC5);

    // A command button: background only, never a text colour.
    EXPECT_EQ(backOf(button), kC2);
    EXPECT_FALSE(foreOf(button).isValid());
    EXPECT_EQ(backOf(nestedButton), kC2) << "controls inside frames are the window's too";
    for (QWidget *textKind : {static_cast<QWidget *>(edit), static_cast<QWidget *>(plain),
                              static_cast<QWidget *>(combo), static_cast<QWidget *>(list),
                              static_cast<QWidget *>(tree)}) {
        SCOPED_TRACE(textKind->metaObject()->className());
        EXPECT_EQ(backOf(textKind), kC2);
        EXPECT_EQ(foreOf(textKind), kC3);
    }
    EXPECT_EQ(backOf(picture), kC4);
    EXPECT_FALSE(foreOf(picture).isValid());
    EXPECT_EQ(backOf(marked), kC4);
    // Kinds are compared exactly, and the rest get nothing.
    for (QWidget *other : {wrongCase, static_cast<QWidget *>(label), static_cast<QWidget *>(check),
                           static_cast<QWidget *>(rich), static_cast<QWidget *>(frame)}) {
        SCOPED_TRACE(other->metaObject()->className());
        EXPECT_FALSE(backOf(other).isValid());
        EXPECT_FALSE(foreOf(other).isValid());
    }
    // The palette follows, for whatever paints from it.
    EXPECT_EQ(button->palette().color(QPalette::Button), kC2);
    EXPECT_EQ(edit->palette().color(QPalette::Base), kC2);
    EXPECT_EQ(edit->palette().color(QPalette::Text), kC3);
    // Colour 5 is read but goes nowhere; the internals of a list are left alone.
    for (QWidget *w : window.findChildren<QWidget *>()) {
        EXPECT_NE(backOf(w), kC5);
        EXPECT_NE(foreOf(w), kC5);
    }
    EXPECT_FALSE(backOf(list->verticalScrollBar()).isValid());
}

TEST_F(SkinTest, SkinnedWindowShowsTheColoursAndTheLook)
{
    Skin skin(Skin::Colors{kC2, kC3, kC4, kC5});
    programSkin.set(&skin);
    QWidget window;
    window.resize(400, 300);
    auto *button = new QPushButton(QStringLiteral("Add Cam"), &window);
    button->setGeometry(10, 10, 120, 32);
    auto *list = new QListWidget(&window);
    list->setGeometry(10, 60, 150, 120);
    auto *picture = new QLabel(&window);
    picture->setPixmap(somePicture());
    picture->setGeometry(200, 10, 100, 100);
    picture->setAlignment(Qt::AlignCenter);
    // The window's own rules survive the skin and stay after it.
    window.setStyleSheet(QStringLiteral("QLabel#note { font-weight: bold; }"));

    SkinForm(&window);
    SkinForm(&window);
    window.show();

    EXPECT_TRUE(Skin::isSkinned(&window));
    EXPECT_EQ(window.styleSheet().count(QStringLiteral("tessaly skin begin")), 1)
        << "skinning twice must not pile up";
    EXPECT_TRUE(window.styleSheet().endsWith(QStringLiteral("QLabel#note { font-weight: bold; }")));
    EXPECT_EQ(pixelAt(&window, button, QPoint(5, button->height() / 2)), kC2);
    EXPECT_EQ(pixelAt(&window, list, QPoint(list->width() - 25, list->height() - 8)), kC2);
    EXPECT_EQ(pixelAt(&window, picture, QPoint(3, 3)), kC4);
    // The window background is the skin's, not the platform's.
    EXPECT_EQ(pixelAt(&window, &window, QPoint(390, 290)), skin.palette().color(QPalette::Window));
}

TEST_F(SkinTest, WindowWithoutListedKindsIsStillSkinned)
{
    Skin skin;
    programSkin.set(&skin);
    QWidget window;
    auto *label = new QLabel(QStringLiteral("You must first select a cam from the list."), &window);
    auto *check = new QCheckBox(QStringLiteral("Show at Startup"), &window);

    SkinForm(&window);

    EXPECT_TRUE(Skin::isSkinned(&window));
    EXPECT_FALSE(backOf(label).isValid());
    EXPECT_FALSE(backOf(check).isValid());
    EXPECT_TRUE(label->styleSheet().isEmpty());
    EXPECT_TRUE(check->styleSheet().isEmpty());
    EXPECT_EQ(window.palette().color(QPalette::Window), skin.palette().color(QPalette::Window));
}

TEST_F(SkinTest, WithoutProgramSkinTheWindowStaysAsItIs)
{
    QWidget window;
    auto *button = new QPushButton(QStringLiteral("OK"), &window);
    auto *edit = new QLineEdit(&window);

    SkinForm(&window);

    // Not black on black: no colours at all.
    EXPECT_FALSE(backOf(button).isValid());
    EXPECT_FALSE(foreOf(edit).isValid());
    EXPECT_FALSE(Skin::isSkinned(&window));
    EXPECT_TRUE(window.styleSheet().isEmpty());
}

TEST_F(SkinTest, ThreeLabelsBecomeElementsOneToThree)
{
    QWidget window;
    auto *first = new QLabel(QStringLiteral("Name:"), &window);
    first->setGeometry(15, 20, 80, 17);
    auto *second = new QLabel(QStringLiteral("URL:"), &window);
    second->setGeometry(15, 45, 120, 21);
    QFont big(QStringLiteral("DejaVu Serif"));
    big.setPointSize(15);
    big.setItalic(true);
    second->setFont(big);
    auto *hiddenOne = new QLabel(QStringLiteral("Refresh (sec):"), &window);
    hiddenOne->setGeometry(160, 70, 90, 19);
    hiddenOne->setVisible(false);
    // A value label made as another class keeps no skin label.
    auto *lblTime = new SkinLabel(&window);
    lblTime->setText(QStringLiteral("--"));
    auto *button = new QPushButton(QStringLiteral("OK"), &window);
    button->setGeometry(200, 200, 60, 25);

    SkinLabels(&window);

    SkinLabelArray *array = SkinLabelArray::find(&window, QStringLiteral("SkinLabel1"));
    ASSERT_NE(array, nullptr);
    ASSERT_EQ(array->upperBound(), 3);
    EXPECT_EQ(array->element(0), nullptr) << "element 0 is the template";
    const QList<QLabel *> labels = {first, second, hiddenOne};
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        SkinLabel *element = array->element(i);
        ASSERT_NE(element, nullptr);
        const QLabel *label = labels.at(i - 1);
        EXPECT_EQ(element->objectName(), QStringLiteral("SkinLabel1_%1").arg(i));
        EXPECT_EQ(element->parentWidget(), label->parentWidget());
        EXPECT_EQ(element->geometry(), label->geometry());
        EXPECT_EQ(element->font(), label->font());
        EXPECT_EQ(element->text(), label->text());
        EXPECT_EQ(element->isHidden(), label->isHidden());
        EXPECT_EQ(element->coveredLabel(), label);
        // Above its label.
        const QObjectList siblings = window.children();
        EXPECT_GT(siblings.indexOf(element), siblings.indexOf(label));
    }
    EXPECT_EQ(window.findChildren<SkinLabel *>().size(), 4) << "only lblTime and the three";

    // The labels themselves are as they were.
    EXPECT_EQ(first->text(), QStringLiteral("Name:"));
    EXPECT_FALSE(first->isHidden());
    EXPECT_TRUE(hiddenOne->isHidden());

    window.show();
    EXPECT_TRUE(array->element(1)->isVisible());
    EXPECT_FALSE(array->element(3)->isVisible());

    // Another pass goes on above the upper bound.
    SkinLabels(&window);
    EXPECT_EQ(array->upperBound(), 6);
    EXPECT_EQ(array->element(4)->coveredLabel(), first);
}

TEST_F(SkinTest, SkinLabelsNeedTheSwitch)
{
    skinning.set(false);
    QWidget window;
    new QLabel(QStringLiteral("Name:"), &window);
    SkinLabels(&window);
    EXPECT_TRUE(window.findChildren<SkinLabel *>().isEmpty());
}

TEST_F(SkinTest, DialogGetsSkinLabelsAndTheSkinOnlyWithTheSwitch)
{
    Skin skin(Skin::Colors{kC2, kC3, kC4, kC5});
    programSkin.set(&skin);
    QWidget window;
    auto *caption = new QLabel(QStringLiteral("Name:"), &window);
    auto *button = new QPushButton(QStringLiteral("OK"), &window);

    skinning.set(false);
    SkinDialog(&window);
    EXPECT_TRUE(window.findChildren<SkinLabel *>().isEmpty());
    EXPECT_FALSE(Skin::isSkinned(&window));
    EXPECT_FALSE(backOf(button).isValid());

    skinning.set(true);
    SkinDialog(&window);
    SkinLabelArray *array = SkinLabelArray::find(&window, QStringLiteral("SkinLabel1"));
    ASSERT_NE(array, nullptr);
    ASSERT_EQ(array->upperBound(), 1);
    EXPECT_EQ(array->element(1)->coveredLabel(), caption);
    EXPECT_TRUE(Skin::isSkinned(&window));
    EXPECT_EQ(backOf(button), kC2);
}

TEST_F(SkinTest, MainWindowFormSortsLabelsByTemplateContainer)
{
    QWidget window;
    auto *frmDetails = new QGroupBox(&window);
    auto *frame1 = new QGroupBox(&window);
    auto *detail1 = new QLabel(QStringLiteral("Cam:"), frmDetails);
    auto *detail2 = new QLabel(QStringLiteral("Size:"), frmDetails);
    auto *inFrame1 = new QLabel(QStringLiteral("Cams:"), frame1);
    new QLabel(QStringLiteral("elsewhere"), &window);
    SkinLabelArray skinLabel1(QStringLiteral("SkinLabel1"), frmDetails, &window);
    SkinLabelArray skinLabel2(QStringLiteral("SkinLabel2"), frame1, &window);

    SkinLabels(&window, skinLabel1, skinLabel2);

    ASSERT_EQ(skinLabel1.upperBound(), 2);
    ASSERT_EQ(skinLabel2.upperBound(), 1);
    EXPECT_EQ(skinLabel1.element(1)->coveredLabel(), detail1);
    EXPECT_EQ(skinLabel1.element(2)->coveredLabel(), detail2);
    EXPECT_EQ(skinLabel1.element(2)->parentWidget(), frmDetails);
    EXPECT_EQ(skinLabel2.element(1)->coveredLabel(), inFrame1);
    EXPECT_EQ(skinLabel2.element(1)->objectName(), QStringLiteral("SkinLabel2_1"));
    EXPECT_EQ(window.findChildren<SkinLabel *>().size(), 3)
        << "the label in neither frame has none";
}

TEST_F(SkinTest, SkinLabelStaysOverALabelThatALayoutPlaces)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new QLineEdit(&window));
    auto *label = new QLabel(QStringLiteral("Refresh (sec):"), &window);
    layout->addWidget(label);

    SkinLabels(&window);
    window.resize(300, 200);
    window.show();

    SkinLabel *element = SkinLabelArray::find(&window, QStringLiteral("SkinLabel1"))->element(1);
    ASSERT_NE(element, nullptr);
    EXPECT_NE(label->geometry().top(), 0);
    EXPECT_EQ(element->geometry(), label->geometry());
}

TEST_F(SkinTest, VersionRuleNeedsResultOnePlatformTwoAndMajorSix)
{
    EXPECT_FALSE(IsVistaOrLater()) << "no such record on this system";
    versionSource.set(version(1, 2, 6));
    EXPECT_TRUE(IsVistaOrLater());
    versionSource.set(version(1, 2, 10));
    EXPECT_TRUE(IsVistaOrLater());
    versionSource.set(version(1, 2, 5));
    EXPECT_FALSE(IsVistaOrLater());
    versionSource.set(version(1, 1, 6));
    EXPECT_FALSE(IsVistaOrLater());
    versionSource.set(version(0, 2, 6));
    EXPECT_FALSE(IsVistaOrLater());
    versionSource.set(version(2, 2, 6));
    EXPECT_FALSE(IsVistaOrLater());
    versionSource.set([](Skin::VersionRecord &) -> int { throw std::runtime_error("no"); });
    EXPECT_FALSE(IsVistaOrLater());
}

TEST_F(SkinTest, RegionAndSupportCallOnlyOnNewerSystems)
{
    Skin skin;
    programSkin.set(&skin);

    versionSource.set(version(1, 2, 5));
    QWidget older;
    older.resize(200, 100);
    SkinForm(&older);
    StartSkinSupport();
    EXPECT_TRUE(older.mask().isEmpty());
    EXPECT_FALSE(SkinSupport::instance().calls().contains(12));

    versionSource.set(version(1, 2, 6));
    skinning.set(false);
    QWidget switchedOff;
    switchedOff.resize(200, 100);
    SkinForm(&switchedOff);
    EXPECT_TRUE(switchedOff.mask().isEmpty()) << "the region needs the switch too";

    skinning.set(true);
    QWidget newer;
    newer.resize(200, 100);
    SkinForm(&newer);
    const QRect outer = newer.frameGeometry();
    const QRect expected(0, 0, outer.width() * 1440 / newer.logicalDpiX(),
                         outer.height() * 1440 / newer.logicalDpiY());
    EXPECT_EQ(newer.mask().boundingRect(), expected);
    EXPECT_GT(expected.width(), newer.width()) << "the region never clips the window";
    EXPECT_TRUE(Skin::isSkinned(&newer));

    // Without the switch too: the support call does not depend on it.
    skinning.set(false);
    StartSkinSupport();
    EXPECT_EQ(SkinSupport::instance().calls(), QList<int>{12});
}
