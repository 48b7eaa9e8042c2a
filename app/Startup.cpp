#include "Startup.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QStyle>

#include "Controls.h"
#include "ErrorBox.h"
#include "Glyphs.h"
#include "imaging/JPEGImage.h"

namespace qv {

void PrepareApplication() {
  // Only the name: a display name would be appended to every window caption.
  QApplication::setApplicationName(QString::fromUtf8(kApplicationTitle));
  // The id of the installed .desktop file and AppStream entry, which the desktop matches the
  // running windows with.
  QGuiApplication::setDesktopFileName(QStringLiteral("io.github.quarvelle.Quarvelle"));
  // The windows are laid out in fixed pixels; one known style keeps them as designed.
  QApplication::setStyle(QStringLiteral("Fusion"));
  QApplication::setFont(FormFont());
  QApplication::setWindowIcon(QIcon(StartGlyph()));
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    SetDisplayColorDepth(screen->depth());
}

} // namespace qv
