#include "Skin.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegion>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTreeView>
#include <QWidget>

#include "SkinLabel.h"
#include "SkinLabelArray.h"
#include "SkinSupport.h"

namespace {

// The Web Purple colours, named for what they paint.
namespace Purple {
const QColor window(0xF3, 0xEE, 0xF9);    // window background
const QColor panel(0xEA, 0xE2, 0xF5);     // frames, menu bar, scroll bar tracks
const QColor field(0xFC, 0xFA, 0xFE);     // buttons, text boxes and lists
const QColor text(0x2B, 0x1B, 0x40);      // all ordinary text
const QColor fieldText(0x33, 0x1D, 0x55); // text in text boxes and lists
const QColor heading(0x4A, 0x2A, 0x78);   // frame titles, the status bar
const QColor border(0x8A, 0x6B, 0xB8);    // frame and control borders
const QColor accent(0x7B, 0x4F, 0xB8);    // selection, ticks, progress, handles
const QColor handle(0xB9, 0xA2, 0xDA);    // scroll bar handles
const QColor picture(0x3A, 0x23, 0x58);   // behind pictures
const QColor disabled(0x9A, 0x8D, 0xAD);  // disabled text
} // namespace Purple

const QString kBegin = QStringLiteral("/* tessaly skin begin */");
const QString kEnd = QStringLiteral("/* tessaly skin end */");

// Puts block in front of sheet, replacing a block put there before, so that
// skinning twice does not pile up and the widget's own rules still come last.
QString mergeSkinBlock(const QString &sheet, const QString &block, const QString &wrapSelector)
{
    QString rest = sheet;
    const qsizetype begin = rest.indexOf(kBegin);
    const qsizetype end = rest.indexOf(kEnd);
    if (begin >= 0 && end > begin)
        rest.remove(begin, end + kEnd.size() - begin);
    rest = rest.trimmed();
    // Bare declarations cannot follow a rule; give them the block's selector.
    if (!rest.isEmpty() && !rest.contains(QLatin1Char('{')))
        rest = wrapSelector + QStringLiteral(" { ") + rest + QStringLiteral(" }");
    QString merged = kBegin + QLatin1Char('\n') + block + QLatin1Char('\n') + kEnd;
    if (!rest.isEmpty())
        merged += QLatin1Char('\n') + rest;
    return merged;
}

QString css(const QColor &c)
{
    return c.name(QColor::HexRgb);
}

bool isLeafKind(const QString &kind)
{
    static const QStringList leaves = {
        QStringLiteral("CommandButton"), QStringLiteral("TextBox"),
        QStringLiteral("RichTextBox"),   QStringLiteral("ComboBox"),
        QStringLiteral("ListBox"),       QStringLiteral("ListView"),
        QStringLiteral("CheckBox"),      QStringLiteral("OptionButton"),
        QStringLiteral("Label"),         QStringLiteral("SkinLabel"),
        QStringLiteral("HScrollBar"),    QStringLiteral("VScrollBar"),
        QStringLiteral("Slider"),        QStringLiteral("ProgressBar"),
        QStringLiteral("StatusBar")};
    return leaves.contains(kind);
}

void collectControls(QWidget *parent, QList<QWidget *> &out)
{
    for (QObject *child : parent->children()) {
        auto *w = qobject_cast<QWidget *>(child);
        if (!w || w->isWindow())
            continue;
        out.append(w);
        if (!isLeafKind(ControlKind(w)))
            collectControls(w, out);
    }
}

// The palette roles a control paints its background and its text with.
QPalette::ColorRole backRole(const QWidget *w)
{
    if (qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QComboBox *>(w))
        return QPalette::Button;
    if (qobject_cast<const QAbstractScrollArea *>(w) || qobject_cast<const QLineEdit *>(w))
        return QPalette::Base;
    return QPalette::Window;
}

QPalette::ColorRole foreRole(const QWidget *w)
{
    if (qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QComboBox *>(w))
        return QPalette::ButtonText;
    if (qobject_cast<const QAbstractScrollArea *>(w) || qobject_cast<const QLineEdit *>(w))
        return QPalette::Text;
    return QPalette::WindowText;
}

// Rebuilds the control's own colour rule from its "BackColor" and "ForeColor".
void refreshOwnColours(QWidget *w)
{
    const QColor back = w->property("BackColor").value<QColor>();
    const QColor fore = w->property("ForeColor").value<QColor>();
    // Matches the control itself, not the scroll bars or editors inside it.
    w->setProperty("skinColoured", true);
    const QString selector = QStringLiteral("*[skinColoured=\"true\"]");
    QString block = selector + QStringLiteral(" {");
    if (back.isValid())
        block += QStringLiteral(" background-color: %1;").arg(css(back));
    if (fore.isValid())
        block += QStringLiteral(" color: %1;").arg(css(fore));
    block += QStringLiteral(" }");
    // A button still shows that it is under the mouse or pressed, in its own colour.
    if (back.isValid() && ControlKind(w) == QLatin1String("CommandButton")) {
        block += QStringLiteral("\n%1:hover { background-color: %2; }")
                     .arg(selector, css(back.darker(106)));
        block += QStringLiteral("\n%1:pressed { background-color: %2; }")
                     .arg(selector, css(back.darker(118)));
    }
    w->setStyleSheet(mergeSkinBlock(w->styleSheet(), block, selector));
}

Skin::VersionSource &installedVersionSource()
{
    static Skin::VersionSource source;
    return source;
}

int platformVersion(Skin::VersionRecord &record)
{
    // There is no such record here: the call fails, as it would on a system
    // that does not know it.
    record = Skin::VersionRecord{};
    return 0;
}

QPointer<Skin> &programSkinRef()
{
    static QPointer<Skin> skin;
    return skin;
}

bool &skinningSwitchRef()
{
    static bool on = false;
    return on;
}

template <typename Step>
void ignoringErrors(Step &&step)
{
    try {
        step();
    } catch (...) {
        // A window that cannot be skinned is shown unskinned; the next step still runs.
    }
}

bool isPlainLabel(const QWidget *w)
{
    // Exactly a QLabel: a value label made as another class keeps no skin label.
    return qstrcmp(w->metaObject()->className(), "QLabel") == 0;
}

// Only text labels get a skin label over them: a label that shows a picture, or
// is marked as a picture box, would have its picture covered by text.
bool wearsSkinLabel(const QWidget *w)
{
    return isPlainLabel(w) && ControlKind(w) == QLatin1String("Label");
}

} // namespace

