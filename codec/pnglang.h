#pragma once
// Texts of the PNG object's own errors. They are the library's English texts, kept word for word.

#include <QString>

inline QString EPNGHeaderNotPresentText() {
    return QStringLiteral(
        "This operation is not valid because the current image contains no valid header.");
}

inline QString EPNGCannotChangeSizeText() {
    return QStringLiteral("The \"Portable Network Graphics\" image can not be resize by changing "
                          "width and height properties. Try assigning the image from a bitmap.");
}

inline QString EPNGCannotAssignChunkText() {
    return QStringLiteral("The chunks must be compatible to be assigned.");
}
