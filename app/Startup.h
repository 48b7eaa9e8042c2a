#pragma once
// The three windows of the program, created in their fixed order: the settings window
// writes into the main window's job state as it is created, the crop window comes last.

#include "AppServices.h"
#include "Unit2.h"
#include "Unit3.h"
#include "unit1.h"

namespace qv {

// Sets the application-wide look the control geometry was laid out for.
void PrepareApplication();

class TApplicationWindows {
public:
  explicit TApplicationWindows(TAppServices& services) : Form1(services), Form2(Form1), Form3(Form1) {}

  // Declared in creation order, so destroyed in the reverse one.
  TForm1 Form1;
  TForm2 Form2;
  TForm3 Form3;
};

} // namespace qv