// ---------------------------------------------------------------- Skin

Skin::Colors Skin::webPurpleColors()
{
    return Colors{Purple::field, Purple::fieldText, Purple::picture, Purple::accent};
}

Skin::Skin(QObject *parent)
    : Skin(webPurpleColors(), parent)
{
}

Skin::Skin(const Colors &colors, QObject *parent)
    : QObject(parent)
    , m_colors(colors)
{
    setObjectName(QStringLiteral("skn"));
}

QPalette Skin::palette() const
{
    QPalette p;
    p.setColor(QPalette::Window, Purple::window);
    p.setColor(QPalette::WindowText, Purple::text);
    p.setColor(QPalette::Base, Purple::field);
    p.setColor(QPalette::AlternateBase, Purple::panel);
    p.setColor(QPalette::Text, Purple::fieldText);
    p.setColor(QPalette::Button, Purple::field);
    p.setColor(QPalette::ButtonText, Purple::text);
    p.setColor(QPalette::Highlight, Purple::accent);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, Purple::field);
    p.setColor(QPalette::ToolTipText, Purple::text);
    p.setColor(QPalette::PlaceholderText, Purple::disabled);
    p.setColor(QPalette::Light, Qt::white);
    p.setColor(QPalette::Midlight, Purple::panel);
    p.setColor(QPalette::Mid, Purple::handle);
    p.setColor(QPalette::Dark, Purple::border);
    p.setColor(QPalette::Shadow, Purple::heading);
    p.setColor(QPalette::Link, Purple::accent);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, Purple::disabled);
    return p;
}

