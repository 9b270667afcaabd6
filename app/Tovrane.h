#pragma once

#include "SerialLib/PortInfo/PortEnumerator.h"

// The application object: shows the main window modally; the program ends when
// the window closes. Nothing stops a second instance from running.
class CTovraneApp {
  public:
    explicit CTovraneApp(PortRoots roots = {});

    // Runs the main window until it is closed; false, so the program then ends.
    bool InitInstance();

  private:
    PortRoots m_roots;
};
