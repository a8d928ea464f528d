#pragma once

// Installs the real message box, error report (as a box), save-file dialog and wait for a
// database server for any of them not yet set in platform::services(); the program calls it with
// installSystemServices, a test fixture after its fakes.
void installWidgetServices();