QString Skin::styleSheet() const
{
    // Background colours of buttons, text boxes, lists and picture boxes come
    // from the skin colours through each control's own rule (SetBackColor);
    // the rules here give the shapes, borders and everything else.
    QString s = QStringLiteral(R"(
QGroupBox {
    background-color: @panel;
    border: 1px solid @border;
    border-radius: 6px;
    margin-top: 8px;
    padding-top: 6px;
}
QGroupBox::title {
    subcontrol-origin: margin;
    subcontrol-position: top left;
    left: 10px;
    padding: 0 4px;
    color: @heading;
    background-color: @window;
    border-radius: 3px;
    font-weight: bold;
}
QLabel, SkinLabel { color: @text; background: transparent; }
QLabel:disabled, SkinLabel:disabled { color: @disabled; }
QPushButton {
    background-color: @field;
    color: @text;
    border: 1px solid @border;
    border-radius: 4px;
    padding: 3px 12px;
    min-height: 16px;
}
QPushButton:hover { border-color: @accent; }
QPushButton:pressed { border: 2px solid @heading; padding: 2px 11px; }
QPushButton:default { border: 2px solid @accent; padding: 2px 11px; }
QPushButton:focus { border-color: @accent; }
QPushButton:disabled { color: @disabled; border-color: @handle; }
QLineEdit, QTextEdit, QPlainTextEdit, QListView, QTreeView, QTableView, QComboBox {
    background-color: @field;
    color: @fieldText;
    border: 1px solid @border;
    border-radius: 3px;
    selection-background-color: @accent;
    selection-color: #ffffff;
}
QLineEdit { padding: 2px 4px; }
QComboBox { padding: 2px 18px 2px 6px; }
QLineEdit:focus, QTextEdit:focus, QPlainTextEdit:focus, QListView:focus, QTreeView:focus,
QTableView:focus, QComboBox:focus { border: 1px solid @accent; }
QLineEdit:disabled, QTextEdit:disabled, QComboBox:disabled { color: @disabled; }
QListView::item { padding: 2px 4px; }
QListView::item:hover, QTreeView::item:hover { background-color: @panel; }
QListView::item:selected, QTreeView::item:selected {
    background-color: @accent;
    color: #ffffff;
}
QComboBox::drop-down {
    subcontrol-origin: padding;
    subcontrol-position: top right;
    width: 16px;
    border: none;
}
QComboBox::down-arrow { image: url(:/skin/arrow-down.png); width: 12px; height: 8px; }
QComboBox QAbstractItemView {
    background-color: @field;
    color: @fieldText;
    border: 1px solid @border;
    selection-background-color: @accent;
    selection-color: #ffffff;
}
QCheckBox, QRadioButton { color: @text; spacing: 6px; background: transparent; }
QCheckBox::indicator, QRadioButton::indicator {
    width: 14px;
    height: 14px;
    border: 1px solid @border;
    background-color: @field;
}
QCheckBox::indicator { border-radius: 3px; }
QRadioButton::indicator { border-radius: 8px; }
QCheckBox::indicator:hover, QRadioButton::indicator:hover { border-color: @accent; }
QCheckBox::indicator:checked {
    background-color: @accent;
    border-color: @accent;
    image: url(:/skin/check.png);
}
QRadioButton::indicator:checked {
    background-color: qradialgradient(cx: 0.5, cy: 0.5, radius: 0.5, fx: 0.5, fy: 0.5,
        stop: 0 @accent, stop: 0.45 @accent, stop: 0.55 @field, stop: 1 @field);
}
QScrollBar:horizontal {
    background-color: @panel;
    height: 14px;
    margin: 0;
    border: none;
}
QScrollBar:vertical {
    background-color: @panel;
    width: 14px;
    margin: 0;
    border: none;
}
QScrollBar::handle {
    background-color: @handle;
    border-radius: 4px;
    margin: 3px;
}
QScrollBar::handle:horizontal { min-width: 24px; }
QScrollBar::handle:vertical { min-height: 24px; }
QScrollBar::handle:hover { background-color: @border; }
QScrollBar::handle:pressed { background-color: @accent; }
QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; border: none; background: none; }
QScrollBar::add-page, QScrollBar::sub-page { background: none; }
QSlider::groove:horizontal {
    height: 6px;
    background-color: @handle;
    border-radius: 3px;
}
QSlider::groove:vertical {
    width: 6px;
    background-color: @handle;
    border-radius: 3px;
}
QSlider::handle:horizontal, QSlider::handle:vertical {
    background-color: @accent;
    border: 1px solid @heading;
    width: 14px;
    height: 14px;
    border-radius: 8px;
}
QSlider::handle:horizontal { margin: -5px 0; }
QSlider::handle:vertical { margin: 0 -5px; }
QSlider::handle:hover { background-color: @heading; }
QProgressBar {
    background-color: @field;
    color: @text;
    border: 1px solid @border;
    border-radius: 3px;
    text-align: center;
}
QProgressBar::chunk { background-color: @accent; border-radius: 2px; }
QStatusBar { background-color: @heading; color: #ffffff; }
QStatusBar QLabel { color: #ffffff; }
QStatusBar::item { border: none; }
QMenuBar { background-color: @panel; color: @text; border-bottom: 1px solid @handle; }
QMenuBar::item { background: transparent; padding: 4px 10px; border-radius: 3px; }
QMenuBar::item:selected, QMenuBar::item:pressed { background-color: @accent; color: #ffffff; }
QMenu {
    background-color: @field;
    color: @text;
    border: 1px solid @border;
    padding: 3px;
}
QMenu::item { padding: 5px 28px 5px 20px; border-radius: 3px; }
QMenu::item:selected { background-color: @accent; color: #ffffff; }
QMenu::item:disabled { color: @disabled; }
QMenu::separator { height: 1px; background-color: @handle; margin: 4px 8px; }
QToolTip { background-color: @field; color: @text; border: 1px solid @border; }
QDialogButtonBox { dialogbuttonbox-buttons-have-icons: 0; }
)");
    // Longer names first, so that no name is a prefix of one replaced later.
    const QList<std::pair<QString, QColor>> names = {
        {QStringLiteral("@fieldText"), Purple::fieldText},
        {QStringLiteral("@disabled"), Purple::disabled},
        {QStringLiteral("@heading"), Purple::heading},
        {QStringLiteral("@window"), Purple::window},
        {QStringLiteral("@border"), Purple::border},
        {QStringLiteral("@accent"), Purple::accent},
        {QStringLiteral("@handle"), Purple::handle},
        {QStringLiteral("@panel"), Purple::panel},
        {QStringLiteral("@field"), Purple::field},
        {QStringLiteral("@text"), Purple::text},
    };
    for (const auto &[name, colour] : names)
        s.replace(name, css(colour));
    return s.trimmed();
}

void Skin::applyTo(QWidget *window) const
{
    if (!window)
        return;
    window->setPalette(palette());
    window->setStyleSheet(mergeSkinBlock(window->styleSheet(), styleSheet(), QStringLiteral("*")));
    window->setProperty("tessalySkin", description());
}

bool Skin::isSkinned(const QWidget *window)
{
    return window && window->property("tessalySkin").isValid() &&
           window->styleSheet().contains(kBegin);
}

Skin *Skin::programSkin()
{
    return programSkinRef();
}
void Skin::setProgramSkin(Skin *skin)
{
    programSkinRef() = skin;
}
bool Skin::skinningSwitch()
{
    return skinningSwitchRef();
}
void Skin::setSkinningSwitch(bool on)
{
    skinningSwitchRef() = on;
}

Skin::VersionSource Skin::setVersionSource(VersionSource source)
{
    VersionSource previous = std::move(installedVersionSource());
    installedVersionSource() = std::move(source);
    return previous;
}

Skin::VersionSource Skin::versionSource()
{
    if (installedVersionSource())
        return installedVersionSource();
    return &platformVersion;
}

// ---------------------------------------------------------------- control kinds

QString ControlKind(const QWidget *w)
{
    if (!w)
        return {};
    const QVariant marked = w->property("tessalyKind");
    if (marked.isValid() && !marked.toString().isEmpty())
        return marked.toString();
    if (qobject_cast<const QPushButton *>(w))
        return QStringLiteral("CommandButton");
    if (qobject_cast<const QCheckBox *>(w))
        return QStringLiteral("CheckBox");
    if (qobject_cast<const QRadioButton *>(w))
        return QStringLiteral("OptionButton");
    // The help window's rich text box, not a text box the user types into.
    if (qobject_cast<const QTextBrowser *>(w))
        return QStringLiteral("RichTextBox");
    if (qobject_cast<const QLineEdit *>(w) || qobject_cast<const QTextEdit *>(w) ||
        qobject_cast<const QPlainTextEdit *>(w))
        return QStringLiteral("TextBox");
    if (qobject_cast<const QComboBox *>(w))
        return QStringLiteral("ComboBox");
    if (qobject_cast<const QListView *>(w))
        return QStringLiteral("ListBox");
    if (qobject_cast<const QTreeView *>(w) || qobject_cast<const QTableView *>(w))
        return QStringLiteral("ListView");
    if (qobject_cast<const SkinLabel *>(w))
        return QStringLiteral("SkinLabel");
    if (auto *label = qobject_cast<const QLabel *>(w)) {
        if (!label->pixmap().isNull())
            return QStringLiteral("PictureBox");
        if (isPlainLabel(w))
            return QStringLiteral("Label");
    }
    if (auto *bar = qobject_cast<const QScrollBar *>(w))
        return bar->orientation() == Qt::Horizontal ? QStringLiteral("HScrollBar")
                                                    : QStringLiteral("VScrollBar");
    if (qobject_cast<const QSlider *>(w))
        return QStringLiteral("Slider");
    if (qobject_cast<const QProgressBar *>(w))
        return QStringLiteral("ProgressBar");
    if (qobject_cast<const QStatusBar *>(w))
        return QStringLiteral("StatusBar");
    if (qobject_cast<const QGroupBox *>(w))
        return QStringLiteral("Frame");
    return QString::fromLatin1(w->metaObject()->className());
}

QList<QWidget *> WindowControls(QWidget *window)
{
    QList<QWidget *> controls;
    if (window)
        collectControls(window, controls);
    return controls;
}

void SetBackColor(QWidget *control, const QColor &color)
{
    if (!control || !color.isValid())
        return;
    control->setProperty("BackColor", color);
    QPalette p = control->palette();
    p.setColor(backRole(control), color);
    control->setPalette(p);
    if (ControlKind(control) == QLatin1String("PictureBox") && !qobject_cast<QLabel *>(control))
        control->setAttribute(Qt::WA_StyledBackground);
    refreshOwnColours(control);
}

void SetForeColor(QWidget *control, const QColor &color)
{
    if (!control || !color.isValid())
        return;
    control->setProperty("ForeColor", color);
    QPalette p = control->palette();
    p.setColor(foreRole(control), color);
    control->setPalette(p);
    refreshOwnColours(control);
}

// ---------------------------------------------------------------- the skinning routines

void ColorControls(QWidget *window, const QColor &c2, const QColor &c3, const QColor &c4,
                   const QColor &c5)
{
    Q_UNUSED(c5)
    static const QStringList textKinds = {
        QStringLiteral("TextBox"),    QStringLiteral("ComboBox"),     QStringLiteral("FileListBox"),
        QStringLiteral("DirListBox"), QStringLiteral("DriveListBox"), QStringLiteral("ListBox"),
        QStringLiteral("ListView")};
    for (QWidget *control : WindowControls(window)) {
        const QString kind = ControlKind(control);
        if (kind == QLatin1String("CommandButton")) {
            SetBackColor(control, c2);
        } else if (textKinds.contains(kind)) {
            SetBackColor(control, c2);
            SetForeColor(control, c3);
        } else if (kind == QLatin1String("PictureBox")) {
            SetBackColor(control, c4);
        }
    }
}

void ResetWindowRegion(QWidget *window)
{
    if (!window)
        return;
    const QRect outer = window->frameGeometry();
    const int dpiX = window->logicalDpiX() > 0 ? window->logicalDpiX() : 96;
    const int dpiY = window->logicalDpiY() > 0 ? window->logicalDpiY() : 96;
    // The outer size in twips, used as pixels: far larger than the window.
    const int w = static_cast<int>(qint64(outer.width()) * 1440 / dpiX);
    const int h = static_cast<int>(qint64(outer.height()) * 1440 / dpiY);
    window->setMask(QRegion(0, 0, w, h));
    window->update();
}

bool IsVistaOrLater()
{
    try {
        Skin::VersionRecord record;
        record.size = 156;
        const int result = Skin::versionSource()(record);
        return result == 1 && record.platformId == 2 && record.majorVersion >= 6;
    } catch (...) {
        return false;
    }
}

void CallSkinSupport()
{
    ignoringErrors([] { SkinSupport::instance().refreshSkin(); });
}

void StartSkinSupport()
{
    ignoringErrors([] {
        if (IsVistaOrLater())
            CallSkinSupport();
    });
}

void SkinForm(QWidget *window)
{
    if (!window)
        return;
    Skin *skin = Skin::programSkin();
    // Without a program skin there are no colours to read. Going on with
    // colours of 0 would paint black text on black boxes; the controls are
    // left as they are instead.
    bool haveColours = false;
    QColor c2, c3, c4, c5;
    ignoringErrors([&] {
        if (!skin)
            return;
        c2 = skin->color2();
        c3 = skin->color3();
        c4 = skin->color4();
        c5 = skin->color5();
        haveColours = true;
    });
    if (haveColours)
        ignoringErrors([&] { ColorControls(window, c2, c3, c4, c5); });
    ignoringErrors([&] {
        if (IsVistaOrLater() && Skin::skinningSwitch())
            ResetWindowRegion(window);
    });
    ignoringErrors([&] {
        if (skin)
            skin->applyTo(window);
    });
}

void SkinLabels(QWidget *window)
{
    if (!window || !Skin::skinningSwitch())
        return;
    SkinLabelArray *array = SkinLabelArray::find(window, QStringLiteral("SkinLabel1"));
    if (!array)
        array = new SkinLabelArray(QStringLiteral("SkinLabel1"), window, window);
    for (QWidget *control : WindowControls(window)) {
        if (wearsSkinLabel(control))
            array->addCovering(static_cast<QLabel *>(control));
    }
}

void SkinLabels(QWidget *window, SkinLabelArray &first, SkinLabelArray &second)
{
    if (!window || !Skin::skinningSwitch())
        return;
    for (QWidget *control : WindowControls(window)) {
        if (!wearsSkinLabel(control))
            continue;
        QWidget *container = control->parentWidget();
        if (first.templateContainer() && container == first.templateContainer())
            first.addCovering(static_cast<QLabel *>(control));
        else if (second.templateContainer() && container == second.templateContainer())
            second.addCovering(static_cast<QLabel *>(control));
    }
}

void SkinDialog(QWidget *window)
{
    if (!Skin::skinningSwitch())
        return;
    SkinLabels(window);
    SkinForm(window);
}
