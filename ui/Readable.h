#pragma once

#include <QString>

// Texts that stay readable however long the names in them: a file name may be 255 bytes
// and a path many times that.
namespace Readable {

// Each line longer than width characters is broken into lines of at most width, after a
// separator or a blank where one is near the end, anywhere else otherwise. Nothing is
// left out.
QString Wrapped(const QString& text, int width = 72);

// text, where longer than width characters, with its middle replaced by an ellipsis:
// "DSC_…_final.jpg". The end, which holds a file's name and extension, keeps more.
QString ElidedMiddle(const QString& text, int width = 60);

} // namespace Readable
