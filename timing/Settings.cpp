#include "timing/MainWindow.h"

void TForm1::LoadSettings() {}
void TForm1::SaveSettings() {}
