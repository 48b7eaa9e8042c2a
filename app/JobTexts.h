#pragma once
// The Russian texts that the window-free code hands to the windows (the status text, the
// run driver's messages, the name prompt), translated where the windows show them.

#include <QString>

#include <string>

namespace qv {

// text in the interface's language when it is one of those texts, or begins with one that
// is followed by a number ("Файлов: 3"); any other text, such as an error of the codec,
// is shown as it stands.
QString JobText(const std::string& text);

} // namespace qv
