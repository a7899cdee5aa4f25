#pragma once

#include <QFont>

// The faces of the small dialogs beside the main window (add, edit, picture
// limits), both at the size their fixed, twips-placed controls were sized for:
// a larger face would clip the captions.
namespace DialogFonts {

// Captions, fields and buttons.
inline QFont controls()
{
    QFont font(QStringLiteral("Verdana"));
    font.setPointSizeF(8.25);
    return font;
}

// The dialog's own face: the small system face the dialogs were drawn with.
// Where it is missing, a narrow face keeps a word inside its fixed label
// instead of cutting it off.
inline QFont system()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans Narrow")});
    font.setPointSizeF(8.25);
    return font;
}

} // namespace DialogFonts
