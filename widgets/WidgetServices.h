#pragma once

// Installs the real message box, error report (as a box) and save-file dialog for any of
// them not yet set in platform::services(); the program calls it with
// installSystemServices, a test fixture after its fakes.
void installWidgetServices();
