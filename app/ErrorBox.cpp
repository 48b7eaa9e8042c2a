#include "ErrorBox.h"

#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include "job/Errors.h"

namespace qv {

void TQtErrorBox::ShowError(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kApplicationTitle), QString::fromStdString(text),
                  QMessageBox::Ok);
  // Said by us, not left to Qt's own translation: the button text is part of the design.
  box.button(QMessageBox::Ok)->setText(tr("OK"));
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
}

void ReportToErrorBox(IErrorBox& box, const std::exception& error) noexcept {
  try {
    box.ShowError(ErrorBoxText(error.what()));
  } catch (...) {
    // A box that cannot even be shown has nowhere left to report to.
  }
}

void Guard(IErrorBox& box, const std::function<void()>& handler) noexcept {
  try {
    handler();
  } catch (const std::exception& error) {
    ReportToErrorBox(box, error);
  } catch (...) {
    ReportToErrorBox(box, std::runtime_error("Unknown error"));
  }
}

} // namespace qv
