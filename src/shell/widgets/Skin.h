#pragma once

#include <functional>

#include <QColor>
#include <QObject>
#include <QPalette>
#include <QString>

class QWidget;
class SkinLabelArray;

// The program's skin (modSkin's `skn`): four colours plus our own "Web Purple"
// look, made of a style sheet and a palette. One instance, made by the splash
// window, is the program skin that every window but the picture window wears.
class Skin : public QObject
{
    Q_OBJECT
public:
    struct Colors
    {
        QColor color2; // buttons, text boxes and lists: background
        QColor color3; // text boxes and lists: text
        QColor color4; // picture boxes: background
        QColor color5; // the accent; read with the others, given to no control
    };
    static Colors webPurpleColors();

    explicit Skin(QObject *parent = nullptr);
    explicit Skin(const Colors &colors, QObject *parent = nullptr);

    QString description() const { return QStringLiteral("Web Purple"); }
    QColor color2() const { return m_colors.color2; }
    QColor color3() const { return m_colors.color3; }
    QColor color4() const { return m_colors.color4; }
    QColor color5() const { return m_colors.color5; }

    QString styleSheet() const;
    QPalette palette() const;

    // Puts the skin on one window: its palette, and the style sheet merged in
    // front of whatever sheet the window already carries.
    void applyTo(QWidget *window) const;
    static bool isSkinned(const QWidget *window);

    // What the skin support component is handed when the splash window loads.
    QObject *supportObject() { return this; }

    // The one program skin; empty until the splash window has made it.
    static Skin *programSkin();
    static void setProgramSkin(Skin *skin);

    // The program-wide skinning switch: off until the splash window loads.
    static bool skinningSwitch();
    static void setSkinningSwitch(bool on);

    // The operating system's version record, in the fields the skin reads.
    struct VersionRecord
    {
        quint32 size = 156;
        quint32 majorVersion = 0;
        quint32 minorVersion = 0;
        quint32 buildNumber = 0;
        quint32 platformId = 0;
    };
    // Fills the record and returns the call's result (1 on success). On this
    // platform the default source has no such record and returns 0.
    using VersionSource = std::function<int(VersionRecord &)>;
    // Replaces the source (tests); an empty one restores the default. Returns the previous one.
    static VersionSource setVersionSource(VersionSource source);
    static VersionSource versionSource();

private:
    Colors m_colors;
};

// The kind of control a widget stands for, in the names the colour rules use:
// "CommandButton", "TextBox", "ComboBox", "ListBox", "ListView", "PictureBox",
// "Label", "RichTextBox", "CheckBox", "Frame", ... A dynamic property
// `tessalyKind` (for example "PictureBox") overrides what the class says.
QString ControlKind(const QWidget *widget);

// The controls of a window in their order: every widget below it, parents
// before their children, not looking inside composite controls (a list's
// scroll bars, a combo box's editor) and never into another window.
QList<QWidget *> WindowControls(QWidget *window);

// A control's background and text colour, kept in the dynamic properties
// "BackColor" and "ForeColor" and shown through the palette and the control's
// own style sheet, which wins over the window's skin.
void SetBackColor(QWidget *control, const QColor &color);
void SetForeColor(QWidget *control, const QColor &color);

// Skins a window: reads colours 2 to 5, colours its controls, resets the window
// region on systems that need it, applies the program skin. Never throws; a
// window that cannot be skinned stays as it is.
void SkinForm(QWidget *window);

// Colours the controls of window by their kind: command buttons get c2 as
// background only; text boxes, combo boxes and lists c2 on background and c3
// as text; picture boxes c4 as background. c5 is not used.
void ColorControls(QWidget *window, const QColor &c2, const QColor &c3, const QColor &c4,
                   const QColor &c5);

// Sets a rectangular window region whose corners are the window's outer size in
// twips taken as pixels, so it never clips the window.
void ResetWindowRegion(QWidget *window);

// True only when the version record call returns 1, its platform is 2 and its
// major version is 6 or more. Never throws.
bool IsVistaOrLater();

// On systems that need it, makes the skin support component (once) and calls
// it. Does not depend on the skinning switch. Never throws.
void StartSkinSupport();

// The same call to the skin support component, without the system test: what
// the main window makes when it closes with the skinning switch on.
void CallSkinSupport();

// Lays a skin label over every plain label (class exactly QLabel) of window,
// as new elements of the window's array "SkinLabel1" (made on first use).
// Runs only while the skinning switch is on.
void SkinLabels(QWidget *window);

// The main window's form: a label whose parent is the container of the first
// array's template goes to that array, else one in the second array's template
// container goes to the second; any other label gets no skin label.
void SkinLabels(QWidget *window, SkinLabelArray &first, SkinLabelArray &second);

// What a finished dialog or small window does to wear the skin: skin labels
// over its plain labels, then SkinForm. Nothing at all while the skinning
// switch is off.
void SkinDialog(QWidget *window);
