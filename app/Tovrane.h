#pragma once

#include "app/PortProbe.h"

// The application object: shows the main window modally; the program ends when
// the window closes. Nothing stops a second instance from running.
class CTovraneApp {
  public:
    explicit CTovraneApp(PortProbe probe = PortOpens);

    // Runs the main window until it is closed; false, so the program then ends.
    bool InitInstance();

  private:
    PortProbe m_probe;
};
