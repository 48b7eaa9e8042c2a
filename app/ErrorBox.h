#pragma once
// The application's error box and the one guard that every Qt-facing handler runs in.

#include <QCoreApplication>

#include <exception>
#include <functional>
#include <string>

namespace qv {

// The application title: the caption of the error box.
inline constexpr const char* kApplicationTitle = "Quarvelle";

class IErrorBox {
public:
  virtual ~IErrorBox() = default;
  // text is the final text, its full stop already decided.
  virtual void ShowError(const std::string& text) = 0;
};

// A modal critical box captioned with the application title, with one "OK".
class TQtErrorBox : public IErrorBox {
  Q_DECLARE_TR_FUNCTIONS(qv::TQtErrorBox)

public:
  void ShowError(const std::string& text) override;
};

// Shows the error's message the way the error box shows every error.
void ReportToErrorBox(IErrorBox& box, const std::exception& error) noexcept;

// Runs handler; an error it raises ends it there and goes to the error box. Qt cannot
// carry an exception through its event loop, so nothing may leave this function.
void Guard(IErrorBox& box, const std::function<void()>& handler) noexcept;

} // namespace qv
